#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/StringCache.h"

// A keyed text is the cache's own copy, the one cache() gives, however many
// keys name it and however far the key table grew; asking again adds nothing.
TEST(StringCache, KeyedTextsAreTheCachesOwnCopies) {
    StringCache cache(0);
    std::vector<std::wstring> texts;
    for (int i = 0; i < 500; ++i) texts.push_back(L"n" + std::to_wstring(i % 250));  // two keys a text
    std::vector<wchar_t const*> got;
    for (size_t k = 0; k < texts.size(); ++k)
        got.push_back(cache.cacheKeyed(k * 0x10001 + 1, std::wstring(texts[k]).c_str(), texts[k].size()));
    size_t const size = cache.size(), bytes = cache.bytes();
    EXPECT_EQ(size, 250u);
    for (size_t k = 0; k < texts.size(); ++k) {
        ASSERT_EQ(got[k], cache.cache(texts[k].c_str())) << k;
        // Known keys are found by the key alone.
        ASSERT_EQ(cache.cacheKeyed(k * 0x10001 + 1, L"ignored", 7), got[k]) << k;
    }
    EXPECT_EQ(cache.cacheKeyed(0, L"n3", 2), got[3]);  // key 0: the text decides
    EXPECT_EQ(cache.cacheKeyed(99, nullptr, 0), nullptr);
    EXPECT_EQ(cache.size(), size);
    EXPECT_EQ(cache.bytes(), bytes);
}
