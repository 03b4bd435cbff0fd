#include "lisp/TreeListBuilder.h"

#include <algorithm>

namespace {

template <class Char>
bool isBlank(Char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

template <class Char>
std::uint32_t hashOf(Char const* text, std::size_t length) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (std::size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<std::uint32_t>(text[i])) * 16777619u;
    return hash;
}

template <class Char, std::size_t N>
bool equals(Char const* text, std::size_t length, char const (&expected)[N]) {
    return length == N - 1 && std::equal(text, text + length, expected);
}

LAOBJ* makeString(wchar_t const* text, std::size_t length) { return makeCompactLispString(text, length); }
LAOBJ* makeString(char const* text, std::size_t length) { return makeCompactLispString(text, length); }

std::size_t addressSlot(char const* prefix, char const* local, std::size_t mask) {
    auto const h =
        (reinterpret_cast<std::uintptr_t>(prefix) * 0x9E3779B97F4A7C15ull) ^ reinterpret_cast<std::uintptr_t>(local);
    return static_cast<std::size_t>((h * 0xBF58476D1CE4E5B9ull) >> 40) & mask;
}

}  // namespace

// ---------------------------------------------------------------- the core

template <class Char>
bool TreeListCore<Char>::beginElement() {
    if (done_ || (open_.empty() && result_.get() != Cnil)) return false;
    if (!open_.empty()) {
        endTextNode();
        if (mixed_) endRun();
        text_.clear();
        nodeStart_ = 0;
        open_.back().hasChildren = true;
    }
    return true;
}

// The new list is linked before anything else is made.
template <class Char>
void TreeListCore<Char>::openElement(LAOBJ* tag, LAOBJ* attributes, bool preserve) {
    LAOBJ* contentCell = conses_.cons(Cnil, Cnil);
    LAOBJ* element = conses_.cons(tag, conses_.cons(attributes, contentCell));
    if (open_.empty())
        result_.set(element);
    else
        append(open_.back(), element);
    open_.push_back(Frame{contentCell, Cnil, 0, false, preserve});
}

template <class Char>
bool TreeListCore<Char>::endElement() {
    if (open_.empty()) return false;
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
    return true;
}

template <class Char>
void TreeListCore<Char>::text(Char const* chars, std::size_t length, bool cdata) {
    if (open_.empty() || (!mixed_ && open_.back().hasChildren)) return;
    if (cdata != nodeIsCdata_) endTextNode();
    nodeIsCdata_ = cdata;
    text_.append(chars, length);
}

template <class Char>
void TreeListCore<Char>::separator() {
    if (open_.empty()) return;
    endTextNode();
    if (mixed_) endRun();
}

// A text node of white space only goes, unless kept by xml:space or CDATA.
template <class Char>
void TreeListCore<Char>::endTextNode() {
    if (strip_ && !nodeIsCdata_ && !open_.empty() && !open_.back().preserve &&
        std::all_of(text_.begin() + static_cast<std::ptrdiff_t>(nodeStart_), text_.end(), isBlank<Char>))
        text_.resize(nodeStart_);
    nodeStart_ = text_.size();
    nodeIsCdata_ = false;
}

template <class Char>
void TreeListCore<Char>::endRun() {
    if (text_.empty()) return;
    Frame& frame = open_.back();
    append(frame, sharedText(text_.data(), text_.size()));
    ++frame.runs;
    text_.clear();
    nodeStart_ = 0;
}

// The last cons is known: nconc from it costs one step.
template <class Char>
void TreeListCore<Char>::append(Frame& frame, LAOBJ* entry) {
    LAOBJ* cell = conses_.cons(entry, Cnil);
    if (frame.last == Cnil)
        rplaca(frame.contentCell, cell);
    else
        nconc(frame.last, cell);
    frame.last = cell;
}

template <class Char>
LAOBJ* TreeListCore<Char>::sharedText(Char const* text, std::size_t length) {
    if (length > kShortText) return makeString(text, length);
    std::uint32_t const hash = hashOf(text, length);
    if (texts_.empty()) texts_.resize(kTextSlots);
    TextSlot& slot = texts_[hash % kTextSlots];
    if (slot.string && slot.length == length && std::equal(text, text + length, slot.text)) return slot.string;
    slot.string = makeString(text, length);
    slot.length = length;
    std::copy(text, text + length, slot.text);
    return slot.string;
}

template class TreeListCore<char>;
template class TreeListCore<wchar_t>;

// ---------------------------------------------------------------- names

template <class Char>
LAOBJ* ListNameTable<Char>::find(Char const* name, std::size_t length) {
    std::uint32_t const hash = hashOf(name, length);
    if (!slots_.empty()) {
        std::size_t const mask = slots_.size() - 1;
        for (std::size_t i = hash & mask; slots_[i].string; i = (i + 1) & mask)
            if (slots_[i].hash == hash && slots_[i].name.size() == length &&
                std::equal(name, name + length, slots_[i].name.data()))
                return slots_[i].string;
    }
    if ((count_ + 1) * 2 > slots_.size()) grow();
    LAOBJ* string = makeString(name, length);
    std::size_t const mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].string) i = (i + 1) & mask;
    slots_[i] = Slot{hash, string, std::basic_string<Char>(name, length)};
    ++count_;
    return string;
}

