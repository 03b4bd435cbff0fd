// ShellExecuteW "open": runs the configured opener detached, never waits.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/win32/win32.h"
#include "win32_fixture.h"

using namespace win32test;

namespace {

class ShellOpen : public ::testing::Test {
protected:
    void SetUp() override {
        // The opener records its argument, then lingers: the call must not wait for it.
        writeFile(opener_, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + (dir_ / "opened").string() + ".tmp\"\nmv \"" +
                               (dir_ / "opened").string() + ".tmp\" \"" + (dir_ / "opened").string() +
                               "\"\nsleep 5\n");
        chmod(opener_.c_str(), 0755);
        setenv("QUILL_OPEN_COMMAND", opener_.c_str(), 1);
    }
    void TearDown() override { unsetenv("QUILL_OPEN_COMMAND"); }

    // Waits for the detached opener's record (bounded, not a measurement).
    std::string opened() {
        for (int i = 0; i < 500 && !std::filesystem::exists(dir_ / "opened"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return readFile(dir_ / "opened");
    }

    TempDir dir_;
    std::filesystem::path opener_ = dir_ / "opener.sh";
};

TEST_F(ShellOpen, HandsTheFileToTheOpener) {
    std::string file = (dir_ / "report \xC3\xA9.xml").string();
    HINSTANCE result = ShellExecuteW(nullptr, L"open", wide(file).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<intptr_t>(result), 32);
    EXPECT_EQ(file, opened());
}

TEST_F(ShellOpen, FailuresAreReportedAsSmallValues) {
    EXPECT_LE(reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, L"print", L"/tmp/x", nullptr, nullptr, SW_SHOW)), 32);
    EXPECT_LE(reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, L"open", nullptr, nullptr, nullptr, SW_SHOW)), 32);
    setenv("QUILL_OPEN_COMMAND", (dir_ / "no-such-opener").c_str(), 1);
    EXPECT_LE(reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, L"open", L"/tmp/x", nullptr, nullptr, SW_SHOW)), 32);
}

}  // namespace
