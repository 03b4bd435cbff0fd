#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <regex>
#include <set>
#include <string>

#include "platform/host/system.h"
#include "platform/host/utf8.h"
#include "temp_dir.h"

namespace {

std::string narrow(wchar_t const* s) {
    unsigned char* u = InternalToUTF8(s, nullptr, 0);
    std::string out = reinterpret_cast<char*>(u);
    kx_free(u);
    return out;
}

bool exists(std::string const& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(System, FactsComeFromTheRunningSystem) {
    EXPECT_STREQ(SYSTEM::program_version_string(), L"0.1.0");

    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string full = narrow(SYSTEM::fullhostname());
    EXPECT_EQ(full.rfind(host, 0), 0u) << full << " does not start with " << host;

    passwd* me = getpwuid(geteuid());
    ASSERT_NE(me, nullptr);
    EXPECT_EQ(narrow(SYSTEM::username()), me->pw_name);
}

TEST(System, DateAndTimeAreTodayAndNow) {
    // Read the clock around the call so that a change of day in between is
    // accepted rather than flaky.
    auto today = [] {
        char text[16];
        time_t now = time(nullptr);
        tm local{};
        localtime_r(&now, &local);
        strftime(text, sizeof text, "%Y-%m-%d", &local);
        return std::string(text);
    };
    std::string before = today();
    std::string date = narrow(SYSTEM::get_date_string_2000());
    std::string after = today();
    EXPECT_TRUE(date == before || date == after) << date;
    EXPECT_TRUE(std::regex_match(narrow(SYSTEM::get_time_string()), std::regex(R"(([01]\d|2[0-3]):[0-5]\d:[0-5]\d)")));
}

TEST(System, UniqueFileNamesAreNewAndInsideTheDirectory) {
    TempDir dir;
    std::wstring wdir = widen(dir.path());
    std::set<std::wstring> seen;
    for (int i = 0; i < 20; ++i) {
        wchar_t buffer[1024];
        ASSERT_EQ(FILING::unique_file_name(wdir.c_str(), buffer, 1024), buffer);
        std::wstring name = buffer;
        EXPECT_EQ(name.rfind(wdir + L"/", 0), 0u);
        EXPECT_FALSE(exists(narrow(buffer)));
        EXPECT_TRUE(seen.insert(name).second) << "repeated name";
        dir.write(narrow(buffer).substr(dir.path().size() + 1), "taken");  // the next one must avoid it
    }
    wchar_t small[8];
    EXPECT_EQ(FILING::unique_file_name(wdir.c_str(), small, 8), nullptr);
    EXPECT_EQ(FILING::unique_file_name(nullptr, small, 8), nullptr);
}

TEST(System, TemporaryDirectoryFollowsTmpdir) {
    {
        ScopedEnv tmp("TMPDIR", "/var/scratch//");
        EXPECT_STREQ(ux_get_tmpdir(false), L"/var/scratch");
        EXPECT_STREQ(ux_get_tmpdir(true), L"/var/scratch/");
    }
    ScopedEnv unset("TMPDIR", nullptr);
    EXPECT_STREQ(ux_get_tmpdir(false), L"/tmp");
    EXPECT_STREQ(ux_get_tmpdir(true), L"/tmp/");
}
