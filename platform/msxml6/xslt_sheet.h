// A compiled XSLT style sheet, shared (reference counted) by a template and
// every processor created from it, and the transformation run against it.
// libxslt keeps some per-run state inside a compiled sheet, so runs on one
// sheet must not overlap in time: like a document, a template and its
// processors are used by one thread at a time.
#pragma once

#include <libxslt/xsltInternals.h>

#include <memory>
#include <string>

#include "platform/msxml6/dom_parse.h"
#include "platform/msxml6/xslt_common.h"

namespace mx {

class CompiledSheet {
public:
    // Compiles from a copy of the document holding `node` (the document
    // itself or an element to use as the sheet's root): libxslt consumes
    // and rewrites what it compiles. Fails with E_ACCESSDENIED for sheets
    // that import or include other files, E_FAIL for sheets libxslt rejects;
    // `why` then receives the reason (libxslt's first message and its line).
    static HRESULT compile(xmlNodePtr node, std::shared_ptr<CompiledSheet const>& out, ParseFailure* why = nullptr);

    ~CompiledSheet();
    CompiledSheet(CompiledSheet const&) = delete;
    CompiledSheet& operator=(CompiledSheet const&) = delete;

    xsltStylesheetPtr get() const { return sheet_; }
    // True when the sheet strips white space from its input (xsl:strip-space),
    // which deletes text nodes of the document it runs on.
    bool stripsSpace() const { return stripsSpace_; }

    // Runs the sheet on `input` with file and network access refused.
    // `input` keeps its nodes unless stripsSpace(); the caller restores the
    // rest (see InputGuard). Null on failure, with the reason in `errors`.
    DocPtr apply(xmlDocPtr input, std::string& errors) const;

    // Serialises a result as xsl:output says, into a stream in the declared encoding.
    HRESULT write(xmlDocPtr result, IStream* stream) const;

private:
    explicit CompiledSheet(xsltStylesheetPtr sheet);

    xsltStylesheetPtr sheet_;
    bool stripsSpace_;
};

// Makes a transformation leave its input document as it found it when the
// original tree is used: libxslt unlinks the DTD node from the document's
// children and writes document-order indexes into every element; both are
// undone when the guard goes.
class InputGuard {
public:
    explicit InputGuard(xmlDocPtr doc);
    ~InputGuard();
    InputGuard(InputGuard const&) = delete;
    InputGuard& operator=(InputGuard const&) = delete;

private:
    xmlDocPtr doc_;
    xmlNodePtr dtd_;
    xmlNodePtr dtdPrev_;
    xmlNodePtr dtdNext_;
};

}  // namespace mx
