#include "core/StringCache.h"

#include <cwchar>
#include <algorithm>
#include <cstddef>
#include <new>

#include "platform/host/large_blocks.h"
#include "platform/host/ux_string.h"

template class HASHTABLE<STRING_ENTRY, wchar_t const*, 1>;

std::atomic<long> StringCache::stringCount{0};

STRING_ENTRY::~STRING_ENTRY() = default;

HASHkey STRING_ENTRY::hash(wchar_t const* s) { return HASHkey(s); }

StringCacheEntry::StringCacheEntry(wchar_t* ownedCopy) : STRING_ENTRY(ownedCopy) { StringCache::incrStringCount(); }

StringCacheEntry::StringCacheEntry(wchar_t const* inlineText, size_t n, HASHkey key)
    : STRING_ENTRY(inlineText, key), _inline(true), _length(n < UINT32_MAX ? static_cast<uint32_t>(n) : UINT32_MAX) {
    StringCache::incrStringCount();
}

StringCacheEntry::~StringCacheEntry() {
    if (!_inline) ux_strfree(_string);
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
    if (entry->_inline)
        entry->~StringCacheEntry();
    else
        delete entry;
}

// Relaxed: the count orders nothing else.
long StringCache::incrStringCount() { return stringCount.fetch_add(1, std::memory_order_relaxed); }
long StringCache::decrStringCount() { return stringCount.fetch_sub(1, std::memory_order_relaxed); }

struct StringCache::Block {
    Block* next;
    size_t bytes;  // of the whole block
};

StringCache::StringCache(unsigned size) : STRING_TABLE(size) {}

namespace {

bool deleteEntry(HASHentry* entry, void*) {
    StringCacheEntry::destroy(static_cast<StringCacheEntry*>(entry->data));
    entry->data = nullptr;
    return true;
}

}  // namespace

StringCache::~StringCache() {
    scan(&deleteEntry, nullptr);
    while (Block* b = _blocks) {
        _blocks = b->next;
        free_large_block(b, b->bytes);
    }
}

// Blocks double up to 2 MiB (then huge pages where the system has them); a
// string larger than that gets a block of its own.
void* StringCache::allocate(size_t size) {
    if (static_cast<size_t>(_end - _free) < size) {
        size_t const header = (sizeof(Block) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
        size_t const bytes = std::max(_nextBlock, size + header);
        _nextBlock = std::min<size_t>(_nextBlock * 2, size_t(2) << 20);
        auto* block = static_cast<Block*>(allocate_large_block(bytes));
        block->next = _blocks;
        block->bytes = bytes;
        _blocks = block;
        _free = reinterpret_cast<char*>(block) + header;
        _end = reinterpret_cast<char*>(block) + bytes;
    }
    void* p = _free;
    _free += size;
    return p;
}

wchar_t const* StringCache::cache(wchar_t const* s) { return cache(s, s ? wcslen(s) : 0); }

void StringCache::remember(StringCacheEntry* entry) {
    if (!_recent) {
        if (_entries < kRecentAfter) return;
        _recent.reset(new Recent[kRecent]());
    }
    _recent[entry->key().value() % kRecent] = Recent{entry->key().value(), entry};
}

StringCache::Trace::~Trace() {
    for (StringCacheEntry** block : _blocks) free_large_block(block, kBlock * sizeof(StringCacheEntry*));
}

void StringCache::Trace::push_back(StringCacheEntry* entry) {
    if (_size == _blocks.size() * kBlock)
        _blocks.push_back(static_cast<StringCacheEntry**>(allocate_large_block(kBlock * sizeof(StringCacheEntry*))));
    _blocks[_size / kBlock][_size % kBlock] = entry;
    ++_size;
}

// The entry of s: from the recent table, the table, or made now.
StringCacheEntry* StringCache::lookup(wchar_t const* s, size_t n, bool& made) {
    made = false;
    HASHkey const key(s);
    if (_recent) {
        Recent const& recent = _recent[key.value() % kRecent];
        if (recent.entry && recent.key == key.value() && *recent.entry == s) return recent.entry;
    }
    HASHentry* const row = get_row(key);
    HASHentry* free = nullptr;
    long walked = 0;
    for (HASHentry* e = row; e; e = e->next, ++walked) {
        auto* entry = static_cast<STRING_ENTRY*>(e->data);
        if (!entry)
            free = e;
        else if (entry->key() == key && *entry == s) {
            remember(static_cast<StringCacheEntry*>(entry));
            return static_cast<StringCacheEntry*>(entry);
        }
    }
    // An empty row's free first entry is taken through new_entry all the
    // same: the table counts its entries there to know when to grow.
    if (!free || free == row) free = new_entry(key, walked);
    // A null text is kept as a null entry, as it always was.
    StringCacheEntry* entry =
        s ? StringCacheEntry::make(allocate(StringCacheEntry::blockSize(n)), s, n, key) : new StringCacheEntry(nullptr);
    free->data = entry;
    ++_entries;
    made = true;
    remember(entry);
    return entry;
}

// The entries of a replay are known ahead: the one a few answers on is
// fetched into the cache while this one is compared.
bool StringCache::replays(size_t pos, wchar_t const* s, size_t n) const {
    if (pos >= _trace.size()) return false;
    if (pos + kLookAhead < _trace.size()) __builtin_prefetch(_trace[pos + kLookAhead]);
    StringCacheEntry const* entry = _trace[pos];
    return entry->_length == n && entry->_string && equalUnits(entry->_string, s, n);
}

// Every miss is recorded, so that a reading that differs from the last one
// replays next time. While the replay is at the end of the trace (a first
// reading), the end moves with it.
void StringCache::record(StringCacheEntry* entry) {
    if (_entries < kRecentAfter || _trace.size() >= std::max(kTraceFloor, kTracePerEntry * _entries)) return;
    if (entry->_recorded == 0) entry->_tracePos = static_cast<uint32_t>(std::min<size_t>(_trace.size(), UINT32_MAX));
    if (entry->_recorded < 2) ++entry->_recorded;
    bool const atEnd = _replay == _trace.size();
    _trace.push_back(entry);
    if (atEnd) _replay = _trace.size();
}

// A place found through an entry recorded once is taken only after the
// strings that follow it there have been asked for in turn: data repeats
// short runs of values all over a document.
wchar_t const* StringCache::confirm(wchar_t const* s, size_t n) {
    if (_candidate == SIZE_MAX || !replays(_candidate, s, n)) return nullptr;
    StringCacheEntry* entry = _trace[_candidate++];
    if (++_confirmed >= kConfirmations) {
        _replay = _candidate;
        _candidate = SIZE_MAX;
    } else if (_replay == _trace.size()) {
        record(entry);
    }
    return entry->_string;
}

wchar_t const* StringCache::cache(wchar_t const* s, size_t n) {
    if (s) {
        if (replays(_replay, s, n)) {
            _candidate = SIZE_MAX;
            return _trace[_replay++]->_string;
        }
        if (wchar_t const* confirmed = confirm(s, n)) return confirmed;
    }
    bool made = false;
    StringCacheEntry* entry = lookup(s, n, made);
    bool const anchor = entry->_recorded == 1;
    _candidate = anchor ? size_t(entry->_tracePos) + 1 : SIZE_MAX;
    _confirmed = 0;
    record(entry);
    return entry->_string;
}
