#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/host/data_dir.h"
#include "platform/host/file_names.h"
#include "tests/unit/common/temp_files.h"

using namespace testfiles;

TEST(FileNames, ConfigurationSearchFollowsThePathThenTheDataDirectory) {
    TempDir first, second;
    second.write("xml/stylesheet/both.xsl", "second");
    first.write("xml/stylesheet/both.xsl", "first");
    second.write("xml/stylesheet/only2.xsl", "second");
    std::filesystem::create_directories(first / "xml/stylesheet/dir.xsl");
    ScopedEnv path("QUILL_CONFIG_PATH", ":" + first.path().string() + "::" + second.path().string() + ":");

    size_t count = 0;
    wchar_t const* const* dirs = ux_configuration_directories(&count);
    ASSERT_EQ(count, 3u);  // empty items are skipped
    EXPECT_EQ(dirs[0], first.path().wstring());
    EXPECT_EQ(dirs[1], second.path().wstring());
    EXPECT_EQ(dirs[2], widen(ux_data_dir()));
    EXPECT_EQ(dirs[3], nullptr);

    wchar_t found[UX_MAX_PATH];
    EXPECT_TRUE(ux_find_configuration_file(L"xml/stylesheet/both.xsl", found));
    EXPECT_EQ(found, first.file("xml/stylesheet/both.xsl"));
    EXPECT_TRUE(ux_find_configuration_file(L"xml/stylesheet/only2.xsl", found));
    EXPECT_EQ(found, second.file("xml/stylesheet/only2.xsl"));
    // A directory of that name is not a file: the search goes on and fails.
    EXPECT_FALSE(ux_find_configuration_file(L"xml/stylesheet/dir.xsl", found));
    EXPECT_STREQ(found, L"");
    EXPECT_FALSE(ux_find_configuration_file(L"xml/stylesheet/none.xsl", found));
    EXPECT_STREQ(found, L"");
    // An absolute name is taken as it stands.
    std::wstring absolute = second.file("xml/stylesheet/only2.xsl");
    EXPECT_TRUE(ux_find_configuration_file(absolute.c_str(), found));
    EXPECT_EQ(found, absolute);
}
