// The abstract XML document and the element factory it implements.
#pragma once

#include "core/XmlRCObject.h"
#include "core/XmlSmartPtr.h"
#include "model/XmlEncoding.h"

class TrelDOMAttribute;
class TrelDOMElement;
class TrelDOMElementVisitor;
class TrelDOMNode;

// Makes elements. Every result is a new, detached count-0 element of the
// factory's document, or null.
class TrelDOMFactory : public XmlRCObject {
protected:
    TrelDOMFactory() = default;
    virtual ~TrelDOMFactory() = default;

public:
    TrelDOMFactory(TrelDOMFactory const&) = delete;
    TrelDOMFactory& operator=(TrelDOMFactory const&) = delete;

    virtual TrelDOMElement* createElement(wchar_t const* tag, bool value) const = 0;
    virtual TrelDOMElement* createElement(wchar_t const* tag, double value) const = 0;
    virtual TrelDOMElement* createElement(wchar_t const* tag, long value) const = 0;
    virtual TrelDOMElement* createElement(wchar_t const* tag, wchar_t const* text) const = 0;
    virtual TrelDOMElement* createElement(wchar_t const* tag) const = 0;
    virtual TrelDOMElement* createElementNS(wchar_t const* tag, wchar_t const* namespaceURI,
                                            wchar_t const* text) const = 0;
    virtual TrelDOMElement* createElementNS(wchar_t const* tag, wchar_t const* namespaceURI) const = 0;
};

// Every live document is counted by the object factory (see XmlObjectFactory).
class TrelDOMDocument : public TrelDOMFactory {
protected:
    TrelDOMDocument();
    ~TrelDOMDocument() override;

public:
    // The typed forms write the value's text form and call createElement(tag, text).
    TrelDOMElement* createElement(wchar_t const* tag, bool value) const override;
    TrelDOMElement* createElement(wchar_t const* tag, double value) const override;
    TrelDOMElement* createElement(wchar_t const* tag, long value) const override;
    using TrelDOMFactory::createElement;

    virtual TrelDOMElement* getRoot() const = 0;
    // XPath from the document; the first match counts.
    virtual TrelDOMNode* selectNode(wchar_t const* path) const = 0;
    // Null when the match is no element (no attribute).
    virtual TrelDOMElement* selectElement(wchar_t const* path) const;
    virtual TrelDOMAttribute* selectAttribute(wchar_t const* path) const;
    // An element's text or an attribute's value; null for anything else.
    virtual wchar_t const* getText(wchar_t const* path) const;
    virtual bool setRoot(TrelDOMElement const* root) = 0;
    virtual bool addXMLDeclaration(XmlEncoding const& encoding) = 0;
    virtual bool addComment(wchar_t const* text) = 0;
    virtual bool save(wchar_t const* path, XmlEncoding const& encoding, bool indent) const = 0;
    // Saves in UTF-8.
    virtual bool save(wchar_t const* path, bool indent) const;
    // *out receives a heap string the caller frees with ux_strfree.
    virtual bool saveXML(wchar_t** out, bool indent) const = 0;
    virtual bool load(wchar_t const* path) = 0;
    virtual bool loadXML(wchar_t const* text) = 0;
    virtual void resolveExternals(bool on) = 0;
    // Both compile the style sheet file through the object factory; a style
    // sheet that does not load makes them fail quietly.
    virtual bool transform(wchar_t const* stylesheet, wchar_t const* outputPath) const;
    virtual TrelDOMDocument* transform(wchar_t const* stylesheet) const;
    // Scans the root element's tree; nothing without a root.
    virtual void scanTree(TrelDOMElementVisitor* v) const;

    // UTF-8 declaration.
    bool addXMLDeclaration();
};

extern template class XmlSmartPtr<TrelDOMDocument>;
extern template bool operator==(XmlSmartPtr<TrelDOMDocument> const&, TrelDOMDocument const*);
