#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/StringCache.h"

namespace {

// Texts that share long prefixes, differ only in their last unit, are
// prefixes of one another, or hold non-ASCII units.
std::vector<std::wstring> manyTexts(size_t n) {
    std::vector<std::wstring> out;
    std::wstring const shared(40, L'p');
    for (size_t i = 0; i < n; ++i) {
        std::wstring const number = std::to_wstring(i / 4);
        wchar_t const* const tails[] = {L"", L"\u00e9", L"\U0001F600"};
        out.push_back(i % 4 == 3 ? number : shared + number + tails[i % 4]);
    }
    return out;
}

// Asks the cache for texts[order[k]] (in turns through both entry points,
// always from a fresh copy) and checks the answers against the pointers of
// the first pass; asking again for known texts never grows the cache.
void expectSameAnswers(StringCache& cache, std::vector<std::wstring> const& texts, std::vector<size_t> const& order,
                       std::vector<wchar_t const*>& pointers) {
    long const count = StringCache::stringCount;
    size_t const entries = cache.size(), bytes = cache.bytes();
    bool const first = pointers.empty();
    if (first) pointers.assign(texts.size(), nullptr);
    for (size_t k = 0; k < order.size(); ++k) {
        std::wstring const copy = texts[order[k]];
        wchar_t const* got = k % 2 ? cache.cache(copy.c_str()) : cache.cache(copy.c_str(), copy.size());
        wchar_t const*& expected = pointers[order[k]];
        if (!expected && first) expected = got;
        ASSERT_EQ(got, expected) << "text #" << order[k] << " at step " << k;
        ASSERT_EQ(std::wstring(got), copy);
    }
    if (first) return;
    EXPECT_EQ(StringCache::stringCount, count) << "a text was stored twice";
    EXPECT_EQ(cache.size(), entries);
    EXPECT_EQ(cache.bytes(), bytes);
}

void checkInterning(size_t n) {
    long const before = StringCache::stringCount;
    {
        StringCache cache(0);
        auto const texts = manyTexts(n);
        std::vector<size_t> inOrder(n), reversed(n), interleaved, shuffled(n);
        for (size_t i = 0; i < n; ++i) inOrder[i] = shuffled[i] = i, reversed[i] = n - 1 - i;
        for (size_t i = 0; i < n; ++i) interleaved.insert(interleaved.end(), {i, 0, i / 2, i, n - 1 - i / 3});
        std::mt19937 random(7);
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        std::vector<wchar_t const*> pointers;
        expectSameAnswers(cache, texts, inOrder, pointers);
        EXPECT_EQ(StringCache::stringCount, before + static_cast<long>(n));
        EXPECT_EQ(std::set<wchar_t const*>(pointers.begin(), pointers.end()).size(), n);
        for (auto const* order : {&inOrder, &inOrder, &reversed, &interleaved, &shuffled, &inOrder})
            expectSameAnswers(cache, texts, *order, pointers);
        // A second cache fed in step keeps its own copies.
        StringCache other(0);
        for (size_t i = 0; i < n; i += 3) {
            wchar_t const* mine = other.cache(texts[i].c_str());
            EXPECT_NE(mine, pointers[i]);
            EXPECT_EQ(cache.cache(texts[i].c_str()), pointers[i]);
            EXPECT_EQ(other.cache(texts[i].c_str(), texts[i].size()), mine);
        }
        EXPECT_EQ(StringCache::stringCount, before + static_cast<long>(n + (n + 2) / 3));
    }
    EXPECT_EQ(StringCache::stringCount, before) << "entries are freed with their cache";
}

}  // namespace

TEST(StringCache, AnswersStayExactInAnyOrderOfAsking) {
    checkInterning(50);
    checkInterning(5000);
    checkInterning(120000);  // past a hundred thousand strings
}

