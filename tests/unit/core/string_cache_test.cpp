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
    EXPECT_NE(a, cache.cache(L"element"));  // case matters
    EXPECT_NE(a, cache.cache(L"Elem"));
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


// Null, empty and long texts are separate entries; a long text is kept
// whole, and every entry is freed with its cache (the sanitizer build checks
// that entries holding their text inline are released correctly).
TEST(StringCache, NullEmptyAndLongTextsStayApart) {
    long const before = StringCache::stringCount;
    {
        StringCache cache(0);
        std::wstring const longText(5000, L'\u00E9');
        EXPECT_EQ(cache.cache(nullptr), nullptr);
        EXPECT_EQ(cache.cache(nullptr), nullptr);
        wchar_t const* empty = cache.cache(L"");
        ASSERT_NE(empty, nullptr);
        EXPECT_STREQ(empty, L"");
        wchar_t const* kept = cache.cache(longText.c_str());
        EXPECT_EQ(std::wstring(kept), longText);
        EXPECT_EQ(cache.cache(std::wstring(longText).c_str()), kept);
        EXPECT_EQ(StringCache::stringCount, before + 3);
    }
    EXPECT_EQ(StringCache::stringCount, before);
}
