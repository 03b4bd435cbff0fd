#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/StringCache.h"

namespace {

// Every test gives back the strings it stored.
struct StringCacheTest : ::testing::Test {
    long const before_ = StringCache::stringCount;
    long stored() const { return StringCache::stringCount - before_; }
    void TearDown() override { EXPECT_EQ(stored(), 0) << "entries are freed with their cache"; }
};

// Texts that share long prefixes, differ only in their last unit, are
// prefixes of one another, or hold non-ASCII units.
std::vector<std::wstring> manyTexts(size_t n) {
    std::vector<std::wstring> out;
    wchar_t const* const tails[] = {L"", L"\u00e9", L"\U0001F600"};
    for (size_t i = 0; i < n; ++i)
        out.push_back(i % 4 == 3 ? std::to_wstring(i / 4)
                                 : std::wstring(40, L'p') + std::to_wstring(i / 4) + tails[i % 4]);
    return out;
}

// Asks for texts[k] for every k of `order` (in turns through both entry
// points, always from a fresh copy): the first answer for a text is kept,
// every later one must be that pointer, and known texts never grow the cache.
void ask(StringCache& cache, std::vector<std::wstring> const& texts, std::vector<size_t> const& order,
         std::vector<wchar_t const*>& pointers) {
    long const count = StringCache::stringCount;
    size_t const entries = cache.size(), bytes = cache.bytes();
    bool const first = pointers.empty();
    if (first) pointers.assign(texts.size(), nullptr);
    for (size_t k = 0; k < order.size(); ++k) {
        std::wstring const copy = texts[order[k]];
        wchar_t const* got = k % 2 ? cache.cache(copy.c_str()) : cache.cache(copy.c_str(), copy.size());
        if (!pointers[order[k]] && first) pointers[order[k]] = got;
        ASSERT_EQ(got, pointers[order[k]]) << "text #" << order[k] << " at step " << k;
        ASSERT_EQ(std::wstring(got), copy);
    }
    EXPECT_TRUE(first || (StringCache::stringCount == count && cache.size() == entries && cache.bytes() == bytes))
        << "asking again for known texts grew the cache";
}

}  // namespace

// Up to past a hundred thousand strings, in any order of asking; a second
// cache fed in step keeps its own copies.
TEST_F(StringCacheTest, AnswersStayExactInAnyOrderOfAsking) {
    for (size_t n : {50, 5000, 120000}) {
        StringCache cache(0), other(0);
        auto const texts = manyTexts(n);
        std::vector<size_t> inOrder(n), reversed(n), interleaved, shuffled(n);
        for (size_t i = 0; i < n; ++i) inOrder[i] = shuffled[i] = i, reversed[i] = n - 1 - i;
        for (size_t i = 0; i < n; ++i) interleaved.insert(interleaved.end(), {i, 0, i / 2, i, n - 1 - i / 3});
        std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
        std::vector<wchar_t const*> pointers;
        for (auto const* order : {&inOrder, &inOrder, &reversed, &interleaved, &shuffled})
            ask(cache, texts, *order, pointers);
        EXPECT_EQ(stored(), static_cast<long>(n));
        EXPECT_EQ(std::set<wchar_t const*>(pointers.begin(), pointers.end()).size(), n);
        for (size_t i = 0; i < n; i += 3) {
            wchar_t const* mine = other.cache(texts[i].c_str());
            EXPECT_NE(mine, pointers[i]);
            EXPECT_EQ(other.cache(texts[i].c_str(), texts[i].size()), mine);
        }
        EXPECT_EQ(stored(), static_cast<long>(n + (n + 2) / 3));
    }
}

// Null stays null, empty and long texts are separate entries, case matters,
// and a long text is kept whole (the sanitizer build checks that entries
// holding their text inline are released correctly).
TEST_F(StringCacheTest, NullEmptyLongAndCaseStayApart) {
    StringCache cache(0);
    std::wstring const longText(5000, L'\u00E9');
    std::vector<wchar_t const*> const texts = {L"a", nullptr, L"", L"ab", L"a", L"", nullptr, L"A", longText.c_str()};
    std::vector<wchar_t const*> first;
    for (int pass = 0; pass < 3; ++pass)
        for (size_t i = 0; i < texts.size(); ++i) {
            wchar_t const* got = cache.cache(texts[i]);
            if (pass == 0) first.push_back(got);
            EXPECT_EQ(got, first[i]) << i;
            EXPECT_EQ(got ? std::wstring(got) : L"(null)", texts[i] ? texts[i] : L"(null)");
        }
    EXPECT_TRUE(first[0] == first[4] && first[2] == first[5] && first[0] != first[3] && first[0] != first[7]);
    EXPECT_EQ(stored(), 5);
}

