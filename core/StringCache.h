// StringCache: the interning table behind every string the model hands out.
// cache(s) returns one stable copy per distinct text; the copies live until
// the cache dies. Lookups are constant time: the host table grows as it fills.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <vector>

#include "core/XmlValueText.h"
#include "platform/host/hashtable.h"

// True when the n code units at a and b are equal. Most strings of a
// document are a few units long, and for those a plain loop beats a call
// into the library.
inline bool equalUnits(wchar_t const* a, wchar_t const* b, size_t n) {
    if (n > 16) return wmemcmp(a, b, n) == 0;
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

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
    StringCacheEntry(wchar_t const* inlineText, size_t n, HASHkey key);
    bool _inline = false;
    uint8_t _recorded = 0;                // times in its cache's trace (stops at 2)
    uint32_t _length = UINT32_MAX;        // code units, when made by make(); else unknown
    uint32_t _tracePos = 0;               // where it was first recorded, when it was
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

    // Live StringCacheEntry objects over all caches (of every thread).
    static std::atomic<long> stringCount;

private:
    // Entries are carved out of large blocks that die with the cache: a cache
    // never gives back a single string, and a walk over a large document
    // interns millions of them.
    void* allocate(size_t size);

    // The cache records the entries it answers, in order, and replays them:
    // reading a document again asks for the same strings in the same order,
    // and the recorded entry then answers with one length and text compare,
    // without a hash or a table row. After a miss, an entry recorded just
    // once marks a place in the trace, and the replay moves there once the
    // strings asked next have matched the ones recorded after it.
    StringCacheEntry* lookup(wchar_t const* s, size_t n, bool& made);
    void record(StringCacheEntry* entry);
    bool replays(size_t pos, wchar_t const* s, size_t n) const;
    wchar_t const* confirm(wchar_t const* s, size_t n);

    struct Block;
    Block* _blocks = nullptr;
    char* _free = nullptr;  // in the newest block
    char* _end = nullptr;
    size_t _nextBlock = 4096;
    unsigned _entries = 0;
    // In blocks of 2 MiB that are never moved: a walk of a large document
    // records millions of answers.
    class Trace {
    public:
        Trace() = default;
        Trace(Trace const&) = delete;
        Trace& operator=(Trace const&) = delete;
        ~Trace();
        size_t size() const { return _size; }
        StringCacheEntry* operator[](size_t i) const { return _blocks[i / kBlock][i % kBlock]; }
        void push_back(StringCacheEntry* entry);

    private:
        static constexpr size_t kBlock = (size_t(2) << 20) / sizeof(StringCacheEntry*);
        std::vector<StringCacheEntry**> _blocks;
        size_t _size = 0;
    };
    Trace _trace;
    size_t _replay = 0;         // the position expected next
    size_t _candidate = SIZE_MAX;  // a place the replay may move to; SIZE_MAX: none
    int _confirmed = 0;            // strings that matched there so far
    static constexpr int kConfirmations = 3;
    static constexpr size_t kLookAhead = 8;
    // The trace holds at most this many answers per entry (and at least
    // kTraceFloor): enough for a whole walk, bounded by the strings kept.
    static constexpr size_t kTracePerEntry = 16;
    static constexpr size_t kTraceFloor = size_t(1) << 20;
    // Strings met lately, by key: the values a document repeats everywhere
    // (units, kinds, flags) are found here without touching the table.
    // The key sits beside the entry so that a miss touches no entry.
    struct Recent {
        uint64_t key;
        StringCacheEntry* entry;
    };
    // Made once the cache holds kRecentAfter strings: small caches (one per
    // SAX attribute list) never pay for it, and their table is fast anyway.
    // The trace starts then too.
    static constexpr size_t kRecent = 16384;
    static constexpr unsigned kRecentAfter = 4096;
    std::unique_ptr<Recent[]> _recent;
    void remember(StringCacheEntry* entry);

public:
    // Change stringCount by one; return the value before the change.
    static long incrStringCount();
    static long decrStringCount();
};
