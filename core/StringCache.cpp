#include "core/StringCache.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <new>

#include "platform/host/ux_string.h"

template class HASHTABLE<STRING_ENTRY, wchar_t const*, 1>;

long StringCache::stringCount = 0;

STRING_ENTRY::~STRING_ENTRY() = default;

int STRING_ENTRY::operator==(wchar_t const* s) const {
    if (!string_ || !s) return string_ == s ? 1 : 0;
    return wcscmp(string_, s) == 0 ? 1 : 0;
}

HASHkey STRING_ENTRY::hash(wchar_t const* s) { return HASHkey(s); }

StringCacheEntry::StringCacheEntry(wchar_t* ownedCopy) : STRING_ENTRY(ownedCopy) { StringCache::incrStringCount(); }

StringCacheEntry::StringCacheEntry(wchar_t const* inlineText, size_t n, HASHkey key)
    : STRING_ENTRY(inlineText, key), inline_(true), length_(n) {
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

StringCacheEntry* StringCacheEntry::make(void* block, wchar_t const* s, size_t n, HASHkey key) {
    auto* text = reinterpret_cast<wchar_t*>(static_cast<char*>(block) + sizeof(StringCacheEntry));
    wmemcpy(text, s, n);
    text[n] = L'\0';
    return ::new (block) StringCacheEntry(text, n, key);
}

void StringCacheEntry::destroy(StringCacheEntry* entry) {
    if (!entry) return;
    if (entry->inline_)
        entry->~StringCacheEntry();
    else
        delete entry;
}

long StringCache::incrStringCount() { return stringCount++; }
long StringCache::decrStringCount() { return stringCount--; }

struct StringCache::Block {
    Block* next;
};

StringCache::StringCache(unsigned size) : STRING_TABLE(size) {}

namespace {

bool deleteEntry(HASHentry* entry, void*) {
    StringCacheEntry::destroy(static_cast<StringCacheEntry*>(entry->data));
    entry->data = nullptr;
    return true;
}

constexpr size_t kHeader = (sizeof(void*) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
// Blocks double up to this size; a larger string gets a block of its own.
constexpr size_t kLargestBlock = size_t(256) << 10;

}  // namespace

StringCache::~StringCache() {
    scan(&deleteEntry, nullptr);
    while (Block* b = blocks_) {
        blocks_ = b->next;
        ::operator delete(b);
    }
}

void* StringCache::allocate(size_t size) {
    if (static_cast<size_t>(end_ - free_) < size) {
        size_t const bytes = std::max(nextBlock_, size + kHeader);
        nextBlock_ = std::min(nextBlock_ * 2, kLargestBlock);
        auto* block = static_cast<Block*>(::operator new(bytes));
        block->next = blocks_;
        blocks_ = block;
        blockBytes_ += bytes;
        free_ = reinterpret_cast<char*>(block) + kHeader;
        end_ = reinterpret_cast<char*>(block) + bytes;
    }
    void* p = free_;
    free_ += size;
    return p;
}

wchar_t const* StringCache::cache(wchar_t const* s) { return s ? cache(s, wcslen(s)) : nullptr; }

// Walks the key's row; the first entry of an empty row is taken through
// new_entry all the same, since the table counts its entries there.
wchar_t const* StringCache::cache(wchar_t const* s, size_t n) {
    if (!s) return nullptr;
    HASHkey const key(s);
    HASHentry* const row = get_row(key);
    HASHentry* free = nullptr;
    long walked = 0;
    for (HASHentry* e = row; e; e = e->next, ++walked) {
        auto* entry = static_cast<StringCacheEntry*>(e->data);
        if (!entry)
            free = e;
        else if (entry->key() == key && entry->length_ == n && wmemcmp(entry->string_, s, n) == 0)
            return entry->string_;
    }
    if (!free || free == row) free = new_entry(key, walked);
    StringCacheEntry* entry = StringCacheEntry::make(allocate(StringCacheEntry::blockSize(n)), s, n, key);
    free->data = entry;
    return entry->string_;
}
