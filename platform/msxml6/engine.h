// Internal to libmsxml6: what the DOM, SAX, writer, XSLT and schema parts of
// the engine share. Not installed, not part of the COM surface.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>

#include <new>
#include <string>
#include <string_view>

#include "platform/msxml6/com.h"
#include "platform/msxml6/msxml6.h"

namespace mx {

// Process-wide libxml2/libxslt set-up (parser init, EXSLT, the node-set
// extension, the guarded external-entity loader) and the per-thread hooks.
// Every entry point of the library calls it; it is cheap after the first time.
void ensureInit();

// ---- parser limits ----------------------------------------------------------------
// Parses run with XML_PARSE_HUGE, so that every size the module writes reads
// back. That option also switches off libxml2's entity-amplification guards;
// this entityDecl handler clears it as soon as a document declares an entity,
// which puts the guards (and the ordinary size limits) back for exactly the
// documents that could be bombs.
void entityDeclWithLimits(void* ctx, xmlChar const* name, int type, xmlChar const* publicId, xmlChar const* systemId,
                          xmlChar* content);
// libxml2 takes a NUL byte after the root element, or a failed conversion
// of the input's encoding, for the end of the input and reports success.
// For a parse that reached its end: why it did not read all of its input
// (code and message), or code 0 when it did.
xmlError unreadInput(xmlParserCtxtPtr ctxt);
// libxml2 raises a namespace name that is no URI (spaces, non-ASCII
// characters) as an error. Any text names a namespace here, as the writer
// allows: the readers pass these on as warnings.
bool isNamespaceNameWarning(xmlError const* error);
// Encoders report a failed conversion ("input conversion failed") without a
// parser context, so libxml2 hands it to the thread's handler, not the
// parse's; the parser then fails with a message about the consequence
// ("Premature end of data"). While this scope lives, the thread's handler
// keeps the first such message, and the parse's handlers report it (with
// the parser's position) through asReported. No parser call is made from
// inside the encoder: stopping the parser there is not safe.
class EncodingErrorsToParser {
public:
    EncodingErrorsToParser();
    ~EncodingErrorsToParser();
    EncodingErrorsToParser(EncodingErrorsToParser const&) = delete;
    EncodingErrorsToParser& operator=(EncodingErrorsToParser const&) = delete;

    // The parser's error, with the kept message and code in place of its
    // own when there is one.
    static xmlError asReported(xmlError const& parserError);

private:
    static void keep(void* scope, xmlErrorPtr error);

