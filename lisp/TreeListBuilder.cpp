#include "lisp/TreeListBuilder.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::uint32_t hashOf(wchar_t const* text, std::size_t length) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (std::size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<std::uint32_t>(text[i])) * 16777619u;
    return hash;
}

template <std::size_t N>
bool equals(wchar_t const* text, std::size_t length, wchar_t const (&expected)[N]) {
    return length == N - 1 && std::wmemcmp(text, expected, N - 1) == 0;
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
    LAOBJ* contentCell = conses_.cons(Cnil, Cnil);
    LAOBJ* element = conses_.cons(sharedName(name, length),
                               conses_.cons(attributeList(attributes, count, preserve), contentCell));
    if (open_.empty())
        result_.set(element);
    else
        append(open_.back(), element);
    open_.push_back(Frame{contentCell, Cnil, 0, false, preserve});
}

// ((name . value) ...) in order, consed from the last; also reads
// xml:space for the new scope.
LAOBJ* TreeListBuilder::attributeList(Attribute const* attributes, std::size_t count, bool& preserve) {
    for (std::size_t i = 0; i < count; ++i)
        if (equals(attributes[i].name, attributes[i].nameLength, L"xml:space"))
            preserve = equals(attributes[i].value, attributes[i].valueLength, L"preserve");
    LAOBJ* list = Cnil;
    for (std::size_t i = count; i-- > 0;) {
        Attribute const& a = attributes[i];
        list = conses_.cons(conses_.cons(sharedName(a.name, a.nameLength), sharedText(a.value, a.valueLength)), list);
    }
    return list;
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
    LAOBJ* cell = conses_.cons(entry, Cnil);
    if (frame.last == Cnil)
        rplaca(frame.contentCell, cell);
    else
        nconc(frame.last, cell);
    frame.last = cell;
}

LAOBJ* TreeListBuilder::sharedName(wchar_t const* name, std::size_t length) {
    std::uint32_t const hash = hashOf(name, length);
    std::wstring_view const key(name, length);
    if (!names_.empty()) {
        std::size_t const mask = names_.size() - 1;
        for (std::size_t i = hash & mask; names_[i].string; i = (i + 1) & mask)
            if (names_[i].hash == hash && names_[i].name == key) return names_[i].string;
    }
    if ((nameCount_ + 1) * 2 > names_.size()) growNames();
    LAOBJ* string = makeCompactLispString(name, length);
    std::size_t const mask = names_.size() - 1;
    std::size_t i = hash & mask;
    while (names_[i].string) i = (i + 1) & mask;
    names_[i] = NameSlot{hash, string, std::wstring(key)};
    ++nameCount_;
    return string;
}

void TreeListBuilder::growNames() {
    std::vector<NameSlot> old(std::max<std::size_t>(64, names_.size() * 2));
    old.swap(names_);
    std::size_t const mask = names_.size() - 1;
    for (NameSlot& slot : old) {
        if (!slot.string) continue;
        std::size_t i = slot.hash & mask;
        while (names_[i].string) i = (i + 1) & mask;
        names_[i] = std::move(slot);
    }
}

LAOBJ* TreeListBuilder::sharedText(wchar_t const* text, std::size_t length) {
    if (length > kShortText) return makeCompactLispString(text, length);
    std::uint32_t const hash = hashOf(text, length);
    if (texts_.empty()) texts_.resize(kTextSlots);
    TextSlot& slot = texts_[hash % kTextSlots];
    if (slot.string && slot.length == length && std::wmemcmp(slot.text, text, length) == 0) return slot.string;
    slot.string = makeCompactLispString(text, length);
    slot.length = length;
    std::wmemcpy(slot.text, text, length);
    return slot.string;
}
