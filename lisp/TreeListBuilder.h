// Build the element list (tag attributes content) of a tree from its event
// stream, in one pass and without recursion: TreeListBuilder from a tree in
// memory (its UTF-8 strings), FileListBuilder from a file's parser.
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
#include <vector>

#include "lisp/LispSAX.h"
#include "model/TrelTreeStream.h"

// What both builders share: the open elements, the text runs and the
// result. Char is the strings' code unit: wchar_t, or char for UTF-8.
template <class Char>
class TreeListCore {
public:
    TreeListCore(bool mixed, bool stripBlankText) : mixed_(mixed), strip_(stripBlankText) {}

    // Each event runs inside it: an allocation that fails leaves as a Lisp
    // exit, which must not cross the engine.
    template <class Call>
    bool run(Call&& call) {
        return exit_.run(static_cast<Call&&>(call));
    }
    void resumeExit() { exit_.resume(); }
    LAOBJ* result() const { return done_ ? result_.get() : Cnil; }

    // Before a new element's strings are made: ends the parent's text;
    // false when the stream has had its root already.
    bool beginElement();
    // Links the element (its name and attribute list made) into the result.
    void openElement(LAOBJ* tag, LAOBJ* attributes, bool preserve);
    // xml:space="preserve" in the scope of the next child.
    bool preserving() const { return !open_.empty() && open_.back().preserve; }
    bool endElement();
    void text(Char const* chars, std::size_t length, bool cdata);
    void separator();

    LAOBJ* cons(LAOBJ* a, LAOBJ* d) { return conses_.cons(a, d); }
    LAOBJ* sharedText(Char const* text, std::size_t length);

private:
    struct Frame {
        LAOBJ* contentCell;  // the cons whose car is the content
        LAOBJ* last;         // the content list's last cons; nil while empty
        std::size_t runs;    // text runs among the content (mixed form)
        bool hasChildren;
        bool preserve;  // xml:space="preserve" in scope
    };
    // A short text seen lately, found again by its hash: values and texts
    // repeat a lot in models (a sixth of them are distinct), but unbounded
    // sharing would keep a table of every unique one. Repeats come close
    // together: a thousand slots share as much as four times that on a
    // large model, and stay in the cache.
    static constexpr std::size_t kShortText = 24;
    static constexpr std::size_t kTextSlots = 1024;
    struct TextSlot {
        LAOBJ* string = nullptr;
        std::size_t length = 0;
        Char text[kShortText];
    };

    void endTextNode();
    void endRun();
    void append(Frame& frame, LAOBJ* entry);

    // Every object made stays in the result: collecting on the way would
    // only mark the lists built so far, again and again. So conses come in
    // blocks, with the collector paused.
    LispConsSource conses_;
    bool const mixed_;
    bool const strip_;
    bool done_ = false;
    LispRoot result_;
    std::vector<Frame> open_;
    std::basic_string<Char> text_;  // the current run
    std::size_t nodeStart_ = 0;     // where the current text node began in it
    bool nodeIsCdata_ = false;
    std::vector<TextSlot> texts_;  // kTextSlots once the first text comes
    LispExitLatch exit_;
};

// Every distinct name met, by its text (open addressing).
template <class Char>
class ListNameTable {
public:
    // The shared string of the name, made on first sight.
    LAOBJ* find(Char const* name, std::size_t length);

private:
    struct Slot {
        std::uint32_t hash = 0;
        LAOBJ* string = nullptr;
        std::basic_string<Char> name;
    };
    void grow();

    std::vector<Slot> slots_;  // a power of two, at most half full
    std::size_t count_ = 0;
};

// From a tree in memory. A name is found by its two addresses, which the
// stream keeps for it, before its text is read at all.
class TreeListBuilder final : public TrelTreeUtf8Sink {
public:
    explicit TreeListBuilder(bool mixed) : core_(mixed, false) {}

    bool startElement(Name const& name, Attribute const* attributes, std::size_t count) override;
    bool endElement() override;
    bool text(char const* utf8, std::size_t length, bool cdata) override;
    bool separator() override;

    // The root's list; nil before a complete root.
    LAOBJ* result() const { return core_.result(); }
    // Continues a Lisp exit (out of memory) that stopped the stream.
    void resumeExit() { core_.resumeExit(); }

private:
    struct AddressSlot {
        char const* prefix = nullptr;
        char const* local = nullptr;
        LAOBJ* string = nullptr;
    };

    LAOBJ* attributeList(Attribute const* attributes, std::size_t count, bool& preserve);
    LAOBJ* sharedName(Name const& name);
    void growAddresses();

    TreeListCore<char> core_;
    std::vector<AddressSlot> addresses_;  // a power of two, at most half full
    std::size_t addressCount_ = 0;
    ListNameTable<char> names_;
    std::string qualified_;
};

// From a file's parser: names by their text. A text node of white space
// only goes outside xml:space="preserve", as reading a document drops it.
class FileListBuilder final : public TrelTreeSink {
public:
    explicit FileListBuilder(bool mixed) : core_(mixed, true) {}

    bool startElement(wchar_t const* name, std::size_t length, Attribute const* attributes, std::size_t count) override;
    bool endElement() override;
    bool text(wchar_t const* chars, std::size_t length, bool cdata) override;
    bool separator() override;

    LAOBJ* result() const { return core_.result(); }
    void resumeExit() { core_.resumeExit(); }

private:
    LAOBJ* attributeList(Attribute const* attributes, std::size_t count, bool& preserve);

    TreeListCore<wchar_t> core_;
    ListNameTable<wchar_t> names_;
};
