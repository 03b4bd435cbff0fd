// The reader's UTF-8 decoder: block reads near the end of readable memory
// and every kind of sequence, against the engine's reference conversion.
#include <sys/mman.h>
#include <unistd.h>

#include "platform/msxml6/sax_text.h"
#include "sax_fixture.h"

using namespace saxtest;

namespace {

std::wstring decoded(char const* s, size_t n) {
    std::vector<wchar_t> out(n + mx::utf8::kSlack);
    size_t count = mx::utf8::decode(out.data(), s, n);
    return std::wstring(out.data(), count);
}

// Texts of every length up to 40 that mix ASCII runs with multi-byte and
// broken sequences.
std::vector<std::string> samples() {
    std::vector<std::string> pieces{"a", "hello world ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E", "\n\t  ",
                                    "\xFF", "\xC3", "\xE2\x82", "\xED\xA0\x80", "\xC0\x80"};
    std::vector<std::string> out;
    std::mt19937 rng(7);
    for (int k = 0; k < 400; ++k) {
        std::string s;
        size_t len = rng() % 41;
        while (s.size() < len) s += pieces[rng() % pieces.size()];
        s.resize(len);
        out.push_back(s);
    }
    return out;
}

}  // namespace

TEST(Utf8Decode, MatchesTheReferenceConversion) {
    for (auto const& s : samples()) EXPECT_EQ(mx::toWide(s.data(), s.size()), decoded(s.data(), s.size())) << s;
}

TEST(Utf8Decode, TextEndingAtTheLastReadableByteIsSafe) {
    long page = sysconf(_SC_PAGESIZE);
    void* mem = mmap(nullptr, static_cast<size_t>(2 * page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, mem);
    char* guard = static_cast<char*>(mem) + page;
    ASSERT_EQ(0, mprotect(guard, static_cast<size_t>(page), PROT_NONE));  // reading it would crash
    for (auto const& s : samples()) {
        char* at = guard - s.size();
        memcpy(at, s.data(), s.size());
        EXPECT_EQ(mx::toWide(s.data(), s.size()), decoded(at, s.size())) << s;
    }
    munmap(mem, static_cast<size_t>(2 * page));
}
