// StringCache: the interning table behind every string the model hands out.
// cache(s) returns one stable copy per distinct text; the copies live until
// the cache dies. One flat hash table: asking again for a known text finds
// it and adds nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <memory>

#include "core/XmlValueText.h"
#include "platform/host/hashtable.h"

class STRING_ENTRY {
public:
    explicit STRING_ENTRY(wchar_t const* s = nullptr) : string_(s), key_(hash(s)) {}
    virtual ~STRING_ENTRY();
    STRING_ENTRY(STRING_ENTRY const&) = delete;
    STRING_ENTRY& operator=(STRING_ENTRY const&) = delete;

    operator wchar_t const*() const { return string_; }
    // 1 when s has the same code units as this entry's string, else 0.
    int operator==(wchar_t const* s) const;
    static HASHkey hash(wchar_t const* s);
    // hash() of the string, computed once: a growing table rehashes without
    // reading the text again.
    HASHkey key() const { return key_; }

protected:
    wchar_t const* string_;  // not owned here
    HASHkey key_;
};

class STRING_TABLE : public HASHTABLE<STRING_ENTRY, wchar_t const*, 1> {
public:
    explicit STRING_TABLE(unsigned size) : HASHTABLE(size) {}

    HASHkey get_hashentry_hashvalue(HASHentry* entry) override {
        return static_cast<STRING_ENTRY*>(entry->data)->key();
    }
};

class StringCache {
public:
    explicit StringCache(unsigned = 0) {}  // the table sizes itself
    // Frees every text; every pointer cache() returned becomes invalid.
    virtual ~StringCache();
    StringCache(StringCache const&) = delete;
    StringCache& operator=(StringCache const&) = delete;

    // The cached copy of s (null stays null), made on first use.
    wchar_t const* cache(wchar_t const* s);
    // The same when the length of s (n code units before its NUL) is known.
    wchar_t const* cache(wchar_t const* s, size_t n);
    // The same for UTF-8 text of n bytes (no NUL needed): the text is
    // converted only when it is new, straight into the cache's own memory.
    // Invalid sequences read as U+FFFD, as the engine decodes them.
    wchar_t const* cacheUtf8(char const* s, size_t n);
    // cache(s, n) for a text that comes with a key naming it (a nonzero key
    // always names the same text): a known key is found without reading
    // the text. Key 0 names nothing.
    wchar_t const* cacheKeyed(uint64_t key, wchar_t const* s, size_t n);

    // Distinct texts held, and bytes taken for them and the table.
    size_t size() const { return count_; }
    size_t bytes() const { return blockBytes_ + capacity_ * sizeof(uint64_t); }

    // Texts held over all caches (of every thread).
    static std::atomic<long> stringCount;

private:
    struct Slot {
        uint64_t hash;
        wchar_t const* text;
    };
    template <class Text>
    wchar_t const* find(Text const& text);
    void grow();
    // Room for a text of up to n units with its length and NUL, in the
    // newest block; take() then keeps what the text used.
    wchar_t* reserve(size_t n);
    wchar_t const* take(wchar_t* text, size_t n, uint64_t hash);

    // Keyed texts (hash: the key, 0 when free): few, a document's names,
    // each asked for over and over.
    Slot* findKey(uint64_t key);
    std::unique_ptr<Slot[]> keyed_;
    size_t keyedCapacity_ = 0;  // a power of two
    size_t keyedCount_ = 0;

    // Open addressing; a slot (0: free) packs the text's address under the
    // top 16 bits of its hash: a lookup reads the text only when these match.
    // A first walk interns millions of texts; a small table misses less.
    uint64_t* slots_ = nullptr;
    size_t capacity_ = 0;  // a power of two
    size_t count_ = 0;
    // Texts are carved out of blocks that die with the cache: a cache never
    // gives back a single string.
    struct Block;
    Block* blocks_ = nullptr;
    char* free_ = nullptr;  // in the newest block
    char* end_ = nullptr;
    size_t nextBlock_ = 1024;
    size_t blockBytes_ = 0;
};
