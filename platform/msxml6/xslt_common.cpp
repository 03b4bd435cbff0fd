#include "platform/msxml6/xslt_common.h"

#include "platform/msxml6/engine.h"

#include <libxml/globals.h>
#include <libxslt/xsltutils.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace mx {

namespace {

constexpr size_t kMaxText = 4096;  // a runaway style sheet must not fill memory with messages

thread_local ErrorSink* tl_current = nullptr;

// libxslt's generic error hook is process-wide (unlike libxml2's): it is set
// once and forwards to the sink of the calling thread; outside a sink the
// message has no one to go to and is dropped (never printed).
void routeXsltGeneric(void*, char const* format, ...) {
    ErrorSink* sink = tl_current;
    if (!sink) return;
    va_list args;
    va_start(args, format);
    char buffer[1024];
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    ErrorSink::onGeneric(sink, "%s", buffer);
}

void installXsltRouter() {
    static std::once_flag once;
    std::call_once(once, [] { xsltSetGenericErrorFunc(nullptr, routeXsltGeneric); });
}

}  // namespace

DocPtr copyAsDocument(xmlNodePtr node) {
    if (!node) return nullptr;
    if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE)
        return DocPtr(copyDocument(reinterpret_cast<xmlDocPtr>(node)));
    if (node->type != XML_ELEMENT_NODE) return nullptr;
    DocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    if (!doc) return nullptr;
    xmlNodePtr root = copyTree(node, doc.get());
    if (!root) return nullptr;
    xmlDocSetRootElement(doc.get(), root);
    if (node->doc && node->doc->URL) doc->URL = xmlStrdup(node->doc->URL);
    return doc;
}

ErrorSink::ErrorSink()
    : outer_(tl_current),
      savedStructured_(xmlStructuredError),
      savedStructuredContext_(xmlStructuredErrorContext),
      savedGeneric_(xmlGenericError),
      savedGenericContext_(xmlGenericErrorContext) {
    installXsltRouter();
    tl_current = this;
    xmlSetStructuredErrorFunc(this, onStructured);
    xmlSetGenericErrorFunc(this, onGeneric);
}

ErrorSink::~ErrorSink() {
    xmlSetGenericErrorFunc(savedGenericContext_, savedGeneric_);
    xmlSetStructuredErrorFunc(savedStructuredContext_, savedStructured_);
    tl_current = outer_;
}

void ErrorSink::onStructured(void* sink, xmlErrorPtr error) {
    if (!sink || !error) return;
    static_cast<ErrorSink*>(sink)->add(error->message ? error->message : "error", error->line);
}

void ErrorSink::onGeneric(void* sink, char const* format, ...) {
    if (!sink) return;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    static_cast<ErrorSink*>(sink)->add(buffer, 0);
}

// libxslt delivers one report in pieces (a context line, then the message,
// sometimes without a final newline); pieces are joined as they come.
void ErrorSink::add(std::string message, int line) {
    if (text_.size() < kMaxText) text_ += message.substr(0, kMaxText - text_.size());
    std::string clean(withoutNewline(message.c_str()));
    if (first_.empty() && !clean.empty() && clean.rfind("runtime error", 0) != 0 &&
        clean.rfind("compilation error", 0) != 0) {
        first_ = std::move(clean);
        firstLine_ = line;
    }
}

}  // namespace mx