// The engine's UTF-8 and the same text in wide form are one entry, whichever
// comes first; broken sequences read as U+FFFD, as the engine decodes them.
TEST_F(StringCacheTest, Utf8AndWideFormsOfATextShareOneEntry) {
    std::pair<std::string, std::wstring> const forms[] = {
        {"", L""},
        {"a", L"a"},
        {"ab", L"ab"},
        {"a longer text of ascii", L"a longer text of ascii"},
        {"seventeen bytes \xC3\xA9", L"seventeen bytes \u00e9"},  // past the first word
        {"\xC3\xA9t\xC3\xA9", L"\u00e9t\u00e9"},
        {"\xE4\xB8\xAD", L"\u4e2d"},
        {"x\xF0\x9F\x98\x80", L"x\U0001F600"},
        {"a\xFF"
         "b",
         L"a\uFFFDb"},                    // no lead byte
        {"z\xC3", L"z\uFFFD"},            // cut short
        {"\xE4\x41\x42", L"\uFFFDAB"},    // no continuation byte
        {"\xC0\xAF", L"\uFFFD"},          // overlong
        {"\xED\xA0\x80", L"\uFFFD"},      // a surrogate
        {"\xF4\x90\x80\x80", L"\uFFFD"},  // past U+10FFFF
    };
    StringCache utf8First(0), wideFirst(0);
    for (auto const& [utf8, wide] : forms) {
        wchar_t const* a = utf8First.cacheUtf8(utf8.data(), utf8.size());
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(std::wstring(a), wide) << utf8;
        EXPECT_EQ(utf8First.cache(wide.c_str()), a) << utf8;
        wchar_t const* b = wideFirst.cache(wide.c_str(), wide.size());
        EXPECT_EQ(wideFirst.cacheUtf8(utf8.data(), utf8.size()), b) << utf8;
    }
    // Only n bytes count: no NUL is needed after them.
    EXPECT_EQ(utf8First.cacheUtf8("abcdef", 3), utf8First.cache(L"abc"));
    EXPECT_EQ(utf8First.cacheUtf8(nullptr, 0), nullptr);
    EXPECT_EQ(wideFirst.size(), std::size(forms) - 2);  // the last three are one text
    EXPECT_EQ(utf8First.size(), wideFirst.size() + 1);  // and "abc"
    EXPECT_EQ(stored(), static_cast<long>(utf8First.size() + wideFirst.size()));
}

// A keyed text is the cache's own copy, the one cache() gives, however many
// keys name it and however far the key table grew; asking again adds nothing.
TEST_F(StringCacheTest, KeyedTextsAreTheCachesOwnCopies) {
    StringCache cache(0);
    auto const key = [](size_t k) { return k * 0x10001 + 1; };
    std::vector<wchar_t const*> got;
    for (size_t k = 0; k < 500; ++k) {  // two keys a text
        std::wstring const text = L"n" + std::to_wstring(k % 250);
        got.push_back(cache.cacheKeyed(key(k), text.c_str(), text.size()));
    }
    size_t const bytes = cache.bytes();
    EXPECT_EQ(cache.size(), 250u);
    for (size_t k = 0; k < 500; ++k) {
        ASSERT_EQ(got[k], cache.cache((L"n" + std::to_wstring(k % 250)).c_str())) << k;
        ASSERT_EQ(cache.cacheKeyed(key(k), L"ignored", 7), got[k]) << k;  // known keys are found by the key alone
    }
    EXPECT_EQ(cache.cacheKeyed(0, L"n3", 2), got[3]);  // key 0: the text decides
    EXPECT_EQ(cache.cacheKeyed(99, nullptr, 0), nullptr);
    EXPECT_TRUE(cache.size() == 250u && cache.bytes() == bytes);
}
