#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "platform/host/ux_string.h"

TEST(UxString, CopiesAreIndependentAndNullStaysNull) {
    wchar_t source[] = L"abc";
    wchar_t* copy = ux_strsave(source);
    wchar_t* dup = ux_strdup(source);
    source[0] = L'x';
    EXPECT_STREQ(copy, L"abc");
    EXPECT_STREQ(dup, L"abc");
    EXPECT_NE(copy, dup);
    ux_strfree(copy);
    ux_strfree(dup);
    EXPECT_EQ(ux_strsave(nullptr), nullptr);
    EXPECT_EQ(ux_strdup(nullptr), nullptr);
    ux_strfree(nullptr);
}

TEST(UxString, LengthEqualityAndOrder) {
    EXPECT_EQ(ux_strlen(nullptr), 0u);
    EXPECT_EQ(ux_strlen(L"\U0001F600x"), 2u);  // one unit per code point

    EXPECT_TRUE(ux_strequal(L"a", L"a"));
    EXPECT_FALSE(ux_strequal(L"a", L"A"));
    EXPECT_FALSE(ux_strequal(L"a", L"ab"));
    EXPECT_TRUE(ux_strequal(nullptr, nullptr));
    EXPECT_FALSE(ux_strequal(nullptr, L""));

    EXPECT_LT(ux_strcmp(L"ab", L"abc"), 0);
    EXPECT_GT(ux_strcmp(L"b", L"abc"), 0);
    EXPECT_LT(ux_strcmp(nullptr, L""), 0);
    EXPECT_EQ(ux_strcmp(nullptr, nullptr), 0);
}

TEST(UxString, CopyWithLimitKeepsAtMostNMinusOne) {
    wchar_t buffer[8];
    std::wmemset(buffer, L'#', 8);
    EXPECT_EQ(ux_strcpy_lim(buffer, L"abcdefghij", 5), buffer);
    EXPECT_STREQ(buffer, L"abcd");
    EXPECT_EQ(buffer[5], L'#');  // nothing written past the limit

    ux_strcpy_lim(buffer, L"ab", 8);
    EXPECT_STREQ(buffer, L"ab");
    ux_strcpy_lim(buffer, L"abc", 1);
    EXPECT_STREQ(buffer, L"");
    ux_strcpy_lim(buffer, nullptr, 8);
    EXPECT_STREQ(buffer, L"");

    buffer[0] = L'q';
    ux_strcpy_lim(buffer, L"abc", 0);
    EXPECT_EQ(buffer[0], L'q');
}

TEST(UxString, TrimRemovesOuterWhiteSpaceOnly) {
    struct Case {
        wchar_t const* in;
        wchar_t const* out;
    } const cases[] = {
        {L"  a b \t\n", L"a b"}, {L"ab", L"ab"},         {L"   ", L""},
        {L"", L""},              {L"\u3000x\u00A0", L"x"}, {L"\r\nline\r\n", L"line"},
    };
    for (auto const& c : cases) {
        std::wstring text = c.in;
        EXPECT_STREQ(ux_strtrim(text.data()), c.out) << "input: [" << std::string(text.begin(), text.end()) << "]";
    }
    EXPECT_EQ(ux_strtrim(nullptr), nullptr);
}

TEST(WideTextConverter, CopiesInlineUpTo127AndSpillsBeyond) {
    std::wstring fits(WideTextConverter::SCRATCH - 1, L'x');
    std::wstring spills(WideTextConverter::SCRATCH, L'y');
    WideTextConverter a(fits.c_str()), b(spills.c_str()), empty(L""), none(nullptr);
    EXPECT_FALSE(a.on_heap());
    EXPECT_TRUE(b.on_heap());
    EXPECT_EQ(a.conv_str(), fits);
    EXPECT_EQ(b.conv_str(), spills);
    EXPECT_NE(a.conv_str(), fits.c_str());  // a copy, not the source
    EXPECT_EQ(b.length(), spills.size());
    EXPECT_STREQ(empty.conv_str(), L"");
    EXPECT_EQ(none.conv_str(), nullptr);
}
