#include "platform/msxml6/sax_text.h"

#include "platform/msxml6/engine.h"

namespace mx {

void WideBuffer::grow(size_t n) {
    size_t cap = cap_ ? cap_ : 256;
    while (cap < n) cap *= 2;
    std::unique_ptr<wchar_t[]> bigger(new wchar_t[cap]);
    if (size_) memcpy(bigger.get(), buf_.get(), size_ * sizeof(wchar_t));
    buf_ = std::move(bigger);
    cap_ = cap;
}

WideText NameCache::insert(char const* a, char const* b) {
    if ((used_ + 1) * 2 > slots_.size()) rehash(slots_.empty() ? 64 : slots_.size() * 2);
    std::wstring& w = names_.emplace_back(toWide(a));
    if (b) {
        w += L':';
        appendWide(w, b, strlen(b));
    }
    WideText t{w.c_str(), static_cast<int>(w.size())};
    size_t mask = slots_.size() - 1;
    size_t i = slotOf(a, b, mask);
    while (slots_[i].a) i = (i + 1) & mask;
    slots_[i] = Slot{a, b, t};
    ++used_;
    return t;
}

void NameCache::rehash(size_t size) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot{});
    size_t mask = size - 1;
    for (Slot const& s : old) {
        if (!s.a) continue;
        size_t i = slotOf(s.a, s.b, mask);
        while (slots_[i].a) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

}  // namespace mx
