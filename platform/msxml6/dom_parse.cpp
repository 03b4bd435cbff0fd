// The DOM's parser: libxml2's tree builder behind a thin SAX filter.
//
// The filter drops white-space-only text outside xml:space="preserve" before
// libxml2 allocates a node for it (most of an indented file's nodes), which
// is both the DOM's rule and the cheapest way to build the tree. Entities are
// substituted (NOENT) so that expansion bombs are caught by libxml2's limits
// while parsing (see entityDeclWithLimits for how they stay on although the
// size limits are lifted); external entities and DTDs still come only
// through the guarded loader, which refuses them unless resolveExternals
// allows. Attribute defaults declared in the DTD are applied (DTDATTR), as
// XML requires of every processor.
#include "platform/msxml6/dom_parse.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/valid.h>

#include <cstring>
#include <vector>

#include "platform/msxml6/dom_util.h"

namespace mx {

namespace {

struct ParseState {
    bool preserveAll = false;
    bool failed = false;
    bool namespaceNameWarned = false;  // libxml2 counts it against namespace well-formedness
    ParseFailure* failure = nullptr;
    std::vector<char> preserve;  // per open element: inside xml:space="preserve"
    std::string pending;         // white space held until the text proves non-blank
    bool inText = false;
};

ParseState& stateOf(void* ctx) { return *static_cast<ParseState*>(static_cast<xmlParserCtxtPtr>(ctx)->_private); }

void record(ParseFailure& failure, xmlErrorPtr error) {
    failure.code = error->code ? error->code : E_FAIL;
    failure.reason = withoutNewline(error->message);
    failure.line = error->line;
    failure.column = error->int2;
}

// Fails the parse with the module's own message where libxml2 has none.
void fail(void* ctx, int code, std::string const& reason) {
    ParseState& st = stateOf(ctx);
    if (st.failed) return;
    st.failed = true;
    st.failure->code = code;
    st.failure->reason = reason;
    st.failure->line = xmlSAX2GetLineNumber(ctx);
    st.failure->column = xmlSAX2GetColumnNumber(ctx);
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
}

void onParseError(void* ctx, xmlErrorPtr error) {
    if (!error || error->level < XML_ERR_ERROR) return;
    ParseState& st = stateOf(ctx);
    if (isNamespaceNameWarning(error)) {
        st.namespaceNameWarned = true;
        return;
    }
    if (st.failed) return;
    st.failed = true;
    xmlError reported = EncodingErrorsToParser::asReported(*error);
    record(*st.failure, &reported);
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));  // one error is all the DOM reports
}

bool isBlank(xmlChar const* ch, int len) {
    for (int i = 0; i < len; ++i)
        if (ch[i] != ' ' && ch[i] != '\t' && ch[i] != '\n' && ch[i] != '\r') return false;
    return true;
}

bool preserving(ParseState const& st) { return st.preserveAll || (!st.preserve.empty() && st.preserve.back()); }

void endText(ParseState& st) {
    st.pending.clear();
    st.inText = false;
}

void onCharacters(void* ctx, xmlChar const* ch, int len) {
    ParseState& st = stateOf(ctx);
    if (st.inText || preserving(st)) {
        xmlSAX2Characters(ctx, ch, len);
        return;
    }
    if (isBlank(ch, len)) {
        st.pending.append(reinterpret_cast<char const*>(ch), static_cast<size_t>(len));
        return;
    }
    if (!st.pending.empty()) {
        xmlSAX2Characters(ctx, reinterpret_cast<xmlChar const*>(st.pending.data()),
                          static_cast<int>(st.pending.size()));
        st.pending.clear();
    }
    xmlSAX2Characters(ctx, ch, len);
    st.inText = true;
}

// xml:space on this element, or the inherited setting.
bool preserveFor(ParseState const& st, int nbAttributes, xmlChar const** attributes) {
    for (int i = 0; i < nbAttributes; ++i) {
        xmlChar const** a = attributes + 5 * i;
        if (!a[1] || !xmlStrEqual(a[1], BAD_CAST "xml") || !xmlStrEqual(a[0], BAD_CAST "space")) continue;
        size_t n = static_cast<size_t>(a[4] - a[3]);
        if (n == 8 && memcmp(a[3], "preserve", 8) == 0) return true;
        if (n == 7 && memcmp(a[3], "default", 7) == 0) return false;
    }
    return !st.preserve.empty() && st.preserve.back();
}

void onStartElement(void* ctx, xmlChar const* localname, xmlChar const* prefix, xmlChar const* uri, int nbNamespaces,
                    xmlChar const** namespaces, int nbAttributes, int nbDefaulted, xmlChar const** attributes) {
    ParseState& st = stateOf(ctx);
    endText(st);
    // Checked here rather than left to libxml2, whose own limit depends on
    // the parse options.
    if (st.preserve.size() >= kMaxTreeDepth)
        return fail(ctx, XML_ERR_INTERNAL_ERROR,
                    "Elements are nested deeper than " + std::to_string(kMaxTreeDepth) + " levels.");
    st.preserve.push_back(preserveFor(st, nbAttributes, attributes) ? 1 : 0);
    xmlSAX2StartElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes, nbDefaulted, attributes);
}

void onEndElement(void* ctx, xmlChar const* localname, xmlChar const* prefix, xmlChar const* uri) {
    ParseState& st = stateOf(ctx);
    endText(st);
    if (!st.preserve.empty()) st.preserve.pop_back();
    xmlSAX2EndElementNs(ctx, localname, prefix, uri);
}

