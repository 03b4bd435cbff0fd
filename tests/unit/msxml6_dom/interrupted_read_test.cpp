// An external file read while a signal arrives: the read is retried, so the
// parse does not fail. The external DTD is a FIFO, so the test knows when
// the reader is blocked in read(2) and interrupts it exactly there.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/unit/common/engine_objects.h"
#include "tests/unit/common/temp_files.h"

using namespace enginetest;

namespace {

std::atomic<int> interrupts{0};
void onSignal(int) { ++interrupts; }

// Whether the thread is blocked in read(2), as /proc tells; waits at most
// about ten seconds for it.
bool waitUntilReading(pid_t tid) {
    std::string const path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    for (int i = 0; i < 10000; ++i) {
        std::string const now = testfiles::readFile(path);
        if (now.rfind(std::to_string(SYS_read) + " ", 0) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST(InterruptedRead, ASignalDuringAnExternalReadIsRetried) {
    testfiles::TempDir dir;
    ASSERT_EQ(0, mkfifo((dir / "ext.dtd").c_str(), 0600));
    std::wstring const in = dir.write("in.xml", "<!DOCTYPE r SYSTEM 'ext.dtd'><r/>");

    struct sigaction action = {}, old = {};
    action.sa_handler = onSignal;  // no SA_RESTART: read(2) fails with EINTR
    sigaction(SIGUSR1, &action, &old);
    pid_t const tid = static_cast<pid_t>(syscall(SYS_gettid));
    pthread_t const reader = pthread_self();
    std::thread writer([&] {
        int fd = open((dir / "ext.dtd").c_str(), O_WRONLY);  // until the loader opens it
        if (waitUntilReading(tid)) {
            pthread_kill(reader, SIGUSR1);
            if (waitUntilReading(tid)) (void)!write(fd, "<!ATTLIST r from CDATA 'dtd'>", 29);
        }
        close(fd);
    });
    auto doc = newDocument();
    doc->put_resolveExternals(VARIANT_TRUE);
    bool const loaded = loadFile(doc.get(), in);
    writer.join();
    sigaction(SIGUSR1, &old, nullptr);

    EXPECT_EQ(1, interrupts.load());
    ASSERT_TRUE(loaded) << parseReason(doc.get());
    EXPECT_EQ(L"dtd", attribute(rootOf(doc.get()).get(), L"from"));
}

}  // namespace
