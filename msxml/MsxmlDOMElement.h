// The element wrapper. Two rules hold throughout: a "child" is an element
// child (text, comments, processing instructions and CDATA are never counted,
// indexed, returned or visited), and names are qualified names compared
// case-sensitively. A child created by name takes its parent's namespace.
#pragma once

#include "model/TrelDOMElement.h"
#include "msxml/MsxmlDOMNode.h"

class MsxmlDOMElement : public TrelDOMElement, public MsxmlDOMNode {
public:
    MsxmlDOMElement(IXMLDOMElement* element, MsxmlDOMDocument const* document);
    // Takes over the reference `element` carries; `reader` is its own.
    MsxmlDOMElement(ComPtr<IXMLDOMNode> element, IXMLDOMNodeReader* reader, MsxmlDOMDocument const* document);

    wchar_t const* getTag() const override { return getName(); }
    bool tagEquals(wchar_t const* tag) const override { return MsxmlDOMNode::nameEquals(tag); }
    wchar_t const* getText() const override { return readValue(); }
    bool setText(wchar_t const* text) override { return setValue(text); }
    wchar_t const* getNamespace() const override { return getNamespaceURI(); }
    long childCount() const override;
    // `tag` is an XPath expression evaluated from this element.
    TrelDOMElement* getFirstChild(wchar_t const* tag) const override;
    // Null unless the very first child node is an element.
    TrelDOMElement* getFirstChild() const override;
    TrelDOMElement* getChild(wchar_t const* tag, int index) const override;
    TrelDOMNode* selectNode(wchar_t const* path) const override;
    TrelDOMElement* selectElement(wchar_t const* path) const override;
    wchar_t const* getAttributeValue(wchar_t const* key) const override;
    bool attributeEquals(wchar_t const* key, wchar_t const* value) const override;
    bool setAttribute(wchar_t const* key, wchar_t const* value) override;
    bool addChild(wchar_t const* tag, wchar_t const* text) override;
    bool addChild(TrelDOMElement const* child) override;
    TrelDOMElement* addChild(wchar_t const* tag) override;
    bool addComment(wchar_t const* text) override;
    bool scanChildren(wchar_t const* tag, TrelDOMElementVisitor* v) const override;
    bool scanChildren(TrelDOMElementVisitor* v) const override;
    bool scanAttributes(TrelDOMAttributeVisitor* v) const override;

    using TrelDOMElement::addChild;
    using TrelDOMElement::setAttribute;

protected:
    ~MsxmlDOMElement() override = default;

private:
    // Appends (moves) child as the last child; the appended element with a
    // reference for the caller, or null.
    IXMLDOMElement* addMsxmlChild(IXMLDOMElement* child) const;
    // The first node the expression selects from this element, with a
    // reference for the caller, or null.
    IXMLDOMNode* selectMsxmlNode(wchar_t const* path) const;
    // A detached element in this element's namespace, with a text child when
    // `text` is not null; a reference for the caller, or null.
    IXMLDOMElement* createChild(wchar_t const* tag, wchar_t const* text) const;
};