// Other markup ends a run of text; libxml2's own handler `build` then makes it.
template <auto build, class... Args>
void afterText(void* ctx, Args... args) {
    endText(stateOf(ctx));
    build(ctx, args...);
}

void onEndDocument(void* ctx) {
    xmlError unread = unreadInput(static_cast<xmlParserCtxtPtr>(ctx));
    if (unread.code) onParseError(ctx, &unread);
    xmlSAX2EndDocument(ctx);
}

void installHandlers(xmlParserCtxtPtr ctxt) {
    xmlSAXHandlerPtr sax = ctxt->sax;
    sax->serror = onParseError;
    sax->entityDecl = entityDeclWithLimits;
    sax->endDocument = onEndDocument;
    sax->characters = onCharacters;
    sax->ignorableWhitespace = onCharacters;  // the same, or libxml2 applies its own blank heuristic
    sax->startElementNs = onStartElement;
    sax->endElementNs = onEndElement;
    sax->comment = afterText<xmlSAX2Comment>;
    sax->processingInstruction = afterText<xmlSAX2ProcessingInstruction>;
    sax->cdataBlock = afterText<xmlSAX2CDataBlock>;
    sax->reference = afterText<xmlSAX2Reference>;
}

int optionsFor(LoadSettings const& settings) {
    int options = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_COMPACT | XML_PARSE_BIG_LINES | XML_PARSE_HUGE |
                  XML_PARSE_DTDATTR;
    if (settings.resolveExternals) options |= XML_PARSE_DTDLOAD;
    return options;
}

// Runs one parse with a fresh context; `read` performs the libxml2 call.
template <class Read>
xmlDocPtr runParse(LoadSettings const& settings, ParseFailure& failure, Read read) {
    ensureInit();
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) {
        failure.code = E_OUTOFMEMORY;
        failure.reason = "Out of memory.";
        return nullptr;
    }
    ParseState st;
    st.preserveAll = settings.preserveWhiteSpace;
    st.failure = &failure;
    ctxt->_private = &st;
    installHandlers(ctxt);
    xmlDocPtr doc;
    {
        ExternalAccess access(settings.resolveExternals);
        EncodingErrorsToParser encodingErrors;
        doc = read(ctxt, optionsFor(settings));
    }
    bool wellFormed = ctxt->wellFormed && (ctxt->nsWellFormed || st.namespaceNameWarned);
    xmlFreeParserCtxt(ctxt);
    if (doc && (!wellFormed || st.failed)) {
        xmlFreeDoc(doc);
        doc = nullptr;
    }
    if (!doc && failure.reason.empty()) {
        failure.code = E_FAIL;
        failure.reason = "The document could not be read.";
    }
    return doc;
}

struct ValidationErrors {
    bool failed = false;
    ParseFailure* failure;
};

void onValidationError(void* context, xmlErrorPtr error) {
    auto* errors = static_cast<ValidationErrors*>(context);
    if (!error || error->level < XML_ERR_ERROR || errors->failed) return;
    errors->failed = true;
    record(*errors->failure, error);
}

}  // namespace

xmlDocPtr parseStream(IStream* stream, std::string const& url, LoadSettings const& settings, ParseFailure& failure) {
    return runParse(settings, failure, [&](xmlParserCtxtPtr ctxt, int options) {
        return xmlCtxtReadIO(ctxt, streamRead, streamClose, stream, url.empty() ? nullptr : url.c_str(), nullptr,
                             options);
    });
}

xmlDocPtr parseText(std::string const& utf8, LoadSettings const& settings, ParseFailure& failure) {
    if (utf8.empty()) {
        failure.code = XML_ERR_DOCUMENT_EMPTY;
        failure.reason = "Document is empty";
        failure.line = 1;
        failure.column = 1;
        return nullptr;
    }
    xmlDocPtr doc = runParse(settings, failure, [&](xmlParserCtxtPtr ctxt, int options) {
        return xmlCtxtReadMemory(ctxt, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr,
                                 options | XML_PARSE_IGNORE_ENC);
    });
    // The text arrived as characters, so its label was ignored while
    // parsing; it still says how the document wants to be saved.
    size_t end = utf8.find("?>");
    if (doc && utf8.starts_with("<?xml") && end != std::string::npos) {
        std::string encoding = pseudoAttribute(utf8.substr(5, end - 5).c_str(), "encoding");
        if (!encoding.empty()) doc->encoding = xmlStrdup(xstr(encoding));
    }
    return doc;
}

bool validateAgainstDtd(xmlDocPtr doc, ParseFailure& failure) {
    xmlValidCtxtPtr vctxt = xmlNewValidCtxt();
    if (!vctxt) return false;
    vctxt->error = nullptr;
    vctxt->warning = nullptr;
    ValidationErrors errors{false, &failure};
    xmlStructuredErrorFunc previous = xmlStructuredError;
    void* previousContext = xmlStructuredErrorContext;
    xmlSetStructuredErrorFunc(&errors, onValidationError);
    int valid = xmlValidateDocument(vctxt, doc);  // under the caller's ExternalAccess
    xmlSetStructuredErrorFunc(previousContext, previous);
    xmlFreeValidCtxt(vctxt);
    if (valid != 1 && !errors.failed) {
        failure.code = E_FAIL;
        failure.reason = "The document is not valid according to its DTD.";
    }
    return valid == 1;
}

}  // namespace mx
