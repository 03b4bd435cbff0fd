#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/host/utf8.h"

namespace {

std::wstring decode(std::string const& bytes) {
    wchar_t* w = UTF8ToInternal(reinterpret_cast<unsigned char const*>(bytes.c_str()), nullptr, 0);
    std::wstring out = w;
    kx_free(w);
    return out;
}

std::string encode(std::wstring const& text) {
    unsigned char* u = InternalToUTF8(text.c_str(), nullptr, 0);
    std::string out = reinterpret_cast<char*>(u);
    kx_free(u);
    return out;
}

}  // namespace

// Mostly ASCII runs, so that multi-byte characters fall at every offset of
// the eight-byte fast path; the fixed text has every length.
TEST(Utf8, TextRoundTripsExactly) {
    EXPECT_EQ(encode(L"A\u00E9\u20AC\U0001F600\U0010FFFF"), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(encode(L""), "");
    std::mt19937 random(7);
    std::uniform_int_distribution<int> kind(0, 9), ascii(1, 0x7F), bmp(0x80, 0xFFFD), astral(0x10000, 0x10FFFF);
    for (int round = 0; round < 200; ++round) {
        std::wstring text = round ? L"" : L"A\u00E9\u20AC\U0001F600\U0010FFFF";
        for (int i = 0; round && i < round % 40 + 1; ++i) {
            int const k = kind(random);
            wchar_t const c = k < 6 ? ascii(random) : k < 8 ? bmp(random) : astral(random);
            text += c >= 0xD800 && c <= 0xDFFF ? L'?' : c;
        }
        ASSERT_EQ(decode(encode(text)), text) << "round " << round;
    }
}

TEST(Utf8, MalformedBytesBecomeReplacementCharacters) {
    struct Case {
        char const* name;
        std::string bytes;
        std::wstring text;
    } const cases[] = {
        {"empty", "", L""},
        {"lone continuation", "a\x80z", L"a\uFFFDz"},
        {"invalid lead", "\xFF\xFE", L"\uFFFD\uFFFD"},
        {"lead above U+10FFFF", "\xF5\x80\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"overlong two-byte", "\xC0\xAF", L"\uFFFD\uFFFD"},
        {"overlong three-byte", "\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"truncated at end", "ab\xE2\x82", L"ab\uFFFD"},
        {"truncated before ASCII", "\xF0\x9F\x98z", L"\uFFFDz"},
        {"after long ASCII run", "abcdefghij\xC3", L"abcdefghij\uFFFD"},
    };
    for (auto const& c : cases) EXPECT_EQ(decode(c.bytes), c.text) << c.name;
}
