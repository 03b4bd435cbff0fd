// The document wrapper: owns one engine document and the string cache from
// which every wrapper of that document returns its strings; makes all node
// wrappers and the detached engine nodes that elements attach.
#pragma once

#include "core/StringCache.h"
#include "model/TrelDOMDocument.h"
#include "msxml/MsxmlCom.h"
#include "platform/msxml6/msxml6.h"

class MsxmlDOMAttribute;
class MsxmlDOMElement;
class TrelDOMAttribute;
class TrelDOMElement;
class TrelDOMNode;

// Synchronous load of a file path (or file: URL) into `document`, replacing
// its content. False for a null path, a missing file or malformed XML.
bool loadDocument(IXMLDOMDocument3* document, wchar_t const* path);

class MsxmlDOMDocument : public TrelDOMDocument {
public:
    // Holds its own reference to `document` (not null).
    explicit MsxmlDOMDocument(IXMLDOMDocument3* document);

    // Note the order: qualified name first, namespace URI second.
    TrelDOMElement* createElement(wchar_t const* tag, wchar_t const* text) const override;
    TrelDOMElement* createElement(wchar_t const* tag) const override;
    TrelDOMElement* createElementNS(wchar_t const* tag, wchar_t const* namespaceURI,
                                    wchar_t const* text) const override;
    TrelDOMElement* createElementNS(wchar_t const* tag, wchar_t const* namespaceURI) const override;
    using TrelDOMDocument::createElement;

    TrelDOMElement* getRoot() const override;
    TrelDOMNode* selectNode(wchar_t const* path) const override;
    // Refuses a second root: the existing one stays.
    bool setRoot(TrelDOMElement const* root) override;
    bool addXMLDeclaration(XmlEncoding const& encoding) override;
    using TrelDOMDocument::addXMLDeclaration;
    bool addComment(wchar_t const* text) override;
    // Indented: through the XML writer in `encoding`; otherwise the engine's
    // own save, which follows the document's declaration.
    bool save(wchar_t const* path, XmlEncoding const& encoding, bool indent) const override;
    using TrelDOMDocument::save;
    bool saveXML(wchar_t** out, bool indent) const override;
    bool load(wchar_t const* path) override;
    bool loadXML(wchar_t const* text) override;
    // Switches DTD validation and external resolution for later loads.
    void resolveExternals(bool on) override;

    IXMLDOMDocument3* getWrapped() const { return document_; }  // no new reference
    // The engine document behind a document of this model, or null.
    static IXMLDOMDocument3* engineOf(TrelDOMDocument const* document) {
        auto const* wrapper = dynamic_cast<MsxmlDOMDocument const*>(document);
        return wrapper ? wrapper->document_ : nullptr;
    }
    // The live wrapper of an engine document (any of its interfaces), or null.
    static MsxmlDOMDocument const* wrapperOf(IUnknown* document);

    // New count-0 wrappers, one per call.
    TrelDOMNode* createTrelNode(IXMLDOMNode* node) const;
    TrelDOMElement* createTrelElement(IXMLDOMElement* element) const;
    // The same taking over the reference given; `reader` is the element's own.
    MsxmlDOMElement* adoptTrelElement(ComPtr<IXMLDOMElement> element, IXMLDOMNodeReader* reader) const;
    MsxmlDOMAttribute* adoptTrelAttribute(ComPtr<IXMLDOMAttribute> attribute, IXMLDOMNodeReader* reader) const;

    // Detached engine nodes of this document, with a reference for the caller.
    IXMLDOMElement* createMsxmlElement(wchar_t const* name, wchar_t const* namespaceURI) const;
    // With a non-null text, the element's only child is a text node holding it.
    IXMLDOMElement* createMsxmlElement(wchar_t const* name, wchar_t const* namespaceURI, wchar_t const* text) const;
    IXMLDOMText* createMsxmlText(wchar_t const* text) const;
    IXMLDOMComment* createMsxmlComment(wchar_t const* text) const;

    // Interns `text` in this document's cache; the result lives as long as
    // this wrapper. Null stays null.
    wchar_t const* unmarshal(wchar_t* text) const;
    // The same for a name the engine lends (n code units, NUL-terminated)
    // with its key (readNameKey; 0 for none).
    wchar_t const* internName(uint64_t key, wchar_t const* text, size_t n) const;
    // The same for the engine's UTF-8 text (n bytes): converted only when new.
    wchar_t const* internUtf8(char const* text, size_t n) const;

protected:
    ~MsxmlDOMDocument() override;

private:
    // saveXML without the failure record.
    bool writeText(wchar_t** out, bool indent) const;

    IXMLDOMDocument3* document_;
    mutable StringCache cache_;
};
