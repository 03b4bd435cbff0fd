// The host's small services: bounded copies, message texts, arrays.
#include <gtest/gtest.h>

#include <cwchar>
#include <memory>
#include <string>

#include "platform/host/basic_array.h"
#include "platform/host/messages.h"
#include "platform/host/ux_string.h"
#include "tests/unit/common/temp_files.h"

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

// The built-in texts themselves are checked where the loader registry uses
// them; unknown numbers give the caller's default.
TEST(Messages, DefaultsAndPlaceholders) {
    testfiles::ScopedEnv noCatalogue("QUILL_MESSAGES", nullptr);
    EXPECT_STREQ(get_mesg(2376, 99, L"fallback"), L"fallback");
    EXPECT_EQ(get_mesg(1, 1, nullptr), nullptr);
    // Every whole placeholder is replaced, once.
    wchar_t buffer[1024];
    EXPECT_EQ(ux_fix_mesg(buffer, 1024, L"The file {1} is bad.", L"/tmp/a.xml"), buffer);
    EXPECT_STREQ(buffer, L"The file /tmp/a.xml is bad.");
    wchar_t const* const cases[][3] = {{L"{1}-{1}", L"ab", L"ab-ab"},
                                       {L"root \"{1}\"", nullptr, L"root \"\""},
                                       {L"{2} {1 {1", L"x", L"{2} {1 {1"},
                                       {L"{1}", L"{1}", L"{1}"}};
    for (auto const& c : cases) EXPECT_STREQ(ux_fix_mesg(buffer, 1024, c[0], c[1]), c[2]) << c[0];
}

TEST(BasicArray, OwnElementsSurviveReallocationAndEverySlotIsDestroyed) {
    BASIC_ARRAY<std::string, 16, long> names;
    std::string const name(100, 'a');  // long enough to live on the heap
    names.append(name);
    for (int round = 0; round < 40; ++round) names.append(names.elt(0));  // refers into the buffer that may be freed
    for (long i = 0; i < names.size(); ++i) ASSERT_EQ(names.elt(i), name) << i;
    names.grow_and_set(200, names.elt(3));
    EXPECT_EQ(names.elt(200), name);
    EXPECT_EQ(names.size(), 201);

    auto alive = std::make_shared<int>(0);
    {
        BASIC_ARRAY<std::shared_ptr<int>, 16, long> a;
        for (int i = 0; i < 20; ++i) a.append(alive);
        EXPECT_EQ(alive.use_count(), 21);  // copies moved to a new buffer are not doubled
        a.reset(5);                        // slots past the count still hold theirs
        EXPECT_EQ(alive.use_count(), 21);
    }
    EXPECT_EQ(alive.use_count(), 1);
}
