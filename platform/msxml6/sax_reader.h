// The SAX reader: parses XML text from a stream, a string or a file, or walks
// a DOM tree, and reports what it finds to content, error and lexical
// handlers. Safe by default: no external entity, external DTD or network
// access unless the external-entity features are switched on (local files only).
#pragma once

#include <libxml/parser.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/msxml6/msxml6.h"
#include "platform/msxml6/sax_attributes.h"
#include "platform/msxml6/com.h"
#include "platform/msxml6/sax_walk.h"
#include "platform/msxml6/writer_mx.h"

namespace mx {

// The handlers of one parse, held for its whole duration.
struct SaxHandlers {
    ComPtr<ISAXContentHandler> content;
    ComPtr<ISAXErrorHandler> error;
    ComPtr<ISAXLexicalHandler> lexical;
    ComPtr<IWriterDirect> writer;  // the content handler, when it is our writer
};

// Position reports: live from the parser during a parse, pinned to the
// error's position once a fatal error is reported, frozen after the parse.
class MX_INTERNAL SaxLocator final : public ComObject<ISAXLocator, IID_ISAXLocator> {
public:
    static ComPtr<SaxLocator> create();

    void attach(xmlParserCtxtPtr ctxt);
    void detach();  // keeps the last position
    void pin(int line, int column);

    HRESULT getColumnNumber(int* column) override;
    HRESULT getLineNumber(int* line) override;

private:
    SaxLocator() = default;
    ~SaxLocator() override = default;

    xmlParserCtxtPtr ctxt_ = nullptr;
    bool pinned_ = false;
    int line_ = 0;
    int column_ = 0;
};

// Turns UTF-8 events (from libxml2 or from a tree walk) into handler calls.
// The first failing handler result stops everything: it is kept as the
// parse's result and no further call is made.
class MX_INTERNAL SaxEmitter {
public:
    // internedNames: every name given lives as long as the emitter at the
    // same address (libxml2's dictionary), so its conversion can be cached.
    SaxEmitter(SaxHandlers const& handlers, SaxLocator* locator, bool namespacePrefixes, bool internedNames);

    bool startDocument();
    bool endDocument();
    bool startElement(ElementEvent const& e);
    bool endElement(ElementEvent const& e);
    // The same straight from libxml2's callbacks (interned names only).
    bool startElementParsed(xmlChar const* local, xmlChar const* prefix, xmlChar const* uri, int nbNamespaces,
                            xmlChar const** namespaces, int nbAttributes, xmlChar const** attributes);
    bool endElementParsed(xmlChar const* local, xmlChar const* prefix, xmlChar const* uri, int nbNamespaces,
                          xmlChar const* const* namespaces);
    bool characters(std::string_view text);  // one run: appendText + flushText
    bool cdata(std::string_view text);
    bool comment(std::string_view text);
    bool processingInstruction(std::string_view target, std::string_view data);
    bool doctype(std::string_view name, std::string_view publicId, std::string_view systemId);
    bool startDTD(std::string_view name, std::string_view publicId, std::string_view systemId);
    bool endDTD();

    // Text arriving in pieces, handed on as one run by flushText().
    void appendText(std::string_view text);
    bool flushText();
    void dropText() { pending_.clear(); }

    // A fatal error: reported once to the error handler, then the end.
    void fatalError(std::string_view message, HRESULT code);
    void warning(std::string_view message, HRESULT code);

    bool stopped() const { return stopped_; }
    HRESULT result() const { return result_; }
    void stop(HRESULT hr);
    SaxLocator* locator() const { return locator_; }

private:
    // The names of an element or declaration in wide form.
    struct Names {
        WideText uri, local, qname;
    };
    Names names(std::string_view uri, std::string_view prefix, std::string_view local);
    bool emitStart(Names const& n, bool mixed);
    bool emitEnd(Names const& n);
    WideText name(std::string_view s);
    bool check(HRESULT hr);
    wchar_t const* text(std::string_view s, int* length);  // into text_
    void fillAttributes(ElementEvent const& e);

    SaxHandlers const& h_;
    SaxLocator* locator_;
    bool namespacePrefixes_;
    bool interned_;
    bool stopped_ = false;
    bool dtdOpen_ = false;
    HRESULT result_ = S_OK;
    ComPtr<SaxAttributes> attrs_;
    NameCache cache_;
    WideBuffer wide_;            // names without a cached copy, per call
    WideBuffer pending_;         // text not yet handed on
    WideBuffer text_;            // comment text
    std::vector<NsDecl> decls_;  // scratch for xmlns listed as attributes
    std::vector<AttrEvent> attrEvents_;
};

struct ByteSource;

class MX_INTERNAL SaxReader final : public ComObject<ISAXXMLReader, IID_ISAXXMLReader> {
public:
    HRESULT putFeature(wchar_t const* name, VARIANT_BOOL value) override;
    HRESULT putProperty(wchar_t const* name, VARIANT value) override;
    HRESULT putContentHandler(ISAXContentHandler* handler) override;
    HRESULT putErrorHandler(ISAXErrorHandler* handler) override;
    HRESULT parse(VARIANT input) override;
    HRESULT parseURL(wchar_t const* url) override;

private:
    ~SaxReader() override = default;

    SaxHandlers snapshot() const;
    HRESULT parseObject(IUnknown* object);
    HRESULT parseStream(ISequentialStream* stream, std::wstring const& url);
    HRESULT parseText(BSTR text);
    HRESULT parseSource(ByteSource const& source);
    HRESULT walk(xmlNodePtr root);

    SaxHandlers handlers_;
    bool namespacePrefixes_ = false;
    bool externalEntities_ = false;
    bool busy_ = false;
};

// libxml2 parse of a byte source into the emitter (sax_parse.cpp).
struct ByteSource {
    ISequentialStream* stream = nullptr;  // either a stream ...
    std::string_view text;                // ... or UTF-8 text in memory
    std::string url;                      // base for relative references, may be empty
};
MX_INTERNAL HRESULT parseBytes(SaxEmitter& emitter, ByteSource const& source, bool externalEntities);

}  // namespace mx
