#include "core/StringCache.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <new>

#include "platform/host/large_blocks.h"
#include "platform/host/ux_string.h"

template class HASHTABLE<STRING_ENTRY, wchar_t const*, 1>;  // for the registries

std::atomic<long> StringCache::stringCount{0};

STRING_ENTRY::~STRING_ENTRY() = default;

int STRING_ENTRY::operator==(wchar_t const* s) const {
    if (!string_ || !s) return string_ == s ? 1 : 0;
    return wcscmp(string_, s) == 0 ? 1 : 0;
}

HASHkey STRING_ENTRY::hash(wchar_t const* s) { return HASHkey(s); }

StringCacheEntry::StringCacheEntry(wchar_t* ownedCopy) : STRING_ENTRY(ownedCopy) { StringCache::incrStringCount(); }

// The cache keeps the hash in its table: the entry's own key is not made.
StringCacheEntry::StringCacheEntry(wchar_t const* inlineText, size_t n)
    : STRING_ENTRY(inlineText, HASHkey()), inline_(true), length_(n) {
    StringCache::incrStringCount();
}

StringCacheEntry::~StringCacheEntry() {
    if (!inline_) ux_strfree(string_);
    StringCache::decrStringCount();
}

size_t StringCacheEntry::blockSize(size_t n) {
    size_t const size = sizeof(StringCacheEntry) + (n + 1) * sizeof(wchar_t);
    return (size + alignof(StringCacheEntry) - 1) & ~(alignof(StringCacheEntry) - 1);
}

StringCacheEntry* StringCacheEntry::make(void* block, wchar_t const* s, size_t n) {
    auto* text = reinterpret_cast<wchar_t*>(static_cast<char*>(block) + sizeof(StringCacheEntry));
    wmemcpy(text, s, n);
    text[n] = L'\0';
    return ::new (block) StringCacheEntry(text, n);
}

void StringCacheEntry::destroy(StringCacheEntry* entry) {
    if (!entry) return;
    if (entry->inline_)
        entry->~StringCacheEntry();
    else
        delete entry;
}

// Relaxed: the count orders nothing else.
long StringCache::incrStringCount() { return stringCount.fetch_add(1, std::memory_order_relaxed); }
long StringCache::decrStringCount() { return stringCount.fetch_sub(1, std::memory_order_relaxed); }

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

uint64_t hashUnits(wchar_t const* s, size_t n) {
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ n;
    for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<uint32_t>(s[i])) * 0x100000001B3ULL;
    return h ^ (h >> 29);
}

}  // namespace

// `size` was the host table's first row count; this table sizes itself.
StringCache::StringCache(unsigned) {}

StringCache::~StringCache() {
    for (size_t i = 0; i < capacity_; ++i) StringCacheEntry::destroy(slots_[i].entry);
    if (slots_) free_large_block(slots_, capacity_ * sizeof(Slot));
    while (Block* b = blocks_) {
        blocks_ = b->next;
        free_large_block(b, b->bytes);
    }
}

void* StringCache::allocate(size_t size) {
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
    void* p = free_;
    free_ += size;
    return p;
}

// Doubles the table (kept at most half full); the slots carry their hashes.
void StringCache::grow() {
    size_t const capacity = capacity_ ? capacity_ * 2 : kFirstCapacity;
    auto* slots = static_cast<Slot*>(allocate_large_block(capacity * sizeof(Slot)));
    for (size_t i = 0; i < capacity_; ++i) {
        if (!slots_[i].entry) continue;
        size_t j = slots_[i].hash & (capacity - 1);
        while (slots[j].entry) j = (j + 1) & (capacity - 1);
        slots[j] = slots_[i];
    }
    if (slots_) free_large_block(slots_, capacity_ * sizeof(Slot));
    slots_ = slots;
    capacity_ = capacity;
}

wchar_t const* StringCache::cache(wchar_t const* s) { return s ? cache(s, wcslen(s)) : nullptr; }

wchar_t const* StringCache::cache(wchar_t const* s, size_t n) {
    if (!s) return nullptr;
    uint64_t const hash = hashUnits(s, n);
    auto const same = [&](Slot const& slot) {
        return slot.hash == hash && slot.entry->length_ == n && wmemcmp(slot.entry->string_, s, n) == 0;
    };
    Slot* recent = recent_ ? &recent_[(hash >> 40) % kRecent] : nullptr;
    if (recent && recent->entry && same(*recent)) return recent->entry->string_;
    if ((count_ + 1) * 2 > capacity_) grow();
    size_t i = hash & (capacity_ - 1);
    while (slots_[i].entry && !same(slots_[i])) i = (i + 1) & (capacity_ - 1);
    if (!slots_[i].entry) {
        slots_[i] = Slot{hash, StringCacheEntry::make(allocate(StringCacheEntry::blockSize(n)), s, n)};
        if (++count_ == kRecentAfter) recent_.reset(new Slot[kRecent]());
    }
    if (recent) *recent = slots_[i];
    return slots_[i].entry->string_;
}
