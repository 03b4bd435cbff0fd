#include <gtest/gtest.h>

#include <cwchar>
#include <fstream>
#include <vector>
#include <regex>
#include <sstream>
#include <string>

#include "platform/host/automation_log.h"
#include "platform/host/messages.h"
#include "temp_dir.h"

TEST(Messages, BuiltInTextsThenCallerDefault) {
    ScopedEnv noCatalogue("QUILL_MESSAGES", nullptr);
    EXPECT_STREQ(get_mesg(2376, 1, L"ignored"), L"The file {1} is not a well-formed XML file.");
    EXPECT_STREQ(get_mesg(2376, 2, L"ignored"), L"No loader registered for XML document with root \"{1}\".");
    EXPECT_STREQ(get_mesg(2376, 99, L"fallback"), L"fallback");
    EXPECT_EQ(get_mesg(1, 1, nullptr), nullptr);
}

TEST(Messages, CatalogueFileOverridesAndIsReadAgainWhenRenamed) {
    TempDir dir;
    std::string first = dir.write("de.msg",
                                  "# translation\n"
                                  "2376 1 Die Datei {1} ist kein wohlgeformtes XML.\r\n"
                                  "\n"
                                  "not a line\n"
                                  "2376 3  two blanks\\nand a \\\\ backslash\n"
                                  "2376 4 \xC3\xBC\xF0\x9F\x98\x80\n");
    std::string second = dir.write("fr.msg", "2376 1 Le fichier {1}\n");
    {
        ScopedEnv catalogue("QUILL_MESSAGES", first);
        EXPECT_STREQ(get_mesg(2376, 1, L"x"), L"Die Datei {1} ist kein wohlgeformtes XML.");
        EXPECT_STREQ(get_mesg(2376, 3, L"x"), L" two blanks\nand a \\ backslash");
        EXPECT_STREQ(get_mesg(2376, 4, L"x"), L"\u00FC\U0001F600");
        // Not in the file: the built-in text, then the default.
        EXPECT_STREQ(get_mesg(2376, 2, L"x"), L"No loader registered for XML document with root \"{1}\".");
        EXPECT_STREQ(get_mesg(7, 7, L"x"), L"x");
    }
    wchar_t const* german = nullptr;
    {
        ScopedEnv catalogue("QUILL_MESSAGES", first);
        german = get_mesg(2376, 1, L"x");
    }
    {
        ScopedEnv catalogue("QUILL_MESSAGES", second);
        EXPECT_STREQ(get_mesg(2376, 1, L"x"), L"Le fichier {1}");
    }
    // A text handed out earlier stays valid after the catalogue changed.
    EXPECT_STREQ(german, L"Die Datei {1} ist kein wohlgeformtes XML.");
    ScopedEnv missing("QUILL_MESSAGES", dir.file("missing.msg"));
    EXPECT_STREQ(get_mesg(2376, 99, L"fallback"), L"fallback");
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

TEST(Messages, FixIsBoundedBySize) {
    wchar_t buffer[16];
    std::wmemset(buffer, L'#', 16);
    ux_fix_mesg(buffer, 8, L"ab{1}cd", L"0123456789");
    EXPECT_STREQ(buffer, L"ab01234");
    EXPECT_EQ(buffer[8], L'#');
    ux_fix_mesg(buffer, 8, L"0123456789{1}", L"x");
    EXPECT_STREQ(buffer, L"0123456");
    ux_fix_mesg(buffer, 1, L"abc", L"x");
    EXPECT_STREQ(buffer, L"");
    buffer[0] = L'q';
    ux_fix_mesg(buffer, 0, L"abc", L"x");
    EXPECT_EQ(buffer[0], L'q');
}

namespace {

std::string readAll(std::string const& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(AutomationLog, WritesTimestampedLinesWithTheirLevel) {
    TempDir dir;
    std::string log = dir.file("automation.log");
    {
        ScopedEnv unset("QUILL_AUTOMATION_LOG", nullptr);
        AutomationLogger::log(L"nowhere", 1);
        EXPECT_FALSE(AutomationLogger::enabled(1));
    }
    ScopedEnv on("QUILL_AUTOMATION_LOG", log);
    AutomationLogger::log(L"Loading ", L"/data/model \u00E9.xml", 1);
    AutomationLogger::log(L"No filename specified", 1);
    std::string text = readAll(log);
    std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[1\] (.*)\n)");
    std::vector<std::string> messages;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) messages.push_back((*it)[1]);
    ASSERT_EQ(messages.size(), 2u) << text;
    EXPECT_EQ(messages[0], "Loading /data/model \xC3\xA9.xml");
    EXPECT_EQ(messages[1], "No filename specified");
}

