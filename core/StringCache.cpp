#include "core/StringCache.h"

#include <cwchar>
#include <algorithm>
#include <cstddef>
#include <new>

#include "platform/host/large_blocks.h"
#include "platform/host/ux_string.h"

template class HASHTABLE<STRING_ENTRY, wchar_t const*, 1>;

long StringCache::stringCount = 0;

STRING_ENTRY::~STRING_ENTRY() = default;

HASHkey STRING_ENTRY::hash(wchar_t const* s) { return HASHkey(s); }

StringCacheEntry::StringCacheEntry(wchar_t* ownedCopy) : STRING_ENTRY(ownedCopy) { StringCache::incrStringCount(); }

StringCacheEntry::StringCacheEntry(wchar_t const* inlineText, HASHkey key)
    : STRING_ENTRY(inlineText, key), _inline(true) {
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
    return ::new (block) StringCacheEntry(text, key);
}

void StringCacheEntry::destroy(StringCacheEntry* entry) {
    if (!entry) return;
    if (entry->_inline)
        entry->~StringCacheEntry();
    else
        delete entry;
}

long StringCache::incrStringCount() { return stringCount++; }
long StringCache::decrStringCount() { return stringCount--; }

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

namespace {

bool sameText(StringCacheEntry const* entry, wchar_t const* s) {
    return entry && entry->getString() && wcscmp(entry->getString(), s) == 0;
}

}  // namespace

// Each guess is checked against the key first: a wrong guess then costs no
// read of an entry that may be far from anything read lately.
StringCacheEntry* StringCache::predicted(wchar_t const* s, HASHkey const& key) {
    if (!s) return nullptr;
    if (_answered && _answered->_followKey == key.value() && sameText(_answered->_follow, s)) {
        StringCacheEntry* guess = _answered->_follow;
        if (_cursor == guess) aim(guess->_next);
        _unguessed = 0;
        return guess;
    }
    StringCacheEntry* guess = _cursor;
    if (!guess || _cursorKey != key.value() || !sameText(guess, s)) return nullptr;
    aim(guess->_next);
    _unguessed = 0;
    return guess;
}

// The entry after the cursor was made right after it, so its key is
// usually in memory already.
void StringCache::aim(StringCacheEntry* entry) {
    _cursor = entry;
    _cursorKey = entry ? entry->_key.value() : 0;
}

wchar_t const* StringCache::answer(StringCacheEntry* entry) {
    if (_answered) {
        _answered->_follow = entry;
        _answered->_followKey = entry->_key.value();
    }
    _answered = entry;
    return entry->_string;
}

// A string found elsewhere that was made after the guess moves the guess on;
// an older one (a value repeated all over the document) leaves it. Without a
// guess (after a new string), two finds in a row start guessing again.
void StringCache::found(StringCacheEntry* entry) {
    if (_cursor) {
        if (static_cast<int>(entry->_serial - _cursor->_serial) >= 0) aim(entry->_next);
    } else if (++_unguessed >= 2) {
        aim(entry->_next);
    }
    remember(entry);
}

void StringCache::remember(StringCacheEntry* entry) {
    if (!_recent) {
        if (_serials < kRecentAfter) return;
        _recent.reset(new Recent[kRecent]());
    }
    _recent[entry->key().value() % kRecent] = Recent{entry->key().value(), entry};
}

void StringCache::added(StringCacheEntry* entry) {
    entry->_serial = _serials++;
    if (_last) _last->_next = entry;
    _last = entry;
    aim(nullptr);
    _unguessed = 0;
    remember(entry);
}

wchar_t const* StringCache::cache(wchar_t const* s, size_t n) {
    HASHkey const key(s);
    if (StringCacheEntry* guess = predicted(s, key)) return answer(guess);
    if (_recent) {
        Recent const& recent = _recent[key.value() % kRecent];
        if (recent.entry && recent.key == key.value() && *recent.entry == s) {
            found(recent.entry);
            return answer(recent.entry);
        }
    }
    HASHentry* const row = get_row(key);
    HASHentry* free = nullptr;
    long walked = 0;
    for (HASHentry* e = row; e; e = e->next, ++walked) {
        auto* entry = static_cast<STRING_ENTRY*>(e->data);
        if (!entry)
            free = e;
        else if (entry->key() == key && *entry == s) {
            found(static_cast<StringCacheEntry*>(entry));
            return answer(static_cast<StringCacheEntry*>(entry));
        }
    }
    // An empty row's free first entry is taken through new_entry all the
    // same: the table counts its entries there to know when to grow.
    if (!free || free == row) free = new_entry(key, walked);
    // A null text is kept as a null entry, as it always was.
    StringCacheEntry* entry =
        s ? StringCacheEntry::make(allocate(StringCacheEntry::blockSize(n)), s, n, key) : new StringCacheEntry(nullptr);
    free->data = entry;
    added(entry);
    return answer(entry);
}
