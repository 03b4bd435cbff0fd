// StringCache: the interning table behind every string the model hands out.
// cache(s) returns one stable copy per distinct text; the copies live until
// the cache dies. Lookups are constant time: the host table grows as it fills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <memory>

#include "core/XmlValueText.h"
#include "platform/host/hashtable.h"

class STRING_ENTRY {
public:
    explicit STRING_ENTRY(wchar_t const* s = nullptr) : _string(s), _key(hash(s)) {}
    virtual ~STRING_ENTRY();
    STRING_ENTRY(STRING_ENTRY const&) = delete;
    STRING_ENTRY& operator=(STRING_ENTRY const&) = delete;

    operator wchar_t const*() const { return _string; }
    // 1 when s has the same code units as this entry's string, else 0.
    int operator==(wchar_t const* s) const {
        if (!_string || !s) return _string == s ? 1 : 0;
        return wcscmp(_string, s) == 0 ? 1 : 0;
    }
    static HASHkey hash(wchar_t const* s);
    // hash() of this entry's string, computed once: lookups compare it before
    // the text, and a growing table rehashes without reading the text again.
    HASHkey key() const { return _key; }

protected:
    STRING_ENTRY(wchar_t const* s, HASHkey key) : _string(s), _key(key) {}

    wchar_t const* _string;  // not owned here
    HASHkey _key;
};

// An entry that owns its string. make() keeps the text in the same block as
// the entry (the text is next to the key a lookup reads first); the public
// constructor takes a ux_strsave copy instead. destroy() ends either kind.
class StringCacheEntry : public STRING_ENTRY {
public:
    explicit StringCacheEntry(wchar_t* ownedCopy);
    ~StringCacheEntry() override;
    wchar_t const* getString() const { return _string; }

    // An entry holding a copy of the n code units of s in the same block,
    // placed in `block` of blockSize(n) bytes; key is hash(s). Destroyed with
    // destroy(), which leaves the block to its owner.
    static StringCacheEntry* make(void* block, wchar_t const* s, size_t n, HASHkey key);
    static size_t blockSize(size_t n);
    // Ends an entry made either way.
    static void destroy(StringCacheEntry* entry);

private:
    friend class StringCache;
    StringCacheEntry(wchar_t const* inlineText, HASHkey key);
    bool _inline = false;
    unsigned _serial = 0;               // insertion order in its cache (wraps)
    StringCacheEntry* _next = nullptr;    // the entry made after this one
    StringCacheEntry* _follow = nullptr;  // the entry asked for after this one, last time
    uint64_t _followKey = 0;              // its key
};

class STRING_TABLE : public HASHTABLE<STRING_ENTRY, wchar_t const*, 1> {
public:
    explicit STRING_TABLE(unsigned size) : HASHTABLE(size) {}

    HASHkey get_hashentry_hashvalue(HASHentry* entry) override {
        return static_cast<STRING_ENTRY*>(entry->data)->key();
    }
};

class StringCache : public STRING_TABLE {
public:
    explicit StringCache(unsigned size = 0);
    // Deletes every entry; every pointer cache() returned becomes invalid.
    virtual ~StringCache();
    StringCache(StringCache const&) = delete;
    StringCache& operator=(StringCache const&) = delete;

    // The cached copy of s (not null), made on first use.
    wchar_t const* cache(wchar_t const* s);
    // The same when the length of s (n code units before its NUL) is known.
    wchar_t const* cache(wchar_t const* s, size_t n);

    // Live StringCacheEntry objects over all caches.
    static long stringCount;

private:
    // Entries are carved out of large blocks that die with the cache: a cache
    // never gives back a single string, and a walk over a large document
    // interns millions of them.
    void* allocate(size_t size);

    // Reading a document again asks for its strings in the order it asked
    // before: the entry that followed the last one answered, and the entry
    // made after the last new one, are tried before the table. A right guess
    // costs one comparison instead of a hash and two random reads.
    StringCacheEntry* predicted(wchar_t const* s, HASHkey const& key);
    void aim(StringCacheEntry* entry);
    wchar_t const* answer(StringCacheEntry* entry);
    void found(StringCacheEntry* entry);
    void added(StringCacheEntry* entry);

    struct Block;
    Block* _blocks = nullptr;
    char* _free = nullptr;  // in the newest block
    char* _end = nullptr;
    size_t _nextBlock = 4096;
    StringCacheEntry* _last = nullptr;    // made last
    StringCacheEntry* _cursor = nullptr;  // expected next; null: no guess
    uint64_t _cursorKey = 0;
    StringCacheEntry* _answered = nullptr;  // the last entry cache() returned
    unsigned _serials = 0;
    int _unguessed = 0;
    // Strings met lately, by key: the values a document repeats everywhere
    // (units, kinds, flags) are found here without touching the table.
    // The key sits beside the entry so that a miss touches no entry.
    struct Recent {
        uint64_t key;
        StringCacheEntry* entry;
    };
    // Made once the cache holds kRecentAfter strings: small caches (one per
    // SAX attribute list) never pay for it, and their table is fast anyway.
    static constexpr size_t kRecent = 16384;
    static constexpr unsigned kRecentAfter = 4096;
    std::unique_ptr<Recent[]> _recent;
    void remember(StringCacheEntry* entry);

public:
    // Change stringCount by one; return the value before the change.
    static long incrStringCount();
    static long decrStringCount();
};
