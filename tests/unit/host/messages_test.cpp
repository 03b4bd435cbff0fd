#include <gtest/gtest.h>

#include "platform/host/messages.h"
#include "tests/unit/common/temp_files.h"

// The built-in texts themselves are checked where the loader registry uses them.
TEST(Messages, UnknownNumbersGiveTheCallersDefault) {
    testfiles::ScopedEnv noCatalogue("QUILL_MESSAGES", nullptr);
    EXPECT_STREQ(get_mesg(2376, 99, L"fallback"), L"fallback");
    EXPECT_EQ(get_mesg(1, 1, nullptr), nullptr);
}

TEST(Messages, FixReplacesEveryWholePlaceholderOnce) {
    wchar_t buffer[1024];
    EXPECT_EQ(ux_fix_mesg(buffer, 1024, L"The file {1} is bad.", L"/tmp/a.xml"), buffer);
    EXPECT_STREQ(buffer, L"The file /tmp/a.xml is bad.");
    wchar_t const* const cases[][3] = {{L"{1}-{1}", L"ab", L"ab-ab"},
                                       {L"root \"{1}\"", nullptr, L"root \"\""},
                                       {L"{2} {1 {1", L"x", L"{2} {1 {1"},
                                       {L"{1}", L"{1}", L"{1}"}};
    for (auto const& c : cases) EXPECT_STREQ(ux_fix_mesg(buffer, 1024, c[0], c[1]), c[2]) << c[0];
}
