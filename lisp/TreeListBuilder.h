// Builds the element list (tag attributes content) of a tree from its event
// stream, in one pass and without recursion.
//
// Content rule. Plain form: an element with child elements has the list of
// their element lists (text beside them is dropped); one without has its
// text as one string (all of its text, CDATA included, comments and
// processing instructions left out), or nil. Mixed form: the text runs
// between children stay, as strings among the element lists, in order; a
// comment or processing instruction ends a run; an element whose only
// content is one run has that string, as in the plain form.
//
// Collector. It is paused while the lists are built (their conses come from
// it a block at a time), and each element list is linked into the result,
// held by a root, as soon as it is made, so that the stack of open
// elements, in C++ memory, only points into a reachable tree once the
// collector runs again. Repeated tags and attribute names are one shared
// string each, and so are short values and texts that repeat while they are
// still remembered; strings of Latin-1 text are base strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lisp/LispSAX.h"
#include "model/TrelTreeStream.h"

class TreeListBuilder final : public TrelTreeSink {
public:
    // stripBlankText drops text nodes of white space only outside
    // xml:space="preserve", as documents read from files drop them.
    TreeListBuilder(bool mixed, bool stripBlankText) : mixed_(mixed), strip_(stripBlankText) {}

    bool startElement(wchar_t const* name, std::size_t length, Attribute const* attributes,
                      std::size_t count) override;
    bool endElement() override;
    bool text(wchar_t const* chars, std::size_t length, bool cdata) override;
    bool separator() override;

    // The root's list; nil before a complete root.
    LAOBJ* result() const { return done_ ? result_.get() : Cnil; }
    // Continues a Lisp exit (out of memory) that stopped the stream.
    void resumeExit() { exit_.resume(); }

private:
    struct Frame {
        LAOBJ* contentCell;  // the cons whose car is the content
        LAOBJ* last;         // the content list's last cons; nil while empty
        std::size_t runs;    // text runs among the content (mixed form)
        bool hasChildren;
        bool preserve;       // xml:space="preserve" in scope
    };
    // A short text seen lately, found again by its hash: values and texts
    // repeat a lot in models (a sixth of them are distinct), but unbounded
    // sharing would keep a table of every unique one.
    static constexpr std::size_t kShortText = 24;
    static constexpr std::size_t kTextSlots = 4096;
    struct TextSlot {
        LAOBJ* string = nullptr;
        std::size_t length = 0;
        wchar_t text[kShortText];
    };
    // Every distinct name met, found again by its hash (open addressing).
    struct NameSlot {
        std::uint32_t hash = 0;
        LAOBJ* string = nullptr;
        std::wstring name;
    };

    void open(wchar_t const* name, std::size_t length, Attribute const* attributes, std::size_t count);
    LAOBJ* attributeList(Attribute const* attributes, std::size_t count, bool& preserve);
    void close();
    void endTextNode();
    void endRun();
    void append(Frame& frame, LAOBJ* entry);
    LAOBJ* sharedName(wchar_t const* name, std::size_t length);
    LAOBJ* sharedText(wchar_t const* text, std::size_t length);
    void growNames();

    // Every object made stays in the result: collecting on the way would
    // only mark the lists built so far, again and again. So conses come in
    // blocks, with the collector paused.
    LispConsSource conses_;
    bool const mixed_;
    bool const strip_;
    bool done_ = false;
    LispRoot result_;
    std::vector<Frame> open_;
    std::wstring text_;             // the current run
    std::size_t nodeStart_ = 0;     // where the current text node began in it
    bool nodeIsCdata_ = false;
    std::vector<NameSlot> names_;  // a power of two, at most half full
    std::size_t nameCount_ = 0;
    std::vector<TextSlot> texts_;  // kTextSlots once the first text comes
    LispExitLatch exit_;
};
