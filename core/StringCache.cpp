#include "core/StringCache.h"

#include <cwchar>

#include "platform/host/ux_string.h"

template class HASHTABLE<STRING_ENTRY, wchar_t const*, 1>;

long StringCache::stringCount = 0;

STRING_ENTRY::~STRING_ENTRY() = default;

int STRING_ENTRY::operator==(wchar_t const* s) const {
    if (!_string || !s) return _string == s ? 1 : 0;
    return wcscmp(_string, s) == 0 ? 1 : 0;
}

HASHkey STRING_ENTRY::hash(wchar_t const* s) { return HASHkey(s); }

StringCacheEntry::StringCacheEntry(wchar_t* ownedCopy) : STRING_ENTRY(ownedCopy) { StringCache::incrStringCount(); }

StringCacheEntry::~StringCacheEntry() {
    ux_strfree(_string);
    StringCache::decrStringCount();
}

long StringCache::incrStringCount() { return stringCount++; }
long StringCache::decrStringCount() { return stringCount--; }

StringCache::StringCache(unsigned size) : STRING_TABLE(size) {}

namespace {

bool deleteEntry(HASHentry* entry, void*) {
    delete static_cast<STRING_ENTRY*>(entry->data);
    entry->data = nullptr;
    return true;
}

}  // namespace

StringCache::~StringCache() { scan(&deleteEntry, nullptr); }

wchar_t const* StringCache::cache(wchar_t const* s) {
    HASHkey const key(s);
    HASHentry* free = nullptr;
    long walked = 0;
    for (HASHentry* e = get_row(key); e; e = e->next, ++walked) {
        auto* entry = static_cast<STRING_ENTRY*>(e->data);
        if (!entry)
            free = e;
        else if (*entry == s)
            return *entry;
    }
    if (!free) free = new_entry(key, walked);
    auto* entry = new StringCacheEntry(ux_strsave(s));
    free->data = entry;
    return entry->getString();
}
