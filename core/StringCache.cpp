#include "core/StringCache.h"

#include <cwchar>
#include <new>

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

StringCacheEntry::StringCacheEntry(wchar_t const* inlineText, HASHkey key)
    : STRING_ENTRY(inlineText, key), _inline(true) {
    StringCache::incrStringCount();
}

StringCacheEntry::~StringCacheEntry() {
    if (!_inline) ux_strfree(_string);
    StringCache::decrStringCount();
}

StringCacheEntry* StringCacheEntry::make(wchar_t const* s, size_t n, HASHkey key) {
    void* block = ::operator new(sizeof(StringCacheEntry) + (n + 1) * sizeof(wchar_t));
    auto* text = reinterpret_cast<wchar_t*>(static_cast<char*>(block) + sizeof(StringCacheEntry));
    wmemcpy(text, s, n);
    text[n] = L'\0';
    return ::new (block) StringCacheEntry(text, key);
}

// Unsized delete: an inline entry's block is larger than the class.
void* StringCacheEntry::operator new(size_t size) { return ::operator new(size); }
void StringCacheEntry::operator delete(void* p) { ::operator delete(p); }

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
        else if (entry->key() == key && *entry == s)
            return *entry;
    }
    if (!free) free = new_entry(key, walked);
    // A null text is kept as a null entry, as it always was.
    StringCacheEntry* entry = s ? StringCacheEntry::make(s, wcslen(s), key) : new StringCacheEntry(nullptr);
    free->data = entry;
    return entry->getString();
}
