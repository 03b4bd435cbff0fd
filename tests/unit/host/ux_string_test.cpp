#include <gtest/gtest.h>

#include <cwchar>

#include "platform/host/ux_string.h"

TEST(UxString, CopyWithLimitKeepsAtMostNMinusOne) {
    wchar_t buffer[8];
    std::wmemset(buffer, L'#', 8);
    EXPECT_EQ(ux_strcpy_lim(buffer, L"abcdefghij", 5), buffer);
    EXPECT_STREQ(buffer, L"abcd");
    EXPECT_EQ(buffer[5], L'#');  // nothing written past the limit
    EXPECT_STREQ(ux_strcpy_lim(buffer, L"ab", 8), L"ab");
    EXPECT_STREQ(ux_strcpy_lim(buffer, L"abc", 1), L"");
    EXPECT_STREQ(ux_strcpy_lim(buffer, nullptr, 8), L"");
    buffer[0] = L'q';
    ux_strcpy_lim(buffer, L"abc", 0);
    EXPECT_EQ(buffer[0], L'q');
}
