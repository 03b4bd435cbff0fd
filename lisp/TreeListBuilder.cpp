#include "lisp/TreeListBuilder.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool equals(wchar_t const* text, std::size_t length, std::wstring_view expected) {
    return std::wstring_view(text, length) == expected;
}

}  // namespace

// Every event runs inside the latch: an allocation that fails leaves as a
// Lisp exit, which must not cross the engine's parser.
bool TreeListBuilder::startElement(wchar_t const* name, std::size_t length, Attribute const* attributes,
                                   std::size_t count) {
    return exit_.run([&] {
        if (done_ || (open_.empty() && result_.get() != Cnil)) return false;
        open(name, length, attributes, count);
        return true;
    });
}

bool TreeListBuilder::endElement() {
    return exit_.run([&] {
        if (open_.empty()) return false;
        close();
        return true;
    });
}

bool TreeListBuilder::text(wchar_t const* chars, std::size_t length, bool cdata) {
    return exit_.run([&] {
        if (open_.empty() || (!mixed_ && open_.back().hasChildren)) return true;
        if (cdata != nodeIsCdata_) endTextNode();
        nodeIsCdata_ = cdata;
        text_.append(chars, length);
        return true;
    });
}

bool TreeListBuilder::separator() {
    return exit_.run([&] {
        if (open_.empty()) return true;
        endTextNode();
        if (mixed_) endRun();
        return true;
    });
}

// The parent's text so far: a run of its own (mixed), or dropped now that it
// has a child. The new list is linked before anything else is made.
void TreeListBuilder::open(wchar_t const* name, std::size_t length, Attribute const* attributes,
                           std::size_t count) {
    bool preserve = !open_.empty() && open_.back().preserve;
    if (!open_.empty()) {
        endTextNode();
        if (mixed_) endRun();
        text_.clear();
        nodeStart_ = 0;
        open_.back().hasChildren = true;
    }
    LAOBJ* contentCell = make_cons(Cnil, Cnil);
    LAOBJ* element = make_cons(sharedName(name, length),
                               make_cons(attributeList(attributes, count, preserve), contentCell));
    if (open_.empty())
        result_.set(element);
    else
        append(open_.back(), element);
    open_.push_back(Frame{contentCell, Cnil, 0, false, preserve});
}

// ((name . value) ...) in order; also reads xml:space for the new scope.
LAOBJ* TreeListBuilder::attributeList(Attribute const* attributes, std::size_t count, bool& preserve) {
    LAOBJ* head = Cnil;
    LAOBJ* last = Cnil;
    for (std::size_t i = 0; i < count; ++i) {
        Attribute const& a = attributes[i];
        if (equals(a.name, a.nameLength, L"xml:space")) preserve = equals(a.value, a.valueLength, L"preserve");
        LAOBJ* cell = make_cons(make_cons(sharedName(a.name, a.nameLength), sharedText(a.value, a.valueLength)),
                                Cnil);
        if (head == Cnil)
            head = cell;
        else
            nconc(last, cell);
        last = cell;
    }
    return head;
}

void TreeListBuilder::close() {
    endTextNode();
    Frame& frame = open_.back();
    if (mixed_) {
        endRun();
        // One run and nothing else: the text itself, as in the plain form.
        if (!frame.hasChildren && frame.runs == 1) rplaca(frame.contentCell, car(car(frame.contentCell)));
    } else if (!frame.hasChildren && !text_.empty()) {
        rplaca(frame.contentCell, sharedText(text_.data(), text_.size()));
    }
    text_.clear();
    nodeStart_ = 0;
    open_.pop_back();
    if (open_.empty()) done_ = true;
}

// A text node of white space only goes, unless kept by xml:space or CDATA.
void TreeListBuilder::endTextNode() {
    if (strip_ && !nodeIsCdata_ && !open_.empty() && !open_.back().preserve &&
        std::all_of(text_.begin() + static_cast<std::ptrdiff_t>(nodeStart_), text_.end(), isBlank))
        text_.resize(nodeStart_);
    nodeStart_ = text_.size();
    nodeIsCdata_ = false;
}

void TreeListBuilder::endRun() {
    if (text_.empty()) return;
    Frame& frame = open_.back();
    append(frame, sharedText(text_.data(), text_.size()));
    ++frame.runs;
    text_.clear();
    nodeStart_ = 0;
}

// The last cons is known: nconc from it costs one step.
void TreeListBuilder::append(Frame& frame, LAOBJ* entry) {
    LAOBJ* cell = make_cons(entry, Cnil);
    if (frame.last == Cnil)
        rplaca(frame.contentCell, cell);
    else
        nconc(frame.last, cell);
    frame.last = cell;
}

LAOBJ* TreeListBuilder::sharedName(wchar_t const* name, std::size_t length) {
    std::wstring_view key(name, length);
    auto found = names_.find(key);
    if (found != names_.end()) return found->second;
    LAOBJ* string = makeCompactLispString(name, length);
    names_.emplace(std::wstring(key), string);
    return string;
}

LAOBJ* TreeListBuilder::sharedText(wchar_t const* text, std::size_t length) {
    if (length > kShortText) return makeCompactLispString(text, length);
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (std::size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<std::uint32_t>(text[i])) * 16777619u;
    if (texts_.empty()) texts_.resize(kTextSlots);
    TextSlot& slot = texts_[hash % kTextSlots];
    if (slot.string && slot.length == length && std::wmemcmp(slot.text, text, length) == 0) return slot.string;
    slot.string = makeCompactLispString(text, length);
    slot.length = length;
    std::wmemcpy(slot.text, text, length);
    return slot.string;
}
