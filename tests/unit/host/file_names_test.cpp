#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/host/data_dir.h"
#include "platform/host/file_names.h"
#include "tests/unit/common/temp_files.h"

using namespace testfiles;

// That the first folder holding a name wins is the object model's style
// sheet test; here empty items, the data folder last, folders that are not
// files, and absolute names.
TEST(FileNames, ConfigurationSearchFollowsThePathThenTheDataDirectory) {
    TempDir first, second;
    first.write("xml/stylesheet/both.xsl", "first");
    std::filesystem::create_directories(first / "xml/stylesheet/dir.xsl");
    ScopedEnv path("QUILL_CONFIG_PATH", ":" + first.path().string() + "::" + second.path().string() + ":");
    size_t count = 0;
    wchar_t const* const* dirs = ux_configuration_directories(&count);
    ASSERT_EQ(count, 3u);
    EXPECT_TRUE(dirs[0] == first.path().wstring() && dirs[1] == second.path().wstring());
    EXPECT_TRUE(dirs[2] == widen(ux_data_dir()) && dirs[3] == nullptr);

    wchar_t found[UX_MAX_PATH];
    EXPECT_TRUE(ux_find_configuration_file(L"xml/stylesheet/both.xsl", found));
    EXPECT_EQ(found, first.file("xml/stylesheet/both.xsl"));
    for (wchar_t const* missing : {L"xml/stylesheet/dir.xsl", L"xml/stylesheet/none.xsl"}) {
        EXPECT_FALSE(ux_find_configuration_file(missing, found));
        EXPECT_STREQ(found, L"");
    }
    std::wstring const absolute = first.file("xml/stylesheet/both.xsl");
    EXPECT_TRUE(ux_find_configuration_file(absolute.c_str(), found));
    EXPECT_EQ(found, absolute);
}
