// The abstract XML element. Besides the operations every implementation
// provides, it carries the code they all share: typed accessors with fixed
// text forms, child collection, tree scanning and merging.
#pragma once

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMElementPtrArray.h"
#include "model/TrelDOMNode.h"
#include "model/TrelDOMVisitor.h"

// Contract of the pure operations: returned strings belong to the owning
// document and stay valid while it lives; element and node results are new
// count-0 objects that the caller wraps, null when nothing fits. A "child" is
// an element child. Scans visit in document order over a snapshot taken before
// the first visit and return false as soon as a visit does.
class TrelDOMElement : public virtual TrelDOMNode {
public:
    virtual wchar_t const* getTag() const = 0;
    virtual bool tagEquals(wchar_t const* tag) const = 0;
    // Null when the element has no text.
    virtual wchar_t const* getText() const = 0;
    virtual bool setText(wchar_t const* text) = 0;
    virtual wchar_t const* getNamespace() const = 0;
    virtual long childCount() const = 0;
    virtual TrelDOMElement* getFirstChild(wchar_t const* tag) const = 0;
    virtual TrelDOMElement* getFirstChild() const = 0;
    virtual TrelDOMElement* getChild(wchar_t const* tag, int index) const = 0;
    // Both append to `out`; they do not clear it first.
    virtual void getChildren(wchar_t const* tag, TrelDOMElementPtrArray& out) const;
    virtual void getChildren(TrelDOMElementPtrArray& out) const;
    // XPath from this element; the first match counts.
    virtual TrelDOMNode* selectNode(wchar_t const* path) const = 0;
    virtual TrelDOMElement* selectElement(wchar_t const* path) const = 0;
    // Null when the attribute is absent.
    virtual wchar_t const* getAttributeValue(wchar_t const* key) const = 0;
    virtual bool attributeEquals(wchar_t const* key, wchar_t const* value) const = 0;
    virtual bool setAttribute(wchar_t const* key, wchar_t const* value) = 0;
    virtual bool addChild(wchar_t const* tag, wchar_t const* text) = 0;
    // Moves `child` (with its subtree) to the end of this element's children.
    virtual bool addChild(TrelDOMElement const* child) = 0;
    // The new child as a count-0 object.
    virtual TrelDOMElement* addChild(wchar_t const* tag) = 0;
    virtual bool addComment(wchar_t const* text) = 0;
    virtual bool scanChildren(wchar_t const* tag, TrelDOMElementVisitor* v) const = 0;
    virtual bool scanChildren(TrelDOMElementVisitor* v) const = 0;
    // Depth-first, pre-order over this element and all its descendants.
    virtual bool scanTree(TrelDOMElementVisitor* v) const;
    virtual bool scanAttributes(TrelDOMAttributeVisitor* v) const = 0;

    // Typed writers: format the value in its fixed text form and pass it on.
    bool addChild(wchar_t const* tag, bool value);
    bool addChild(wchar_t const* tag, int value);
    bool addChild(wchar_t const* tag, unsigned long value);
    bool addChild(wchar_t const* tag, double value);
    bool setAttribute(wchar_t const* key, bool value);
    bool setAttribute(wchar_t const* key, int value);
    bool setAttribute(wchar_t const* key, long value);
    bool setAttribute(wchar_t const* key, unsigned long value);
    bool setAttribute(wchar_t const* key, double value);

    // Typed attribute readers. A missing attribute gives false, 0, 0, 0, NaN;
    // a value that does not scan gives 0 (integers) or NaN (double).
    bool getBoolAttributeValue(wchar_t const* key) const;
    int getIntAttributeValue(wchar_t const* key) const;
    long getLongAttributeValue(wchar_t const* key) const;
    unsigned long getULongAttributeValue(wchar_t const* key) const;
    double getDoubleAttributeValue(wchar_t const* key) const;

    // Typed text readers. Without text they return false and leave `out`
    // alone. getBoolText is true for any text (out = text is "true"); the
    // others return whether a value was scanned.
    bool getBoolText(bool& out) const;
    bool getDoubleText(double& out) const;
    bool getULongText(unsigned long& out) const;

    // Merges `other` into this element: this element's text and attribute
    // values win on a clash, the other's missing attributes are copied and all
    // its child elements are moved here. False for null or this element.
    bool merge(TrelDOMElement const* other);

protected:
    TrelDOMElement() = default;
    ~TrelDOMElement() override = default;
};

extern template class XmlSmartPtr<TrelDOMElement>;
extern template bool operator==(XmlSmartPtr<TrelDOMElement> const&, TrelDOMElement const*);
extern template class BASIC_ARRAY<XmlSmartPtr<TrelDOMElement>, 16, long>;
