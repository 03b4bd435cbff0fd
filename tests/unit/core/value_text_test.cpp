#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "core/XmlValueText.h"
#include "tests/unit/common/temp_files.h"

namespace {

std::wstring written(double v) {
    wchar_t buffer[1024];
    writeDouble(buffer, 1024, v);
    return buffer;
}

}  // namespace

// Sixteen significant digits, which survive the trip back; reading scans
// like scanf and leaves the value alone when it fails; writing stays within
// the size given.
TEST(ValueText, DoublesRoundTripWithSixteenSignificantDigits) {
    std::pair<double, wchar_t const*> const cases[] = {{1.0 / 3.0, L"0.3333333333333333"},
                                                       {0.1, L"0.1"},
                                                       {2.5, L"2.5"},
                                                       {100, L"100"},
                                                       {-0.0, L"-0"},
                                                       {1e300, L"1e+300"},
                                                       {123456789012345678.0, L"1.234567890123457e+17"},
                                                       {-7.25e-12, L"-7.25e-12"}};
    for (auto [value, text] : cases) {
        EXPECT_EQ(written(value), text);
        double back = 0;
        ASSERT_TRUE(readDouble(text, back));
        EXPECT_EQ(written(back), text);
    }
    double v = -1;
    EXPECT_TRUE(readDouble(L"12abc", v) && v == 12);
    EXPECT_TRUE(readDouble(L"  \t-3.5e2 ", v) && v == -350);
    EXPECT_FALSE(readDouble(L"abc", v) || readDouble(L"", v) || readDouble(nullptr, v));
    EXPECT_EQ(v, -350);
    wchar_t buffer[8];
    std::wmemset(buffer, L'#', 8);
    writeDouble(buffer, 5, 1.0 / 3.0);
    EXPECT_STREQ(buffer, L"0.33");
    EXPECT_EQ(buffer[5], L'#');
    writeDouble(buffer, 0, 1);  // nothing at all
    EXPECT_EQ(buffer[0], L'0');
}

// A decimal comma in the process locale must not leak into the texts.
TEST(ValueText, NumbersIgnoreTheProcessLocale) {
    testfiles::TempDir dir;
    std::string command = "localedef -i de_DE -f UTF-8 " + (dir / "de_DE.utf8").string() + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef cannot build de_DE here";
    testfiles::ScopedEnv locpath("LOCPATH", dir.path().string());
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 did not load";
    wchar_t probe[32];
    swprintf(probe, 32, L"%g", 2.5);
    std::wstring const local = probe;
    double v = 0;
    bool const read = readDouble(L"2.5", v);
    std::wstring const text = written(0.1);
    std::setlocale(LC_ALL, "C");
    ASSERT_EQ(local, L"2,5") << "the locale is not in effect";
    EXPECT_TRUE(read && v == 2.5);
    EXPECT_EQ(text, L"0.1");
}