// Null stays null, empty and long texts are separate entries, case matters,
// and a long text is kept whole (the sanitizer build checks that entries
// holding their text inline are released correctly).
TEST(StringCache, NullEmptyLongAndCaseStayApart) {
    long const before = StringCache::stringCount;
    {
        StringCache cache(0);
        std::wstring const longText(5000, L'\u00E9');
        std::vector<wchar_t const*> const texts = {L"a", nullptr, L"",  L"ab",           L"a",
                                                   L"",  nullptr, L"A", longText.c_str()};
        std::vector<wchar_t const*> first;
        for (int pass = 0; pass < 3; ++pass)
            for (size_t i = 0; i < texts.size(); ++i) {
                wchar_t const* got = cache.cache(texts[i]);
                if (pass == 0) first.push_back(got);
                EXPECT_EQ(got, first[i]) << i;
                EXPECT_EQ(got ? std::wstring(got) : L"(null)", texts[i] ? texts[i] : L"(null)");
            }
        EXPECT_TRUE(first[0] == first[4] && first[2] == first[5] && first[0] != first[3] && first[0] != first[7]);
        EXPECT_EQ(StringCache::stringCount, before + 5);
    }
    EXPECT_EQ(StringCache::stringCount, before);
}

// The engine's UTF-8 and the same text in wide form are one entry, whichever
// comes first; broken sequences read as U+FFFD, as the engine decodes them.
TEST(StringCache, Utf8AndWideFormsOfATextShareOneEntry) {
    struct Form {
        std::string utf8;
        std::wstring wide;
    };
    std::vector<Form> const forms = {
        {"", L""},
        {"a", L"a"},
        {"ab", L"ab"},
        {"mm", L"mm"},
        {"a longer text of ascii", L"a longer text of ascii"},
        {"seventeen bytes \xC3\xA9", L"seventeen bytes \u00e9"},  // past the first word
        {"\xC3\xA9t\xC3\xA9", L"\u00e9t\u00e9"},
        {"\xE4\xB8\xAD", L"\u4e2d"},
        {"x\xF0\x9F\x98\x80", L"x\U0001F600"},
        {"a\xFF" "b", L"a\uFFFDb"},          // no lead byte
        {"z\xC3", L"z\uFFFD"},               // cut short
        {"\xE4\x41\x42", L"\uFFFDAB"},       // no continuation byte
        {"\xC0\xAF", L"\uFFFD"},             // overlong
        {"\xED\xA0\x80", L"\uFFFD"},         // a surrogate
        {"\xF4\x90\x80\x80", L"\uFFFD"},     // past U+10FFFF
    };
    long const before = StringCache::stringCount;
    {
        StringCache utf8First(0), wideFirst(0);
        for (auto const& form : forms) {
            wchar_t const* a = utf8First.cacheUtf8(form.utf8.data(), form.utf8.size());
            ASSERT_NE(a, nullptr);
            EXPECT_EQ(std::wstring(a), form.wide) << form.utf8;
            EXPECT_EQ(utf8First.cache(form.wide.c_str()), a) << form.utf8;
            wchar_t const* b = wideFirst.cache(form.wide.c_str(), form.wide.size());
            EXPECT_EQ(wideFirst.cacheUtf8(form.utf8.data(), form.utf8.size()), b) << form.utf8;
        }
        // Only n bytes count: no NUL is needed after them.
        EXPECT_EQ(utf8First.cacheUtf8("abcdef", 3), utf8First.cache(L"abc"));
        EXPECT_EQ(utf8First.cacheUtf8(nullptr, 0), nullptr);
        EXPECT_EQ(wideFirst.size(), forms.size() - 2);  // the last three are one text
        EXPECT_EQ(utf8First.size(), wideFirst.size() + 1);  // and "abc"
        EXPECT_EQ(StringCache::stringCount, before + static_cast<long>(utf8First.size() + wideFirst.size()));
    }
    EXPECT_EQ(StringCache::stringCount, before);
}

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
