// Save tests: a body run in a child process (one that limits its own
// resources, or as the unprivileged user when the tests run as root: root
// would bypass every permission checked), and the scratch files a save must
// not leave behind.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace testfiles {

constexpr uid_t kNobody = 65534;
constexpr int kCannotSwitchUser = 77;

// The child's exit code: 0 passed, kCannotSwitchUser, anything else failed.
inline int inChild(std::function<bool()> const& body, bool dropRoot = true) {
    pid_t child = fork();
    if (child == 0) {
        if (dropRoot && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(kCannotSwitchUser);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The body, run as the unprivileged user, must pass; the test is skipped when
// the user cannot be switched to.
#define EXPECT_AS_USER(...)                                                                                \
    do {                                                                                                   \
        int const code = testfiles::inChild(__VA_ARGS__);                                                  \
        if (code == testfiles::kCannotSwitchUser) GTEST_SKIP() << "cannot switch to an unprivileged user"; \
        EXPECT_EQ(0, code);                                                                                \
    } while (0)

inline bool noTemporaryFiles(std::filesystem::path const& dir) {
    return std::none_of(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator(),
                        [](auto const& e) { return e.path().extension() == ".tmp"; });
}

}  // namespace testfiles
