#include "core/StringCache.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <utility>

#include "platform/host/large_blocks.h"

template class HASHTABLE<STRING_ENTRY, wchar_t const*, 1>;  // for the registries

std::atomic<long> StringCache::stringCount{0};

STRING_ENTRY::~STRING_ENTRY() = default;

int STRING_ENTRY::operator==(wchar_t const* s) const {
    if (!string_ || !s) return string_ == s ? 1 : 0;
    return wcscmp(string_, s) == 0 ? 1 : 0;
}

HASHkey STRING_ENTRY::hash(wchar_t const* s) { return HASHkey(s); }

struct StringCache::Block {
    Block* next;
    size_t bytes;
};

namespace {

constexpr size_t kHeader = (2 * sizeof(void*) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
// Blocks double up to this size; a larger string gets a block of its own.
// Only a cache that grew that far takes such blocks, which come on huge
// pages: a large document's first walk then pays a page fault per 2 MiB of
// strings rather than per 4 KiB.
constexpr size_t kLargestBlock = size_t(2) << 20;
constexpr size_t kFirstCapacity = 64;
// A text is stored as its hash and its length (8 bytes each) followed by its
// units and a NUL; every record starts on an 8-byte boundary.
constexpr size_t kLength = sizeof(uint64_t);
constexpr size_t kRecordHead = 2 * kLength;

constexpr size_t recordBytes(size_t units) { return (kRecordHead + (units + 1) * sizeof(wchar_t) + 7) & ~size_t(7); }

// The length (words 1) or hash (2) stored before a text.
uint64_t wordBefore(wchar_t const* text, size_t words) {
    uint64_t n;
    std::memcpy(&n, reinterpret_cast<char const*>(text) - words * kLength, kLength);
    return n;
}

// User-space addresses take 48 bits unless a process asks for more.
static_assert(sizeof(void*) == 8, "a slot packs an address into 48 bits");
constexpr uint64_t kTagBits = ~uint64_t(0) << 48;
uint64_t slotOf(wchar_t const* text, uint64_t hash) { return (hash & kTagBits) | reinterpret_cast<uintptr_t>(text); }
wchar_t const* textOf(uint64_t slot) { return reinterpret_cast<wchar_t const*>(slot & ~kTagBits); }

// The hash of a sequence of code points, the same whichever form the text
// comes in: two code points a step, so a long text costs half the
// multiplications.
class Hasher {
public:
    void add(uint32_t a, uint32_t b) { h_ = (h_ ^ (a | uint64_t(b) << 32)) * 0x9E3779B97F4A7C15ULL; }
    void addLast(uint32_t a) { h_ = (h_ ^ a) * 0x9E3779B97F4A7C15ULL; }
    // Every bit of the state reaches the low bits that pick the slot.
    uint64_t finish(size_t units) const {
        uint64_t h = h_ ^ units;
        h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDULL;
        h = (h ^ (h >> 33)) * 0xC4CEB9FE1A85EC53ULL;
        return h ^ (h >> 33);
    }

private:
    uint64_t h_ = 0x243F6A8885A308D3ULL;
};

// The code points of UTF-8 text. The rules are the engine's: a bad lead
// byte, a cut sequence, a bad continuation byte, an overlong form, a
// surrogate or a value past U+10FFFF each read as one U+FFFD.
class Utf8Reader {
public:
    Utf8Reader(char const* s, size_t n) : s_(reinterpret_cast<unsigned char const*>(s)), n_(n) {}
    bool done() const { return i_ >= n_; }
    uint32_t next() {
        unsigned char const b = s_[i_];
        if (b < 0x80) {
            ++i_;
            return b;
        }
        return sequence(b);
    }

private:
    static constexpr uint32_t kReplacement = 0xFFFD;

    uint32_t sequence(unsigned char b) {
        int const extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
        if (extra < 0 || b > 0xF4 || i_ + static_cast<size_t>(extra) >= n_) {
            ++i_;
            return kReplacement;
        }
        uint32_t c = b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char const t = s_[i_ + k];
            if ((t & 0xC0) != 0x80) {
                i_ += k;
                return kReplacement;
            }
            c = (c << 6) | (t & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        i_ += extra + 1;
        bool const valid = c >= kMin[extra] && c < 0x110000 && (c < 0xD800 || c > 0xDFFF);
        return valid ? c : kReplacement;
    }

    unsigned char const* s_;
    size_t n_;
    size_t i_ = 0;
};

// The hash of code units that are code points each (wide text, or ASCII).
template <class Unit>
uint64_t hashUnits(Unit const* s, size_t n) {
    Hasher h;
    size_t i = 0;
    for (; i + 1 < n; i += 2) h.add(static_cast<uint32_t>(s[i]), static_cast<uint32_t>(s[i + 1]));
    if (i < n) h.addLast(static_cast<uint32_t>(s[i]));
    return h.finish(n);
}

// Text given as wide code units.
struct WideText {
    wchar_t const* s;
    size_t n;
    uint64_t hash;

    WideText(wchar_t const* text, size_t units) : s(text), n(units), hash(hashUnits(text, units)) {}
    bool equals(wchar_t const* stored) const { return wordBefore(stored, 1) == n && wmemcmp(stored, s, n) == 0; }
    size_t most() const { return n; }
    size_t copyTo(wchar_t* out) const {
        wmemcpy(out, s, n);
        return n;
    }
};

bool isAscii(unsigned char const* s, size_t n) {
    size_t i = 0;
    for (uint64_t word; i + 8 <= n; i += 8)
        if (std::memcpy(&word, s + i, 8), word & 0x8080808080808080ULL) return false;
    for (; i < n; ++i)
        if (s[i] & 0x80) return false;
    return true;
}

// Text given as UTF-8 bytes; decoded only to hash, compare and, when it is
// new, to store. ASCII text, the usual kind, is its own code points.
struct Utf8Text {
    unsigned char const* s;
    size_t n;
    bool ascii;
    uint64_t hash;

    Utf8Text(char const* text, size_t bytes)
        : s(reinterpret_cast<unsigned char const*>(text)), n(bytes), ascii(isAscii(s, n)) {
        if (ascii) {
            hash = hashUnits(s, n);
            return;
        }
        Hasher h;
        size_t units = 0;
        for (Utf8Reader in(text, n); !in.done(); ++units) {
            uint32_t const a = in.next();
            if (in.done()) {
                h.addLast(a);
            } else {
                h.add(a, in.next());
                ++units;
            }
        }
        hash = h.finish(units);
    }
    bool equals(wchar_t const* stored) const {
        if (ascii) return wordBefore(stored, 1) == n && std::equal(s, s + n, stored);
        size_t const units = wordBefore(stored, 1);
        Utf8Reader in(reinterpret_cast<char const*>(s), n);
        size_t i = 0;
        for (; i < units && !in.done(); ++i)
            if (static_cast<uint32_t>(stored[i]) != in.next()) return false;
        return i == units && in.done();
    }
    size_t most() const { return n; }  // UTF-8 never has fewer bytes than code points
    size_t copyTo(wchar_t* out) const {
        if (ascii) return std::copy(s, s + n, out) - out;
        size_t units = 0;
        for (Utf8Reader in(reinterpret_cast<char const*>(s), n); !in.done();)
            out[units++] = static_cast<wchar_t>(in.next());
        return units;
    }
};

}  // namespace

StringCache::~StringCache() {
    stringCount.fetch_sub(static_cast<long>(count_), std::memory_order_relaxed);
    if (slots_) free_large_block(slots_, capacity_ * sizeof(uint64_t));
    while (Block* b = blocks_) {
        blocks_ = b->next;
        free_large_block(b, b->bytes);
    }
}

wchar_t* StringCache::reserve(size_t n) {
    size_t const size = recordBytes(n);
    if (static_cast<size_t>(end_ - free_) < size) {
        size_t const bytes = std::max(nextBlock_, size + kHeader);
        nextBlock_ = std::min(nextBlock_ * 2, kLargestBlock);
        auto* block = static_cast<Block*>(allocate_large_block(bytes));
        block->next = blocks_;
        block->bytes = bytes;
        blocks_ = block;
        blockBytes_ += bytes;
        free_ = reinterpret_cast<char*>(block) + kHeader;
        end_ = reinterpret_cast<char*>(block) + bytes;
    }
    return reinterpret_cast<wchar_t*>(free_ + kRecordHead);
}

wchar_t const* StringCache::take(wchar_t* text, size_t n, uint64_t hash) {
    std::memcpy(free_, &hash, kLength);
    std::memcpy(free_ + kLength, &n, kLength);
    text[n] = L'\0';
    free_ += recordBytes(n);
    ++count_;
    stringCount.fetch_add(1, std::memory_order_relaxed);  // orders nothing else
    return text;
}

// Doubles the table (kept at most half full), reading each text's hash.
void StringCache::grow() {
    size_t const capacity = capacity_ ? capacity_ * 2 : kFirstCapacity;
    auto* slots = static_cast<uint64_t*>(allocate_large_block(capacity * sizeof(uint64_t)));
    for (size_t i = 0; i < capacity_; ++i) {
        if (!slots_[i]) continue;
        size_t j = wordBefore(textOf(slots_[i]), 2) & (capacity - 1);
        while (slots[j]) j = (j + 1) & (capacity - 1);
        slots[j] = slots_[i];
    }
    if (slots_) free_large_block(slots_, capacity_ * sizeof(uint64_t));
    slots_ = slots;
    capacity_ = capacity;
}

// The table grows only when a text is added: asking again for a known text
// never changes the cache.
template <class Text>
wchar_t const* StringCache::find(Text const& text) {
    if (!slots_) grow();
    size_t mask = capacity_ - 1;
    size_t i = text.hash & mask;
    for (; slots_[i]; i = (i + 1) & mask)
        if (((slots_[i] ^ text.hash) & kTagBits) == 0 && text.equals(textOf(slots_[i]))) return textOf(slots_[i]);
    if ((count_ + 1) * 2 > capacity_) {
        grow();
        mask = capacity_ - 1;
        for (i = text.hash & mask; slots_[i];) i = (i + 1) & mask;
    }
    wchar_t* copy = reserve(text.most());
    slots_[i] = slotOf(take(copy, text.copyTo(copy), text.hash), text.hash);
    return copy;
}

wchar_t const* StringCache::cache(wchar_t const* s) { return s ? cache(s, wcslen(s)) : nullptr; }

wchar_t const* StringCache::cache(wchar_t const* s, size_t n) { return s ? find(WideText(s, n)) : nullptr; }

wchar_t const* StringCache::cacheUtf8(char const* s, size_t n) { return s ? find(Utf8Text(s, n)) : nullptr; }

StringCache::Slot* StringCache::findKey(uint64_t key) {
    size_t const mask = keyedCapacity_ - 1;
    size_t i = (key * 0x9E3779B97F4A7C15ULL) >> 40 & mask;
    while (keyed_[i].hash && keyed_[i].hash != key) i = (i + 1) & mask;
    return &keyed_[i];
}

// The key table is kept at most half full, like the text table.
wchar_t const* StringCache::cacheKeyed(uint64_t key, wchar_t const* s, size_t n) {
    if (!key || !s) return cache(s, n);
    if (Slot* known = keyedCapacity_ ? findKey(key) : nullptr; known && known->hash) return known->text;
    if ((keyedCount_ + 1) * 2 > keyedCapacity_) {
        std::unique_ptr<Slot[]> old = std::move(keyed_);
        size_t const oldCapacity = std::exchange(keyedCapacity_, keyedCapacity_ ? keyedCapacity_ * 2 : 64);
        keyed_.reset(new Slot[keyedCapacity_]());
        for (size_t i = 0; i < oldCapacity; ++i)
            if (old[i].hash) *findKey(old[i].hash) = old[i];
    }
    ++keyedCount_;
    return (*findKey(key) = Slot{key, cache(s, n)}).text;
}
