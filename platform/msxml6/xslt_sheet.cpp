#include "platform/msxml6/xslt_sheet.h"

#include <libxml/globals.h>
#include <libxml/xmlIO.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltutils.h>

#include "platform/msxml6/dom_util.h"
#include "platform/msxml6/engine.h"
#include "platform/msxml6/write_check.h"

namespace mx {

namespace {

bool isXsltElement(xmlNodePtr n, char const* name) {
    return n->type == XML_ELEMENT_NODE && n->ns && xmlStrEqual(n->ns->href, XSLT_NAMESPACE) &&
           xmlStrEqual(n->name, BAD_CAST name);
}

// xsl:import and xsl:include read other files while compiling; the engine
// reads no files on a style sheet's behalf, so such sheets are refused up
// front with a clear result rather than failing somewhere inside libxslt.
// libxslt compiles style sheets and applies templates (the built-in ones
// included) by recursing once per level of the tree; deeper inputs and
// sheets are refused, well before the stack could run out.
constexpr unsigned kMaxTransformDepth = 1000;

bool refersToOtherSheets(xmlNodePtr root) {
    if (!root) return false;
    for (xmlNodePtr n = root->children; n; n = n->next)
        if (isXsltElement(n, "import") || isXsltElement(n, "include")) return true;
    return false;
}

bool needsSpaceStripping(xsltStylesheetPtr sheet) {
    for (xsltStylesheetPtr s = sheet; s; s = xsltNextImport(s))
        if (s->stripSpaces) return true;
    return false;
}

// document(), exsl:document and friends: no file or network access at all.
xsltSecurityPrefsPtr lockedDownPrefs() {
    static xsltSecurityPrefsPtr const prefs = [] {
        xsltSecurityPrefsPtr p = xsltNewSecurityPrefs();
        for (auto option : {XSLT_SECPREF_READ_FILE, XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                            XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK})
            xsltSetSecurityPrefs(p, option, xsltSecurityForbid);
        return p;
    }();
    return prefs;
}

// The encoder for xsl:output's encoding; null for UTF-8 or an unknown name
// (the bytes are then UTF-8).
xmlCharEncodingHandlerPtr outputEncoder(xsltStylesheetPtr sheet) {
    xmlChar const* encoding = nullptr;
    XSLT_GET_IMPORT_PTR(encoding, sheet, encoding)  // declares a local 'st'
    if (!encoding) return nullptr;
    return xmlFindCharEncodingHandler(reinterpret_cast<char const*>(encoding));
}

// XML output that would not read back as the result tree is not written:
// characters XML cannot hold (a style sheet can make them from strings),
// or names and literals the output encoding lacks.
bool resultWritable(xmlDocPtr result, xsltStylesheetPtr sheet) {
    xmlChar const* method = nullptr;
    XSLT_GET_IMPORT_PTR(method, sheet, method)
    if ((method && !xmlStrEqual(method, BAD_CAST "xml")) || result->type == XML_HTML_DOCUMENT_NODE) return true;
    for (xmlNodePtr c = result->children; c; c = c->next)
        if (!treeWritable(c)) return false;
    xmlChar const* encoding = nullptr;
    XSLT_GET_IMPORT_PTR(encoding, sheet, encoding)
    return writableIn(reinterpret_cast<xmlNodePtr>(result), reinterpret_cast<char const*>(encoding));
}

// libxml2's serialiser reads these per-thread settings; another part of the
// process may have changed them, but xsl:output indent="yes" means libxslt's
// usual two-space shape with <e/> for empty elements.
class SerialiserDefaults {
public:
    SerialiserDefaults()
        : indentString_(xmlTreeIndentString), indent_(xmlIndentTreeOutput), noEmptyTags_(xmlSaveNoEmptyTags) {
        xmlTreeIndentString = "  ";
        xmlIndentTreeOutput = 1;
        xmlSaveNoEmptyTags = 0;
    }
    ~SerialiserDefaults() {
        xmlTreeIndentString = indentString_;
        xmlIndentTreeOutput = indent_;
        xmlSaveNoEmptyTags = noEmptyTags_;
    }
    SerialiserDefaults(SerialiserDefaults const&) = delete;
    SerialiserDefaults& operator=(SerialiserDefaults const&) = delete;

private:
    char const* indentString_;
    int indent_;
    int noEmptyTags_;
};

}  // namespace

CompiledSheet::CompiledSheet(xsltStylesheetPtr sheet) : sheet_(sheet), stripsSpace_(needsSpaceStripping(sheet)) {}

CompiledSheet::~CompiledSheet() { xsltFreeStylesheet(sheet_); }

namespace {

HRESULT refuse(HRESULT code, ParseFailure* why, std::string reason, long line = 0) {
    if (why) {
        why->code = code;
        why->reason = std::move(reason);
        why->line = line;
        why->column = 0;
    }
    return code;
}

}  // namespace

HRESULT CompiledSheet::compile(xmlNodePtr node, std::shared_ptr<CompiledSheet const>& out, ParseFailure* why) {
    DocPtr copy = copyAsDocument(node);
    if (!copy) return E_INVALIDARG;
    if (exceedsTreeDepth(reinterpret_cast<xmlNodePtr>(copy.get()), kMaxTransformDepth))
        return refuse(E_FAIL, why, "The style sheet is nested too deeply.");
    if (refersToOtherSheets(xmlDocGetRootElement(copy.get())))
        return refuse(E_ACCESSDENIED, why, "The style sheet imports or includes other files.");
    ErrorSink sink;
    xsltStylesheetPtr sheet = xsltParseStylesheetDoc(copy.get());
    bool rejected = !sheet;
    if (sheet) copy.release();  // the sheet frees it; a failed parse leaves it with `copy`
    // libxslt hands out a sheet even when it found errors in it; an unknown
    // xsl: instruction of a version 1.0 sheet even counts as a mere warning.
    // Such a sheet would transform wrongly (the instruction silently skipped).
    if (sheet && (sheet->errors > 0 || (sheet->warnings > 0 && !sheet->forwards_compatible))) {
        xsltFreeStylesheet(sheet);
        rejected = true;
    }
    if (rejected)
        return refuse(E_FAIL, why, sink.first().empty() ? "The style sheet does not compile." : sink.first(),
                      sink.firstLine());
    out.reset(new CompiledSheet(sheet));
    return S_OK;
}

DocPtr CompiledSheet::apply(xmlDocPtr input, std::string& errors) const {
    if (exceedsTreeDepth(reinterpret_cast<xmlNodePtr>(input), kMaxTransformDepth)) {
        errors = "the input is nested too deeply to be transformed";
        return nullptr;
    }
    ErrorSink sink;
    std::unique_ptr<xsltTransformContext, decltype(&xsltFreeTransformContext)> context(
        xsltNewTransformContext(sheet_, input), xsltFreeTransformContext);
    if (!context) return nullptr;
    xsltSetCtxtSecurityPrefs(lockedDownPrefs(), context.get());
    // Templates calling templates. libxslt counts two steps for a template
    // applied per level: a little above twice the input's bound still lets
    // every input it takes through.
    context->maxTemplateDepth = 2 * static_cast<int>(kMaxTransformDepth) + 50;
    xsltSetTransformErrorFunc(context.get(), &sink, ErrorSink::onGeneric);
    DocPtr result(xsltApplyStylesheetUser(sheet_, input, nullptr, nullptr, nullptr, context.get()));
    // xsl:message terminate="yes" stops with a result document; it is still a failure.
    if (context->state != XSLT_STATE_OK) result.reset();
    if (!result) errors = sink.text().empty() ? "the transformation failed" : sink.text();
    return result;
}

HRESULT CompiledSheet::write(xmlDocPtr result, IStream* stream) const {
    if (!resultWritable(result, sheet_)) return E_FAIL;
    ErrorSink sink;  // a failing stream is reported through the result, not stderr
    SerialiserDefaults defaults;
    xmlCharEncodingHandlerPtr encoder = outputEncoder(sheet_);
    xmlOutputBufferPtr out = xmlOutputBufferCreateIO(streamWrite, streamClose, stream, encoder);
    if (!out) {
        if (encoder) xmlCharEncCloseFunc(encoder);
        return E_OUTOFMEMORY;
    }
    int written = xsltSaveResultTo(out, result, sheet_);
    int closed = xmlOutputBufferClose(out);  // flushes; negative when a write failed
    return written < 0 || closed < 0 ? STG_E_WRITEFAULT : S_OK;
}

InputGuard::InputGuard(xmlDocPtr doc) : doc_(doc), dtd_(nullptr), dtdPrev_(nullptr), dtdNext_(nullptr) {
    auto* dtd = reinterpret_cast<xmlNodePtr>(doc->intSubset);
    for (xmlNodePtr n = doc->children; n && dtd; n = n->next) {
        if (n != dtd) continue;
        dtd_ = dtd;
        dtdPrev_ = dtd->prev;
        dtdNext_ = dtd->next;
    }
}

InputGuard::~InputGuard() {
    if (dtd_ && !dtd_->prev && !dtd_->next && doc_->children != dtd_) {
        dtd_->prev = dtdPrev_;
        dtd_->next = dtdNext_;
        if (dtdPrev_)
            dtdPrev_->next = dtd_;
        else
            doc_->children = dtd_;
        if (dtdNext_)
            dtdNext_->prev = dtd_;
        else
            doc_->last = dtd_;
    }
    // Stale indexes would make later XPath queries sort edited trees wrongly;
    // without them libxml2 compares node positions directly.
    forEachInSubtree(reinterpret_cast<xmlNodePtr>(doc_), [](xmlNodePtr n) {
        if (n->type == XML_ELEMENT_NODE) n->content = nullptr;
    });
}

}  // namespace mx
