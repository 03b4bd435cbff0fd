// The SAX reader over the engine. The model's handlers are not COM objects,
// so two small COM adapters (the engine's own COM toolkit counts them) stand
// between the engine and them: one turns the engine's content callbacks
// (counted strings, HRESULTs) into the model's (terminated strings, bools),
// the other forwards fatal errors with their position.
#pragma once

#include "core/StringCache.h"
#include "core/XmlSmartPtr.h"
#include "model/TrelSAXAttributes.h"
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXErrorHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "msxml/MsxmlCom.h"
#include "platform/msxml6/com.h"

// A model handler's answer as the engine's: S_OK goes on, E_FAIL stops.
inline HRESULT toResult(bool goOn) { return goOn ? S_OK : E_FAIL; }

// A terminated copy of a counted engine string, optionally trimmed of leading
// and trailing white space. Short texts stay inline: no heap per event.
class SAXString {
public:
    SAXString(wchar_t const* chars, long length, bool trim);
    ~SAXString();
    SAXString(SAXString const&) = delete;
    SAXString& operator=(SAXString const&) = delete;

    operator wchar_t*() const { return text_; }
    bool isEmpty() const { return !text_ || text_[0] == L'\0'; }

private:
    static long const INLINE = 64;
    wchar_t inline_[INLINE];
    wchar_t* text_ = nullptr;  // inline_ or a heap buffer
};

// The attribute list of one start tag; valid during that callback only.
class MsxmlSAXAttributes : public TrelSAXAttributes {
public:
    explicit MsxmlSAXAttributes(ISAXAttributes* attributes) : attributes_(ComPtr<ISAXAttributes>::share(attributes)) {}

    // The value of the attribute with that local name and no namespace,
    // interned in this list's cache; null when absent.
    wchar_t const* getValue(wchar_t const* key) const override;
    bool scan(TrelSAXAttributeVisitor* v) const override;

private:
    ComPtr<ISAXAttributes> attributes_;
    mutable StringCache cache_;
};

// Engine content callbacks -> the model's content handler (not counted: the
// handler must outlive the parse).
class SAXContentHandlerImpl : public mx::ComObject<ISAXContentHandler, IID_ISAXContentHandler> {
public:
    explicit SAXContentHandlerImpl(TrelSAXContentHandler* handler) : handler_(handler) {}

    HRESULT putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT startDocument() override;
    HRESULT endDocument() override;
    HRESULT startPrefixMapping(wchar_t const*, int, wchar_t const*, int) override { return S_OK; }
    HRESULT endPrefixMapping(wchar_t const*, int) override { return S_OK; }
    HRESULT startElement(wchar_t const* uri, int uriLength, wchar_t const* localName, int localNameLength,
                         wchar_t const* qname, int qnameLength, ISAXAttributes* attributes) override;
    HRESULT endElement(wchar_t const* uri, int uriLength, wchar_t const* localName, int localNameLength,
                       wchar_t const* qname, int qnameLength) override;
    HRESULT characters(wchar_t const* chars, int length) override;
    HRESULT ignorableWhitespace(wchar_t const*, int) override { return S_OK; }
    HRESULT processingInstruction(wchar_t const*, int, wchar_t const*, int) override { return S_OK; }
    HRESULT skippedEntity(wchar_t const*, int) override { return S_OK; }

private:
    TrelSAXContentHandler* handler_;
};

// Engine error callbacks -> the model's error handler. Not counted: the
// handler may live on the caller's stack for one parse.
class SAXErrorHandlerImpl : public mx::ComObject<ISAXErrorHandler, IID_ISAXErrorHandler> {
public:
    explicit SAXErrorHandlerImpl(TrelSAXErrorHandler* handler) : handler_(handler) {}

    HRESULT error(ISAXLocator*, wchar_t const*, HRESULT) override { return S_OK; }
    HRESULT fatalError(ISAXLocator* locator, wchar_t const* message, HRESULT code) override;
    HRESULT ignorableWarning(ISAXLocator*, wchar_t const*, HRESULT) override { return S_OK; }

private:
    TrelSAXErrorHandler* handler_;
};

class MsxmlSAXXMLReader : public TrelSAXXMLReader {
public:
    explicit MsxmlSAXXMLReader(ISAXXMLReader* reader) : reader_(ComPtr<ISAXXMLReader>::share(reader)) {}

    bool parseFile(wchar_t const* path) override;
    using TrelSAXXMLReader::parseFile;

private:
    // Installs adapters for the handlers now set, and removes the adapters of
    // an earlier parse whose handler has been cleared since.
    bool installHandlers();

    ComPtr<ISAXXMLReader> reader_;
};
