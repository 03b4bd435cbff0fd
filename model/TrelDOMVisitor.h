// Visitor interfaces for scans over elements and attributes. They are plain
// stack objects, not counted; a visit that returns false stops the scan.
#pragma once

class TrelDOMElement;
class TrelDOMAttribute;

// The object a visit receives is the caller's only for that visit: a scan
// may reuse it for the next node when nobody kept a reference. Keep it in
// an XmlSmartPtr to use it afterwards.
class TrelDOMElementVisitor {
public:
    virtual bool visit(TrelDOMElement const* element) = 0;

protected:
    // Never deleted through the interface.
    ~TrelDOMElementVisitor() = default;
};

class TrelDOMAttributeVisitor {
public:
    virtual bool visit(TrelDOMAttribute const* attribute) = 0;

protected:
    ~TrelDOMAttributeVisitor() = default;
};
