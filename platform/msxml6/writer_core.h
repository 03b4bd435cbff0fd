// The XML writer's output side: takes UTF-8 events, escapes, indents and
// encodes them. Used by the writer's SAX handlers and, without the detour
// through wide strings, by the writer's direct tree path.
//
// Indentation never changes content. White space is added only where the
// loader drops it again: between markup of an element none of whose children
// is text. Such an element is known when its first child event arrives (the
// start tag's ">" is held back until then) or earlier from a hint given with
// the start tag; if text turns up after element children, nothing more is
// added inside that element. An element with text children, or under
// xml:space="preserve", is written exactly as it comes, with all its content.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/msxml6/com.h"
#include "platform/msxml6/sax_text.h"
#include "platform/msxml6/sax_walk.h"

namespace mx {

enum class OutputEncoding { Utf8, Utf16 };

struct WriterOptions {
    OutputEncoding encoding = OutputEncoding::Utf8;
    bool indent = false;
    bool standalone = false;
};

// An attribute to write: prefix may be empty, then local is the whole name.
struct AttrOut {
    std::string_view prefix, local, value;
};

class MX_INTERNAL XmlOutput {
public:
    // Starts a new output: to `stream` when given (bytes in the chosen
    // encoding), else into a string read back with text().
    void reset(ISequentialStream* stream);
    // Options may change until the first event is written.
    void setOptions(WriterOptions const& options) { options_ = options; }

    HRESULT startDocument();
    HRESULT endDocument();
    HRESULT startElement(std::string_view prefix, std::string_view local, std::span<NsDecl const> decls,
                         std::span<AttrOut const> attrs, bool mixed);
    HRESULT endElement(std::string_view prefix, std::string_view local);
    HRESULT characters(std::string_view text);
    HRESULT startCDATA();
    HRESULT endCDATA();
    HRESULT comment(std::string_view text);
    HRESULT processingInstruction(std::string_view target, std::string_view data);
    HRESULT startDTD(std::string_view name, std::string_view publicId, std::string_view systemId);
    HRESULT endDTD();

    // Writes what is buffered to the stream (nothing to do for a string).
    HRESULT flush();
    // String output: the UTF-8 text so far (a start tag still open lacks its ">").
    std::string const& text() const { return out_; }
    // The stream given to reset (null for a string); the output keeps a
    // reference to it.
    ISequentialStream* stream() const { return stream_.get(); }
    HRESULT error() const { return error_; }

private:
    enum : unsigned char { kInline = 1, kHasChild = 2 };

    void ensureStarted();
    void closeStartTag();
    void beforeMarkup();
    void newline(size_t depth);
    void name(std::string_view prefix, std::string_view local);
    void attribute(std::string_view prefix, std::string_view local, std::string_view value);
    void declare(NsDecl const& d);
    static bool declaredAlready(AttrOut const& a, std::span<NsDecl const> decls);
    static bool preserves(std::span<AttrOut const> attrs);
    void escaped(std::string_view s, bool inAttribute);
    void cdataText(std::string_view s);
    void sanitized(std::string_view s, std::string_view forbidden, std::string_view replacement);
    HRESULT done();
    HRESULT writeBytes(char const* data, size_t n);

    WriterOptions options_;
    ComPtr<ISequentialStream> stream_;
    std::string out_;                  // UTF-8, not yet flushed
    std::string encoded_;              // scratch for UTF-16
    std::vector<unsigned char> open_;  // per open element: kInline | kHasChild
    HRESULT error_ = S_OK;
    bool started_ = false;
    bool tagOpen_ = false;
    bool inCDATA_ = false;
    bool inDTD_ = false;
    bool topLevelWritten_ = false;
    bool bomDone_ = false;
    int cdataBrackets_ = 0;  // ']' just written inside CDATA (0..2)
};

}  // namespace mx
