// StringCache: the interning table behind every string the model hands out.
// cache(s) returns one stable copy per distinct text; the copies live until
// the cache dies. Lookups are constant time: the host table grows as it fills.
#pragma once

#include <cstddef>

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
    int operator==(wchar_t const* s) const;
    static HASHkey hash(wchar_t const* s);
    // hash() of this entry's string, computed once: lookups compare it before
    // the text, and a growing table rehashes without reading the text again.
    HASHkey key() const { return _key; }

protected:
    STRING_ENTRY(wchar_t const* s, HASHkey key) : _string(s), _key(key) {}

    wchar_t const* _string;  // not owned here
    HASHkey _key;
};

// An entry that owns its string. make() keeps the text in the same heap block
// as the entry (one allocation, and the text is next to the key a lookup
// reads first); the public constructor takes a ux_strsave copy instead.
// Either kind is destroyed with delete.
class StringCacheEntry : public STRING_ENTRY {
public:
    explicit StringCacheEntry(wchar_t* ownedCopy);
    ~StringCacheEntry() override;
    wchar_t const* getString() const { return _string; }

    // An entry holding a copy of the n code units of s; key is hash(s).
    static StringCacheEntry* make(wchar_t const* s, size_t n, HASHkey key);
    static void* operator new(size_t size);
    static void operator delete(void* p);

private:
    StringCacheEntry(wchar_t const* inlineText, HASHkey key);
    bool _inline = false;
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

    // Live StringCacheEntry objects over all caches.
    static long stringCount;
    // Change stringCount by one; return the value before the change.
    static long incrStringCount();
    static long decrStringCount();
};
