// Process set-up, the guarded external-entity loader, IStream callbacks for
// libxml2, source opening and the bridge from COM objects to libxml2 nodes.
#include "platform/msxml6/engine.h"

#include <fcntl.h>
#include <unistd.h>

#include <libexslt/exslt.h>
#include <libxml/SAX2.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <libxml/xmlschemastypes.h>
#include <libxslt/extensions.h>
#include <libxslt/extra.h>
#include <libxslt/functions.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "platform/msxml6/dom_core.h"

namespace mx {

namespace {

thread_local bool tlsExternalAllowed = false;

bool hasScheme(char const* s, char const* scheme) {
    size_t n = strlen(scheme);
    return strncasecmp(s, scheme, n) == 0 && s[n] == ':';
}

// "file:///a%20b" -> "/a b"; "file://localhost/x" -> "/x"; plain text is a
// path and is taken literally. Empty result: not a local file.
std::string localPathOf(char const* url) {
    if (!hasScheme(url, "file")) {
        // Any other URL scheme ("http://", "ftp://", ...) is refused.
        char const* p = url;
        while (*p && (isalnum(static_cast<unsigned char>(*p)) || *p == '+' || *p == '-' || *p == '.')) ++p;
        if (p != url && p - url > 1 && p[0] == ':' && p[1] == '/' && p[2] == '/') return {};
        return url;
    }
    char const* rest = url + 5;
    if (strncmp(rest, "//", 2) == 0) {
        rest += 2;
        if (strncasecmp(rest, "localhost/", 10) == 0)
            rest += 9;
        else if (*rest != '/')
            return {};  // another host
    }
    char* unescaped = xmlURIUnescapeString(rest, 0, nullptr);
    if (!unescaped) return {};
    std::string out = unescaped;
    xmlFree(unescaped);
    return out;
}

// A file descriptor as libxml2 input. libxml2's own descriptor input gives
// up when a signal interrupts a read, which would fail the parse.
int readFd(void* context, char* buffer, int length) {
    ssize_t n;
    do n = read(static_cast<int>(reinterpret_cast<intptr_t>(context)), buffer, static_cast<size_t>(length));
    while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int closeFd(void* context) { return close(static_cast<int>(reinterpret_cast<intptr_t>(context))); }

// The one external-entity loader of the process: refuses everything unless
// the current thread allowed local files, and then reads plain local files
// only (no network, no catalog redirection, no transparent decompression).
xmlParserInputPtr guardedLoader(char const* url, char const*, xmlParserCtxtPtr ctxt) {
    if (!url || !ExternalAccess::allowed()) return nullptr;
    std::string path = localPathOf(url);
    if (path.empty()) return nullptr;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && path.find('%') != std::string::npos) {
        // libxml2 escapes the references it resolves against a base path
        // ("a b/x.dtd" -> "a%20b/x.dtd"); try the name it stands for.
        if (char* unescaped = xmlURIUnescapeString(path.c_str(), 0, nullptr)) {
            path = unescaped;
            xmlFree(unescaped);
            fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        }
    }
    if (fd < 0) return nullptr;
    void* const context = reinterpret_cast<void*>(static_cast<intptr_t>(fd));
    xmlParserInputBufferPtr buffer = xmlParserInputBufferCreateIO(readFd, closeFd, context, XML_CHAR_ENCODING_NONE);
    if (!buffer) {  // this libxml2 leaves fd open when it fails
        close(fd);
        return nullptr;
    }
    xmlParserInputPtr input = xmlNewIOInputStream(ctxt, buffer, XML_CHAR_ENCODING_NONE);
    if (!input) {
        xmlFreeParserInputBuffer(buffer);
        return nullptr;
    }
    input->filename = reinterpret_cast<char const*>(xmlStrdup(BAD_CAST path.c_str()));
    return input;
}

// libxml2 and libxslt print whatever no handler took to stderr; every
// message that matters reaches the module through a parse's own handler.
void dropMessage(void*, char const*, ...) {}

void initProcess() {
    xmlInitParser();
    // The schema engine builds its table of built-in types on first use,
    // without a lock: threads compiling their first schemas at once would
    // each build one and all but one would leak.
    xmlSchemaInitTypes();
    xmlThrDefSetGenericErrorFunc(nullptr, dropMessage);
    xmlThrDefSetStructuredErrorFunc(nullptr, nullptr);
    exsltRegisterAll();
    xsltRegisterExtModuleFunction(BAD_CAST "node-set", BAD_CAST "urn:schemas-microsoft-com:xslt", xsltFunctionNodeSet);
    xmlSetExternalEntityLoader(guardedLoader);
    // libxml2 stops at 256 levels unless told otherwise; the parsers check
    // kMaxTreeDepth themselves (with or without XML_PARSE_HUGE), so its own
    // check only has to stay out of the way.
    xmlParserMaxDepth = kMaxTreeDepth + 1;
    // Threads created from now on start with the hook; existing ones get it
    // in ensureInit.
    xmlThrDefDeregisterNodeDefault(domNodeFreed);
}

}  // namespace

void ensureInit() {
    static std::once_flag once;
    std::call_once(once, initProcess);
    thread_local bool threadReady = false;
    if (!threadReady) {
        xmlDeregisterNodeDefault(domNodeFreed);
        xmlSetGenericErrorFunc(nullptr, dropMessage);
        xmlSetStructuredErrorFunc(nullptr, nullptr);
        threadReady = true;
    }
}

void entityDeclWithLimits(void* ctx, xmlChar const* name, int type, xmlChar const* publicId, xmlChar const* systemId,
                          xmlChar* content) {
    static_cast<xmlParserCtxtPtr>(ctx)->options &= ~XML_PARSE_HUGE;
    xmlSAX2EntityDecl(ctx, name, type, publicId, systemId, content);
}

bool isNamespaceNameWarning(xmlError const* error) {
    return error->domain == XML_FROM_NAMESPACE &&
           (error->code == XML_WAR_NS_URI || error->code == XML_WAR_NS_URI_RELATIVE);
}

xmlError unreadInput(xmlParserCtxtPtr ctxt) {
    static char nulMessage[] = "Char 0x0 out of allowed range";
    static char cutMessage[] = "The input ends inside a character of its encoding";
    xmlError error{};
    // A stopped parser has reported its error already, and its input may be
    // freed: stopping frees the buffer, yet the interrupted scan still moves
    // `cur` into it afterwards.
    if (ctxt->disableSAX) return error;
    xmlParserInputPtr in = ctxt->input;
    if (in && in->cur && in->end && in->cur < in->end && *in->cur == 0) {
        error.code = XML_ERR_INVALID_CHAR;
        error.message = nulMessage;
    } else if (in && in->buf && in->buf->raw && xmlBufUse(in->buf->raw) > 0) {
        error.code = XML_ERR_INVALID_ENCODING;  // bytes the decoder could not finish
        error.message = cutMessage;
    }
    // A failed conversion may also have ended the input early.
    error = EncodingErrorsToParser::asReported(error);
    if (error.code) {
        error.level = XML_ERR_FATAL;
        error.line = xmlSAX2GetLineNumber(ctxt);
        error.int2 = xmlSAX2GetColumnNumber(ctxt);
    }
    return error;
}

namespace {
thread_local EncodingErrorsToParser* tlsEncodingScope = nullptr;
}  // namespace

EncodingErrorsToParser::EncodingErrorsToParser()
    : previous_(xmlStructuredError), previousContext_(xmlStructuredErrorContext), outer_(tlsEncodingScope) {
    xmlSetStructuredErrorFunc(this, keep);
    tlsEncodingScope = this;
}

EncodingErrorsToParser::~EncodingErrorsToParser() {
    tlsEncodingScope = outer_;
    xmlSetStructuredErrorFunc(previousContext_, previous_);
}

void EncodingErrorsToParser::keep(void* scope, xmlErrorPtr error) {
    auto* self = static_cast<EncodingErrorsToParser*>(scope);
    if (!error || self->holding_ || error->level < XML_ERR_ERROR) return;
    if (error->domain != XML_FROM_I18N && error->domain != XML_FROM_IO) return;
    self->holding_ = true;
    self->code_ = error->code;
    self->message_ = error->message ? error->message : "";
}

xmlError EncodingErrorsToParser::asReported(xmlError const& parserError) {
    xmlError out = parserError;
    EncodingErrorsToParser* scope = tlsEncodingScope;
    if (scope && scope->holding_) {
        out.code = scope->code_;
        out.message = scope->message_.data();
    }
    return out;
}

ExternalAccess::ExternalAccess(bool allowLocalFiles) : previous_(tlsExternalAllowed) {
    tlsExternalAllowed = allowLocalFiles;
}

ExternalAccess::~ExternalAccess() { tlsExternalAllowed = previous_; }

bool ExternalAccess::allowed() { return tlsExternalAllowed; }

int streamRead(void* stream, char* buffer, int length) {
    auto* s = static_cast<IStream*>(stream);
    int done = 0;
    while (done < length) {
        ULONG got = 0;
        HRESULT hr = s->Read(buffer + done, static_cast<ULONG>(length - done), &got);
        if (FAILED(hr)) return -1;
        if (got == 0) break;
        done += static_cast<int>(got);
    }
    return done;
}

int streamWrite(void* stream, char const* buffer, int length) {
    ULONG written = 0;
    HRESULT hr = static_cast<IStream*>(stream)->Write(buffer, static_cast<ULONG>(length), &written);
    return FAILED(hr) ? -1 : static_cast<int>(written);
}

int streamClose(void*) { return 0; }

IStream* openFile(wchar_t const* pathOrUrl, DWORD mode, HRESULT* hr) {
    std::string path = pathOrUrl && *pathOrUrl ? localPathOf(toUtf8(pathOrUrl).c_str()) : std::string();
    if (path.empty()) {
        *hr = pathOrUrl && *pathOrUrl ? E_ACCESSDENIED : E_INVALIDARG;
        return nullptr;
    }
    std::wstring wide = toWide(path.data(), path.size());
    IStream* stream = nullptr;
    *hr = SHCreateStreamOnFileW(wide.c_str(), mode, &stream);
    return SUCCEEDED(*hr) ? stream : nullptr;
}

xmlNodePtr engineNodeOf(IUnknown* object) {
    if (!object) return nullptr;
    void* out = nullptr;
    if (FAILED(object->QueryInterface(IID_IEngineNode, &out)) || !out) return nullptr;
    auto* engine = static_cast<IEngineNode*>(out);
    xmlNodePtr node = engine->engineNode();
    engine->Release();
    return node;
}

xmlDocPtr engineDocOf(IUnknown* object) {
    xmlNodePtr node = engineNodeOf(object);
    if (!node) return nullptr;
    return node->type == XML_DOCUMENT_NODE ? reinterpret_cast<xmlDocPtr>(node) : node->doc;
}

}  // namespace mx
