#include "msxml/MsxmlSAX.h"

#include "msxml/MsxmlFailure.h"
#include "model/XmlFailure.h"
#include "platform/host/ux_string.h"

SAXString::SAXString(wchar_t const* chars, long length, bool trim) {
    if (length < 0) length = 0;
    text_ = length < INLINE ? inline_ : new wchar_t[length + 1];
    ux_strcpy_lim(text_, chars, static_cast<size_t>(length) + 1);
    if (trim) ux_strtrim(text_);
}

SAXString::~SAXString() {
    if (text_ != inline_) delete[] text_;
}

wchar_t const* MsxmlSAXAttributes::getValue(wchar_t const* key) const {
    if (!attributes_ || !key) return nullptr;
    wchar_t const* value = nullptr;
    int length = 0;
    if (FAILED(attributes_->getValueFromName(L"", 0, key, static_cast<int>(ux_strlen(key)), &value, &length)))
        return nullptr;
    SAXString text(value, length, false);
    return cache_.cache(text);
}

bool MsxmlSAXAttributes::scan(TrelSAXAttributeVisitor* v) const {
    int count = 0;
    if (!attributes_ || FAILED(attributes_->getLength(&count))) return false;
    for (int i = 0; i < count; ++i) {
        wchar_t const* name = nullptr;
        wchar_t const* value = nullptr;
        int nameLength = 0;
        int valueLength = 0;
        if (FAILED(attributes_->getLocalName(i, &name, &nameLength))) return false;
        if (FAILED(attributes_->getValue(i, &value, &valueLength))) return false;
        SAXString key(name, nameLength, false);
        SAXString text(value, valueLength, false);
        if (!v->visit(key, text)) return false;
    }
    return true;
}

HRESULT SAXContentHandlerImpl::startDocument() { return toResult(handler_->startDocument()); }

HRESULT SAXContentHandlerImpl::endDocument() { return toResult(handler_->endDocument()); }

HRESULT SAXContentHandlerImpl::startElement(wchar_t const*, int, wchar_t const* localName, int localNameLength,
                                            wchar_t const*, int, ISAXAttributes* attributes) {
    SAXString tag(localName, localNameLength, false);
    XmlSmartPtr<TrelSAXAttributes> list(new MsxmlSAXAttributes(attributes));
    return toResult(handler_->startElement(tag, list));
}

HRESULT SAXContentHandlerImpl::endElement(wchar_t const*, int, wchar_t const* localName, int localNameLength,
                                          wchar_t const*, int) {
    SAXString tag(localName, localNameLength, false);
    return toResult(handler_->endElement(tag));
}

HRESULT SAXContentHandlerImpl::characters(wchar_t const* chars, int length) {
    SAXString text(chars, length, handler_->getIgnoreWhitespace());
    if (text.isEmpty()) return S_OK;
    return toResult(handler_->characters(text));
}

HRESULT SAXErrorHandlerImpl::fatalError(ISAXLocator* locator, wchar_t const* message, HRESULT) {
    int line = 0;
    int column = 0;
    if (locator) {
        locator->getLineNumber(&line);
        locator->getColumnNumber(&column);
    }
    // The first one is why the parse failed; parseFile adds the file.
    XmlLastFailure::set(message ? message : L"", nullptr, line, column);
    if (handler_) handler_->fatalError(line, column, message);
    return S_OK;
}

// The engine keeps the adapters it is given until it gets others; a cleared
// handler therefore also clears the engine's adapter, so that no adapter of
// an earlier parse calls a handler that may be gone.
bool MsxmlSAXXMLReader::installHandlers() {
    ComPtr<ISAXContentHandler> content;
    if (TrelSAXContentHandler* handler = getContentHandler())
        content = ComPtr<ISAXContentHandler>(new SAXContentHandlerImpl(handler));
    if (FAILED(reader_->putContentHandler(content.get()))) return false;
    // Always one, without a handler too: it records why a parse failed.
    ComPtr<ISAXErrorHandler> errors(new SAXErrorHandlerImpl(getErrorHandler()));
    return SUCCEEDED(reader_->putErrorHandler(errors.get()));
}

// By URL, as the DOM loads: a file: URL names a file here just as it does
// for READ-XML, and relative references resolve against the file.
bool MsxmlSAXXMLReader::parseFile(wchar_t const* path) {
    XmlLastFailure::clear();
    if (!reader_ || !path || !*path) return false;
    if (!installHandlers()) return false;
    HRESULT const hr = reader_->parseURL(path);
    // No adapter outlives the parse: the handlers behind them may go now.
    reader_->putContentHandler(nullptr);
    reader_->putErrorHandler(nullptr);
    if (SUCCEEDED(hr)) return true;
    recordParseFailure(hr, path);
    return false;
}
