#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/StringCache.h"

TEST(StringCache, EqualTextGivesTheSamePointer) {
    StringCache cache(0);
    std::wstring first = L"Element", second = L"Element";
    wchar_t const* a = cache.cache(first.c_str());
    wchar_t const* b = cache.cache(second.c_str());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, first.c_str());  // a copy of the cache's own
    EXPECT_STREQ(a, L"Element");
    first[0] = L'X';
    EXPECT_STREQ(a, L"Element");
}

TEST(StringCache, DifferentTextGivesDifferentPointers) {
    StringCache cache(0);
    wchar_t const* lower = cache.cache(L"element");
    wchar_t const* upper = cache.cache(L"Element");
    wchar_t const* prefix = cache.cache(L"elem");
    wchar_t const* empty = cache.cache(L"");
    EXPECT_NE(lower, upper);
    EXPECT_NE(lower, prefix);
    EXPECT_STREQ(empty, L"");
    EXPECT_EQ(cache.cache(L""), empty);
    EXPECT_EQ(cache.cache(L"\U0001F600"), cache.cache(L"\U0001F600"));
}

TEST(StringCache, StringCountFollowsLiveEntriesOverAllCaches) {
    long const before = StringCache::stringCount;
    {
        StringCache one(0);
        StringCache two(0);
        one.cache(L"a");
        one.cache(L"a");
        one.cache(L"b");
        two.cache(L"a");
        EXPECT_EQ(StringCache::stringCount, before + 3);
    }
    EXPECT_EQ(StringCache::stringCount, before);
    EXPECT_EQ(StringCache::incrStringCount(), before);
    EXPECT_EQ(StringCache::decrStringCount(), before + 1);
}

// Many distinct strings: every one is found again at its first pointer, and
// the rows stay short, so a lookup does not depend on the cache's size.
TEST(StringCache, LookupsStayConstantTimeAsTheCacheGrows) {
    StringCache cache(0);
    std::vector<wchar_t const*> pointers;
    int const n = 100000;
    for (int i = 0; i < n; ++i) pointers.push_back(cache.cache((L"value-" + std::to_wstring(i)).c_str()));
    for (int i = 0; i < n; ++i) ASSERT_EQ(cache.cache((L"value-" + std::to_wstring(i)).c_str()), pointers[i]);
    EXPECT_EQ(cache.entry_count(), n);
    EXPECT_LE(cache.longest_row(), 12);
}

// An entry whose data word is null is free: the next new string takes it
// instead of a new entry.
TEST(StringCache, FreeEntryOfTheRowIsReused) {
    StringCache cache(0);
    cache.cache(L"gone");
    auto release = [](HASHentry* e, void*) {
        delete static_cast<STRING_ENTRY*>(e->data);
        e->data = nullptr;
        return true;
    };
    cache.scan(release, nullptr);
    long const entries = cache.entry_count();
    // "gone" hashes to the same row again, where the free entry waits.
    wchar_t const* again = cache.cache(L"gone");
    EXPECT_STREQ(again, L"gone");
    EXPECT_EQ(cache.entry_count(), entries);
}

