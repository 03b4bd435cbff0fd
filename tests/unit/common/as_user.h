// Save-target tests: a body run in a child process, as the unprivileged user
// when the tests run as root (root would bypass every permission checked),
// and the scratch files a save must not leave behind.
#pragma once

#include <grp.h>
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

inline bool noTemporaryFiles(std::filesystem::path const& dir) {
    return std::none_of(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator(),
                        [](auto const& e) { return e.path().extension() == ".tmp"; });
}

}  // namespace testfiles
