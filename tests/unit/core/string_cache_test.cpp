#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
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


// Null stays null, empty and long texts are separate entries; a long text is
// kept whole, and every entry is freed with its cache (the sanitizer build
// checks that entries holding their text inline are released correctly).
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
        EXPECT_EQ(StringCache::stringCount, before + 2);
    }
    EXPECT_EQ(StringCache::stringCount, before);
}

static std::wstring str(wchar_t const* s) { return s ? s : L"(null)"; }

// Texts that share long prefixes, differ only in their last unit, are
// prefixes of one another, or hold non-ASCII units.
static std::vector<std::wstring> manyTexts(size_t n) {
    std::vector<std::wstring> out;
    std::wstring const shared(40, L'p');
    for (size_t i = 0; i < n; ++i) {
        std::wstring const number = std::to_wstring(i / 4);
        switch (i % 4) {
        case 0: out.push_back(shared + number); break;
        case 1: out.push_back(shared + number + L"\u00e9"); break;
        case 2: out.push_back(shared + number + L"\U0001F600"); break;
        default: out.push_back(number); break;
        }
    }
    return out;
}

// Asks the cache for texts[order[k]] (in turns through both entry points)
// and checks the answers against the pointers of the first pass.
static void expectSameAnswers(StringCache& cache, std::vector<std::wstring> const& texts,
                              std::vector<size_t> const& order, std::vector<wchar_t const*>& pointers) {
    long const count = StringCache::stringCount;
    bool const first = pointers.empty();
    if (first) pointers.assign(texts.size(), nullptr);
    for (size_t k = 0; k < order.size(); ++k) {
        std::wstring const copy = texts[order[k]];  // never the pointer asked before
        wchar_t const* got = k % 2 ? cache.cache(copy.c_str()) : cache.cache(copy.c_str(), copy.size());
        wchar_t const*& expected = pointers[order[k]];
        if (!expected && first) expected = got;
        ASSERT_EQ(got, expected) << "text #" << order[k] << " at step " << k;
        ASSERT_EQ(std::wstring(got), copy);
    }
    if (!first) {
        EXPECT_EQ(StringCache::stringCount, count) << "a text was stored twice";
    }
}

static void checkInterning(size_t n) {
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
    EXPECT_EQ(StringCache::stringCount, before);
}

TEST(StringCache, AnswersStayExactInAnyOrderOfAsking) {
    checkInterning(50);
    checkInterning(5000);
}

TEST(StringCache, AnswersStayExactPastAHundredThousandStrings) { checkInterning(120000); }

// Nulls and empty texts in the middle of a repeated sequence.
TEST(StringCache, NullAndEmptyInsideARepeatedSequence) {
    StringCache cache(0);
    std::vector<wchar_t const*> const texts = {L"a", nullptr, L"", L"ab", L"a", L"", nullptr, L"b"};
    std::vector<wchar_t const*> first;
    for (int pass = 0; pass < 3; ++pass)
        for (size_t i = 0; i < texts.size(); ++i) {
            wchar_t const* got = cache.cache(texts[i]);
            if (pass == 0) first.push_back(got);
            EXPECT_EQ(got, first[i]);
            EXPECT_EQ(str(got), str(texts[i]));
        }
    EXPECT_TRUE(first[0] == first[4] && first[2] == first[5] && first[0] != first[3]);
}

// Memory that comes back: asking again for known texts, in any order and
// from fresh buffers, never grows the cache.
TEST(StringCache, KnownTextsNeverGrowIt) {
    StringCache cache(0);
    auto const texts = manyTexts(20000);
    for (auto const& text : texts) cache.cache(text.c_str(), text.size());
    size_t const bytes = cache.bytes();
    long const count = StringCache::stringCount;
    size_t const entries = cache.size();
    for (int pass = 0; pass < 5; ++pass)
        for (size_t i = 0; i < texts.size(); ++i) {
            std::wstring const copy = texts[(i * 7919 + pass) % texts.size()];
            cache.cache(copy.c_str());
        }
    EXPECT_EQ(cache.bytes(), bytes);
    EXPECT_EQ(cache.size(), entries);
    EXPECT_EQ(StringCache::stringCount, count);
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