    xmlStructuredErrorFunc previous_;
    void* previousContext_;
    EncodingErrorsToParser* outer_;
    bool holding_ = false;
    int code_ = 0;
    std::string message_;
};
// The deepest element nesting the engine reads (the root is level 1), and so
// the deepest it writes: a tree it could not read back is refused on output.
// Every walk of a tree is iterative, so the bound is not about the stack; it
// keeps a hostile file from making every later walk of its tree expensive,
// and lies well above the 200 000 levels the module promises.
constexpr unsigned kMaxTreeDepth = 250000;

// Deep copies that do not recurse with the depth of the tree (tree_copy.cpp).
// The copy of a node is detached in `doc` and declares what namespaces it
// uses; null on failure.
xmlNodePtr copyTree(xmlNodePtr node, xmlDocPtr doc);
xmlDocPtr copyDocument(xmlDocPtr doc);
// Links an unlinked `child` as the last child of `parent`.
void appendChildNode(xmlNodePtr parent, xmlNodePtr child);

// ---- text -----------------------------------------------------------------------
// UTF-8 <-> wchar_t (UTF-32). Invalid UTF-8 becomes U+FFFD; unpaired or
// out-of-range code points are written as U+FFFD.
void appendUtf8(std::string& out, wchar_t const* s, size_t n);
std::string toUtf8(wchar_t const* s, size_t n);
std::string toUtf8(wchar_t const* s);  // null gives ""
void appendWide(std::wstring& out, char const* s, size_t n);
// Decodes n bytes into `out`, which has room for n units (UTF-8 never needs
// more); returns the units written. No terminator is added.
size_t decodeUtf8(wchar_t* out, char const* s, size_t n);
// Document text for the parser: like toUtf8, but U+0000, unpaired
// surrogates and out-of-range values stay visible to the parser, which
// refuses them with a position, instead of vanishing or turning into U+FFFD.
std::string parserInputUtf8(wchar_t const* s, size_t n);
std::wstring toWide(char const* s, size_t n);
std::wstring toWide(char const* s);  // null gives L""
BSTR bstrFromUtf8(char const* s, size_t n);
BSTR bstrFromUtf8(char const* s);  // null gives null

// XML names as the parser accepts them (all of Unicode's name characters).
bool isValidNCName(char const* utf8);
bool isValidQName(char const* utf8);  // NCName or prefix:NCName
// False when the text holds a character XML 1.0 cannot hold in any form, not
// even as a reference: C0 controls other than tab, LF and CR, U+FFFE, U+FFFF.
bool isXmlText(std::string_view utf8);
// Whether a declaration of prefix (null: the default namespace) for the
// namespace name uri (not empty) reads back: any XML text except the names of
// xml and xmlns bound to other prefixes.
bool isDeclarableNamespace(char const* prefix, char const* uri);

// A libxml2 string as a view; null gives the empty view.
inline std::string_view sv(xmlChar const* s) {
    return s ? std::string_view(reinterpret_cast<char const*>(s)) : std::string_view();
}

// A library message without the line end (and blanks) it comes with.
inline std::string_view withoutNewline(char const* message) {
    std::string_view m = message ? message : "";
    while (!m.empty() && (m.back() == '\n' || m.back() == '\r' || m.back() == ' ')) m.remove_suffix(1);
    return m;
}

// ---- external access ------------------------------------------------------------
// The external-entity loader refuses everything unless the current thread
// is inside an ExternalAccess scope that allows it, and even then reads only
// local files (no network, no decompression).
class ExternalAccess {
public:
    explicit ExternalAccess(bool allowLocalFiles);
    ~ExternalAccess();
    ExternalAccess(ExternalAccess const&) = delete;
    ExternalAccess& operator=(ExternalAccess const&) = delete;
    static bool allowed();  // for the loader

private:
    bool previous_;
};

// ---- streams --------------------------------------------------------------------
// libxml2 I/O callbacks over an IStream (the context). The read callback
// fills the requested length unless the stream ends.
int streamRead(void* stream, char* buffer, int length);
int streamWrite(void* stream, char const* buffer, int length);
int streamClose(void* stream);  // does nothing: the caller owns the stream

// Opens a file path or file: URL as given by a caller (no %-unescaping of
// plain paths, no other schemes): STGM_READ, or STGM_CREATE | STGM_WRITE for
// a file created, or replaced on Commit. Returns null and sets *hr on failure.
IStream* openFile(wchar_t const* pathOrUrl, DWORD mode, HRESULT* hr);

// ---- bridges between the parts --------------------------------------------------
// Every DOM object of the engine answers this private interface.
struct IEngineNode : IUnknown {
    virtual xmlNodePtr engineNode() = 0;  // a document answers (xmlNodePtr)doc
protected:
    ~IEngineNode() = default;
};
inline constexpr IID IID_IEngineNode = {0x51c1a7e0, 0x3b1d, 0x4c52, {0x9a, 0x10, 0x7e, 0x2f, 0x61, 0x0d, 0x44, 0x01}};

xmlNodePtr engineNodeOf(IUnknown* object);  // null when not one of ours
// The interface pointer carried by a VT_DISPATCH or VT_UNKNOWN variant.
inline IUnknown* objectOf(VARIANT const& v) {
    if (v.vt == VT_DISPATCH) return v.pdispVal;
    return v.vt == VT_UNKNOWN ? v.punkVal : nullptr;
}
// Code units held by this thread's text buffer of IXMLDOMNodeReader.
size_t readerTextUnits();
xmlDocPtr engineDocOf(IUnknown* object);  // the document of that node

// DOM document: replace its whole content by `doc` (ownership passes).
HRESULT replaceDocument(IUnknown* domDocument, xmlDocPtr doc);
// DOM document: the schema collection attached by putref_schemas, if any.
// Schema collection: its compiled schema (null when empty or not ours).
xmlSchemaPtr compiledSchemaOf(IUnknown* schemaCollection);
// Validates `doc` against the collection (or the collection attached to a
// DOM document), choosing the schema of the root element's namespace.
// S_OK valid; S_FALSE invalid, with the validator's first message in
// `reason` and its line (0 when unknown) in `line`; a failure when
// validation could not run (not a collection, empty collection).
HRESULT validateWithCollection(IUnknown* collection, xmlDocPtr doc, std::wstring& reason, long& line);

// A parse-error object (IXMLDOMParseError) carrying these facts.
IXMLDOMParseError* newParseError(long code, std::wstring const& reason, long line, long column);

// Creators behind the class factories.
template <class T>
HRESULT createAs(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ensureInit();
    return handOutNew(new (std::nothrow) T, riid, out);
}
HRESULT createDOMDocument(REFIID riid, void** out);
HRESULT createSAXXMLReader(REFIID riid, void** out);
HRESULT createMXWriter(REFIID riid, void** out);
HRESULT createXSLTemplate(REFIID riid, void** out);
HRESULT createSchemaCache(REFIID riid, void** out);
HRESULT createTreeEventReader(REFIID riid, void** out);

}  // namespace mx
