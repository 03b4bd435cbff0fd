// The attribute list handed to TrelSAXContentHandler::startElement; valid
// only during that call.
#pragma once

#include "core/XmlRCObject.h"
#include "core/XmlSmartPtr.h"

// Visits one attribute: its local name and value, both valid for the call only.
class TrelSAXAttributeVisitor {
public:
    virtual bool visit(wchar_t const* key, wchar_t const* value) = 0;

protected:
    ~TrelSAXAttributeVisitor() = default;
};

class TrelSAXAttributes : public XmlRCObject {
protected:
    TrelSAXAttributes() = default;
    ~TrelSAXAttributes() override = default;

public:
    // The value of the attribute with that local name; null when absent.
    virtual wchar_t const* getValue(wchar_t const* key) const = 0;
    // Visits the attributes in the parser's order; false as soon as a visit is.
    virtual bool scan(TrelSAXAttributeVisitor* v) const = 0;
};

extern template class XmlSmartPtr<TrelSAXAttributes>;
