#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/host/data_dir.h"
#include "platform/host/file_names.h"
#include "temp_dir.h"

TEST(FileNames, MergeJoinsWithOneSeparator) {
    struct Case {
        wchar_t const* dir;
        wchar_t const* name;
        wchar_t const* joined;
    } const cases[] = {
        {L"xml/stylesheet", L"a.xsl", L"xml/stylesheet/a.xsl"},
        {L"/etc/", L"q.conf", L"/etc/q.conf"},
        {L"/etc///", L"q.conf", L"/etc/q.conf"},
        {L"/", L"q", L"/q"},
        {L"", L"q", L"q"},
        {nullptr, L"q", L"q"},
        {L"/etc", L"/abs/q", L"/abs/q"},
        {L"dir", L"", L"dir"},
    };
    for (auto const& c : cases) {
        wchar_t result[UX_MAX_PATH];
        EXPECT_TRUE(ux_filenamemerge(c.dir, c.name, result));
        EXPECT_STREQ(result, c.joined);
    }
    wchar_t tiny[6];
    EXPECT_FALSE(ux_filenamemerge(L"abc", L"def", tiny, 6));
    EXPECT_STREQ(tiny, L"");
    EXPECT_TRUE(ux_filenamemerge(L"ab", L"de", tiny, 6));
}

TEST(FileNames, ConfigurationSearchFollowsThePathThenTheDataDirectory) {
    TempDir first, second;
    second.write("xml/stylesheet/both.xsl", "second");
    first.write("xml/stylesheet/both.xsl", "first");
    second.write("xml/stylesheet/only2.xsl", "second");
    std::filesystem::create_directories(first.file("xml/stylesheet/dir.xsl"));
    ScopedEnv path("QUILL_CONFIG_PATH", ":" + first.path() + "::" + second.path() + ":");

    size_t count = 0;
    wchar_t const* const* dirs = ux_configuration_directories(&count);
    ASSERT_EQ(count, 3u);  // empty items are skipped
    EXPECT_EQ(dirs[0], widen(first.path()));
    EXPECT_EQ(dirs[1], widen(second.path()));
    EXPECT_EQ(dirs[2], widen(ux_data_dir()));
    EXPECT_EQ(dirs[3], nullptr);

    wchar_t found[UX_MAX_PATH];
    EXPECT_TRUE(ux_find_configuration_file(L"xml/stylesheet/both.xsl", found));
    EXPECT_EQ(found, widen(first.file("xml/stylesheet/both.xsl")));
    EXPECT_TRUE(ux_find_configuration_file(L"xml/stylesheet/only2.xsl", found));
    EXPECT_EQ(found, widen(second.file("xml/stylesheet/only2.xsl")));
    // A directory of that name is not a file: the search goes on and fails.
    EXPECT_FALSE(ux_find_configuration_file(L"xml/stylesheet/dir.xsl", found));
    EXPECT_STREQ(found, L"");
    EXPECT_FALSE(ux_find_configuration_file(L"xml/stylesheet/none.xsl", found));
    EXPECT_STREQ(found, L"");
    // An absolute name is taken as it stands.
    std::wstring absolute = widen(second.file("xml/stylesheet/only2.xsl"));
    EXPECT_TRUE(ux_find_configuration_file(absolute.c_str(), found));
    EXPECT_EQ(found, absolute);
}

TEST(FileNames, AccessLikeTheSystemCall) {
    TempDir dir;
    std::wstring file = widen(dir.write("f.txt", "x"));
    EXPECT_EQ(ux_file_eaccess(file.c_str(), 4), 0);
    EXPECT_EQ(ux_file_eaccess(file.c_str(), 0), 0);
    EXPECT_EQ(ux_file_eaccess(widen(dir.file("missing")).c_str(), 4), -1);
    EXPECT_EQ(ux_file_eaccess(nullptr, 4), -1);
    EXPECT_EQ(ux_file_eaccess(file.c_str(), 1), -1);  // not executable, even for root
    if (geteuid() != 0) {
        chmod(dir.file("f.txt").c_str(), 0);
        EXPECT_EQ(ux_file_eaccess(file.c_str(), 4), -1);
    }
}

TEST(FileNames, AbsolutePathsAreNormalised) {
    TempDir dir;
    std::string cwd = std::filesystem::current_path().string();
    struct Case {
        wchar_t const* in;
        std::wstring out;
    } const cases[] = {
        {L"/a/./b//c/../d/", L"/a/b/d"},
        {L"/../..", L"/"},
        {L"/", L"/"},
        {L"rel/x.xsl", widen(cwd == "/" ? "/rel/x.xsl" : cwd + "/rel/x.xsl")},
        {L"", widen(cwd)},
    };
    for (auto const& c : cases) {
        wchar_t result[UX_MAX_PATH];
        EXPECT_TRUE(ux_make_path_absolute(c.in, result));
        EXPECT_EQ(result, c.out);
    }
    wchar_t inPlace[UX_MAX_PATH] = L"/x/y/../z";
    EXPECT_TRUE(ux_make_path_absolute(inPlace, inPlace));
    EXPECT_STREQ(inPlace, L"/x/z");
    wchar_t tiny[4];
    EXPECT_FALSE(ux_make_path_absolute(L"/abcdef", tiny, 4));
    EXPECT_STREQ(tiny, L"");
}
