#include "compare/LocationPath.h"

#include <cwchar>
#include <string>

#include "platform/host/ux_string.h"

// ---- LocationStep ---------------------------------------------------------------

LocationStep* LocationStep::create(wchar_t const* text) {
    if (!text || !*text) return new LocationStep();
    return new LocationStep(ux_strdup(text));
}

LocationStep* LocationStep::create(wchar_t const* text, int length) {
    if (!text || length < 0) return new LocationStep();
    size_t const size = static_cast<size_t>(length) + 1;
    auto* copy = new wchar_t[size];
    ux_strcpy_lim(copy, text, size);
    return new LocationStep(copy);
}

LocationStep::LocationStep(LocationStep const& other) : descriptor_(ux_strdup(other.descriptor_)) {}

LocationStep& LocationStep::operator=(LocationStep const& other) {
    if (this == &other) return *this;
    wchar_t* copy = ux_strdup(other.descriptor_);
    ux_strfree(descriptor_);
    descriptor_ = copy;
    return *this;
}

LocationStep::~LocationStep() { ux_strfree(descriptor_); }

bool LocationStep::operator==(wchar_t const* text) const { return ux_strequal(descriptor_, text); }

bool LocationStep::operator==(LocationStep const& other) const { return ux_strequal(descriptor_, other.descriptor_); }

bool LocationStep::nameEquals(wchar_t const* name) const {
    if (descriptor_ == name) return true;
    if (!descriptor_ || !name) return false;
    wchar_t const* own = descriptor_[0] == L'@' ? descriptor_ + 1 : descriptor_;
    return ux_strequal(own, name);
}

void LocationStepOwnerArray::clear() {
    for (long i = 0; i < size(); ++i) {
        delete elt(i);
        elt(i) = nullptr;
    }
    reset(0);
}

void LocationPathOwnerArray::clear() {
    for (long i = 0; i < size(); ++i) {
        delete elt(i);
        elt(i) = nullptr;
    }
    reset(0);
}

// ---- LocationPath: construction -------------------------------------------------

LocationPath::LocationPath(LocationPath const& other) : XmlRCObject(other), absolute_(other.absolute_) {
    copySteps(other);
    if (other.text_) text_ = ux_strdup(other.text_);
}

LocationPath& LocationPath::operator=(LocationPath const& other) {
    if (this == &other) return *this;
    reset();
    absolute_ = other.absolute_;
    copySteps(other);
    if (other.text_) text_ = ux_strdup(other.text_);
    return *this;
}

LocationPath::~LocationPath() { invalidateString(); }

void LocationPath::copySteps(LocationPath const& other) {
    for (long i = 0; i < other.steps_.size(); ++i) {
        LocationStep const* step = other.steps_.elt(i);
        steps_.append(step ? new LocationStep(*step) : nullptr);
    }
}

// Every segment between slashes becomes one step, empty ones included; a
// trailing slash adds nothing.
LocationPath::LocationPath(wchar_t const* text) {
    size_t const length = ux_strlen(text);
    if (length == 0) return;
    size_t position = 0;
    if (text[0] == L'/') {
        absolute_ = true;
        position = 1;
    }
    while (position < length) {
        wchar_t const* segment = text + position;
        wchar_t const* slash = wcschr(segment, L'/');
        size_t const segmentLength = slash ? static_cast<size_t>(slash - segment) : length - position;
        if (!push(LocationStep::create(segment, static_cast<int>(segmentLength)))) return;
        position += segmentLength + 1;
    }
}

LocationPath* LocationPath::parse(wchar_t const* text) { return new LocationPath(text); }

LocationPath* LocationPath::create(wchar_t const* root) {
    auto* path = new LocationPath();
    path->setAbsolute(true);
    path->pushElement(root);
    return path;
}

LocationPath* LocationPath::create(wchar_t const* root, wchar_t const* name, bool isAttribute) {
    return create(root)->push(name, isAttribute);
}

LocationPath* LocationPath::create(wchar_t const* root, wchar_t const* child, wchar_t const* name, bool isAttribute) {
    return create(root)->pushElement(child)->push(name, isAttribute);
}

// ---- LocationPath: steps --------------------------------------------------------

LocationStep const* LocationPath::getLast() const { return steps_.size() ? steps_.elt(steps_.size() - 1) : nullptr; }

LocationStep const* LocationPath::getStep(long index) const {
    return index >= 0 && index < steps_.size() ? steps_.elt(index) : nullptr;
}

LocationPath* LocationPath::push(LocationStep* step) {
    if (!step) return nullptr;
    invalidateString();
    steps_.append(step);
    return this;
}

LocationPath* LocationPath::push(wchar_t const* name, bool isAttribute) {
    return isAttribute ? pushAttribute(name) : pushElement(name);
}

LocationPath* LocationPath::pushElement(wchar_t const* tag) { return push(LocationStep::create(tag)); }

LocationPath* LocationPath::pushAttribute(wchar_t const* key) {
    std::wstring descriptor(L"@");
    if (key) descriptor += key;
    return push(LocationStep::create(descriptor.c_str()));
}

LocationPath* LocationPath::pop() {
    invalidateString();
    long const count = steps_.size();
    if (count == 0) return this;
    delete steps_.elt(count - 1);
    steps_.elt(count - 1) = nullptr;
    steps_.reset(count - 1);
    return this;
}

void LocationPath::reset() {
    invalidateString();
    steps_.clear();
}

LocationPath* LocationPath::append(wchar_t const* name, bool isAttribute) const {
    return (new LocationPath(*this))->push(name, isAttribute);
}

LocationPath* LocationPath::append(wchar_t const* first, wchar_t const* name, bool isAttribute) const {
    return (new LocationPath(*this))->pushElement(first)->push(name, isAttribute);
}

LocationPath* LocationPath::append(wchar_t const* first, wchar_t const* second, wchar_t const* name,
                                   bool isAttribute) const {
    return (new LocationPath(*this))->pushElement(first)->pushElement(second)->push(name, isAttribute);
}

// ---- LocationPath: text ---------------------------------------------------------

void LocationPath::invalidateString() {
    ux_strfree(text_);
    text_ = nullptr;
}

wchar_t const* LocationPath::toString() const {
    if (text_) return text_;
    std::wstring text(absolute_ ? L"/" : L"");
    for (long i = 0; i < steps_.size(); ++i) {
        if (i > 0) text += L'/';
        if (LocationStep const* step = steps_.elt(i); step && step->toString()) text += step->toString();
    }
    text_ = ux_strdup(text.c_str());
    return text_;
}

bool LocationPath::operator==(wchar_t const* text) const { return ux_strequal(toString(), text); }

bool LocationPath::operator==(LocationPath const& other) const { return ux_strequal(toString(), other.toString()); }
