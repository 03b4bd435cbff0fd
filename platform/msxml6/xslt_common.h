// Small owners and helpers shared by the XSLT and schema parts of the
// engine: BSTRs, libxml2 documents and an error sink that keeps library
// diagnostics off stderr.
#pragma once

#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <memory>
#include <string>

#include "platform/msxml6/com.h"

namespace mx {

struct BstrFree {
    void operator()(OLECHAR* s) const { SysFreeString(s); }
};
using BstrPtr = std::unique_ptr<OLECHAR, BstrFree>;

struct XmlDocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using DocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

// A standalone copy of `node`: the whole document for a document node, a new
// document with a deep copy as root for an element (in-scope namespace
// declarations come along). Null for other kinds of node. The copy keeps the
// base URL and carries none of the DOM's wrapper links.
DocPtr copyAsDocument(xmlNodePtr node);

// While alive, collects what libxml2 and libxslt report on this thread
// instead of letting it reach stderr. The previous handlers come back on
// destruction. APIs with their own hooks take onStructured/onGeneric and the sink.
class ErrorSink {
public:
    ErrorSink();
    ~ErrorSink();
    ErrorSink(ErrorSink const&) = delete;
    ErrorSink& operator=(ErrorSink const&) = delete;

    std::string const& text() const { return text_; }  // every message, newline separated
    std::string const& first() const { return first_; }
    int firstLine() const { return firstLine_; }

    // xmlStructuredErrorFunc and xmlGenericErrorFunc with an ErrorSink as context.
    static void onStructured(void* sink, xmlErrorPtr error);
    static void onGeneric(void* sink, char const* format, ...);

private:
    void add(std::string message, int line);

    std::string text_;
    std::string first_;
    int firstLine_ = 0;
    ErrorSink* outer_;
    xmlStructuredErrorFunc savedStructured_;
    void* savedStructuredContext_;
    xmlGenericErrorFunc savedGeneric_;
    void* savedGenericContext_;
};

}  // namespace mx