template <class Char>
void ListNameTable<Char>::grow() {
    std::vector<Slot> old(std::max<std::size_t>(64, slots_.size() * 2));
    old.swap(slots_);
    std::size_t const mask = slots_.size() - 1;
    for (Slot& slot : old) {
        if (!slot.string) continue;
        std::size_t i = slot.hash & mask;
        while (slots_[i].string) i = (i + 1) & mask;
        slots_[i] = std::move(slot);
    }
}

template class ListNameTable<char>;
template class ListNameTable<wchar_t>;

// ---------------------------------------------------------------- trees

bool TreeListBuilder::startElement(Name const& name, Attribute const* attributes, std::size_t count) {
    return core_.run([&] {
        if (!core_.beginElement()) return false;
        bool preserve = core_.preserving();
        LAOBJ* tag = sharedName(name);
        LAOBJ* list = attributeList(attributes, count, preserve);
        core_.openElement(tag, list, preserve);
        return true;
    });
}

bool TreeListBuilder::endElement() {
    return core_.run([&] { return core_.endElement(); });
}

bool TreeListBuilder::text(char const* utf8, std::size_t length, bool cdata) {
    return core_.run([&] {
        core_.text(utf8, length, cdata);
        return true;
    });
}

bool TreeListBuilder::separator() {
    return core_.run([&] {
        core_.separator();
        return true;
    });
}

// ((name . value) ...) in order, consed from the last; also reads
// xml:space for the new scope.
LAOBJ* TreeListBuilder::attributeList(Attribute const* attributes, std::size_t count, bool& preserve) {
    for (std::size_t i = 0; i < count; ++i) {
        Name const& n = attributes[i].name;
        if (equals(n.prefix, n.prefixLength, "xml") && equals(n.local, n.localLength, "space"))
            preserve = equals(attributes[i].value, attributes[i].valueLength, "preserve");
    }
    LAOBJ* list = Cnil;
    for (std::size_t i = count; i-- > 0;) {
        Attribute const& a = attributes[i];
        list = core_.cons(core_.cons(sharedName(a.name), core_.sharedText(a.value, a.valueLength)), list);
    }
    return list;
}

// By the name's addresses; a pair not met yet by its text, since the same
// name may come at other addresses.
LAOBJ* TreeListBuilder::sharedName(Name const& name) {
    if (!addresses_.empty()) {
        std::size_t const mask = addresses_.size() - 1;
        for (std::size_t i = addressSlot(name.prefix, name.local, mask); addresses_[i].string; i = (i + 1) & mask)
            if (addresses_[i].local == name.local && addresses_[i].prefix == name.prefix) return addresses_[i].string;
    }
    qualified_.clear();
    if (name.prefixLength) qualified_.append(name.prefix, name.prefixLength).push_back(':');
    qualified_.append(name.local, name.localLength);
    LAOBJ* string = names_.find(qualified_.data(), qualified_.size());
    if ((addressCount_ + 1) * 2 > addresses_.size()) growAddresses();
    std::size_t const mask = addresses_.size() - 1;
    std::size_t i = addressSlot(name.prefix, name.local, mask);
    while (addresses_[i].string) i = (i + 1) & mask;
    addresses_[i] = AddressSlot{name.prefix, name.local, string};
    ++addressCount_;
    return string;
}

void TreeListBuilder::growAddresses() {
    std::vector<AddressSlot> old(std::max<std::size_t>(64, addresses_.size() * 2));
    old.swap(addresses_);
    std::size_t const mask = addresses_.size() - 1;
    for (AddressSlot const& slot : old) {
        if (!slot.string) continue;
        std::size_t i = addressSlot(slot.prefix, slot.local, mask);
        while (addresses_[i].string) i = (i + 1) & mask;
        addresses_[i] = slot;
    }
}

// ---------------------------------------------------------------- files

bool FileListBuilder::startElement(wchar_t const* name, std::size_t length, Attribute const* attributes,
                                   std::size_t count) {
    return core_.run([&] {
        if (!core_.beginElement()) return false;
        bool preserve = core_.preserving();
        LAOBJ* tag = names_.find(name, length);
        LAOBJ* list = attributeList(attributes, count, preserve);
        core_.openElement(tag, list, preserve);
        return true;
    });
}

bool FileListBuilder::endElement() {
    return core_.run([&] { return core_.endElement(); });
}

bool FileListBuilder::text(wchar_t const* chars, std::size_t length, bool cdata) {
    return core_.run([&] {
        core_.text(chars, length, cdata);
        return true;
    });
}

bool FileListBuilder::separator() {
    return core_.run([&] {
        core_.separator();
        return true;
    });
}

LAOBJ* FileListBuilder::attributeList(Attribute const* attributes, std::size_t count, bool& preserve) {
    for (std::size_t i = 0; i < count; ++i)
        if (equals(attributes[i].name, attributes[i].nameLength, "xml:space"))
            preserve = equals(attributes[i].value, attributes[i].valueLength, "preserve");
    LAOBJ* list = Cnil;
    for (std::size_t i = count; i-- > 0;) {
        Attribute const& a = attributes[i];
        list =
            core_.cons(core_.cons(names_.find(a.name, a.nameLength), core_.sharedText(a.value, a.valueLength)), list);
    }
    return list;
}
