// StringCache: the interning table behind every string the model hands out.
// cache(s) returns one stable copy per distinct text; the copies live until
// the cache dies. Lookups are constant time: the host table grows as it fills.
#pragma once

#include "core/XmlValueText.h"
#include "platform/host/hashtable.h"

class STRING_ENTRY {
public:
    explicit STRING_ENTRY(wchar_t const* s = nullptr) : _string(s) {}
    virtual ~STRING_ENTRY();
    STRING_ENTRY(STRING_ENTRY const&) = delete;
    STRING_ENTRY& operator=(STRING_ENTRY const&) = delete;

    operator wchar_t const*() const { return _string; }
    // 1 when s has the same code units as this entry's string, else 0.
    int operator==(wchar_t const* s) const;
    static HASHkey hash(wchar_t const* s);

protected:
    wchar_t const* _string;  // not owned here
};

// An entry that owns its string: a copy made with ux_strsave, freed with
// ux_strfree.
class StringCacheEntry : public STRING_ENTRY {
public:
    explicit StringCacheEntry(wchar_t* ownedCopy);
    ~StringCacheEntry() override;
    wchar_t const* getString() const { return _string; }
};

class STRING_TABLE : public HASHTABLE<STRING_ENTRY, wchar_t const*, 1> {
public:
    explicit STRING_TABLE(unsigned size) : HASHTABLE(size) {}
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
