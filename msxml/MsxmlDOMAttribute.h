// The attribute wrapper: one node, one count (TrelDOMNode is a virtual base of
// both bases). Its key is the qualified name, prefix included.
#pragma once

#include "model/TrelDOMAttribute.h"
#include "msxml/MsxmlDOMNode.h"

class MsxmlDOMAttribute : public TrelDOMAttribute, public MsxmlDOMNode {
public:
    // Takes over the reference `attribute` carries; `reader` is its own.
    MsxmlDOMAttribute(ComPtr<IXMLDOMNode> attribute, IXMLDOMNodeReader* reader, MsxmlDOMDocument const* document);

    wchar_t const* getKey() const override { return getName(); }
    bool keyEquals(wchar_t const* key) const override { return MsxmlDOMNode::nameEquals(key); }
    wchar_t const* getValue() const override { return readValue(); }
    bool valueEquals(wchar_t const* value) const override { return MsxmlDOMNode::valueEquals(value); }
    bool setValue(wchar_t const* value) override { return MsxmlDOMNode::setValue(value); }

protected:
    ~MsxmlDOMAttribute() override = default;
};
