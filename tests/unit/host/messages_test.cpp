#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "platform/host/messages.h"
#include "tests/unit/common/temp_files.h"

using testfiles::ScopedEnv;

TEST(Messages, BuiltInTextsThenCallerDefault) {
    ScopedEnv noCatalogue("QUILL_MESSAGES", nullptr);
    EXPECT_STREQ(get_mesg(2376, 1, L"ignored"), L"The file {1} is not a well-formed XML file.");
    EXPECT_STREQ(get_mesg(2376, 2, L"ignored"), L"No loader registered for XML document with root \"{1}\".");
    EXPECT_STREQ(get_mesg(2376, 99, L"fallback"), L"fallback");
    EXPECT_EQ(get_mesg(1, 1, nullptr), nullptr);
}

TEST(Messages, FixReplacesEveryPlaceholder) {
    wchar_t buffer[1024];
    EXPECT_EQ(ux_fix_mesg(buffer, 1024, L"The file {1} is bad.", L"/tmp/a.xml"), buffer);
    EXPECT_STREQ(buffer, L"The file /tmp/a.xml is bad.");
    ux_fix_mesg(buffer, 1024, L"{1}-{1}", L"ab");
    EXPECT_STREQ(buffer, L"ab-ab");
    ux_fix_mesg(buffer, 1024, L"root \"{1}\"", nullptr);
    EXPECT_STREQ(buffer, L"root \"\"");
    ux_fix_mesg(buffer, 1024, L"{2} {1 {1", L"x");  // only the whole {1} is a placeholder
    EXPECT_STREQ(buffer, L"{2} {1 {1");
    ux_fix_mesg(buffer, 1024, L"{1}", L"{1}");  // no second round of replacement
    EXPECT_STREQ(buffer, L"{1}");
}
