// ShellExecuteW with the verb "open": hands a file to the desktop's opener.
//
// The opener runs detached (double fork, own session, stdin from /dev/null),
// so the caller never waits for it and no zombie is left behind. A pipe that
// closes on exec tells whether the program could be started at all.
#include <errno.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/wide_path.h"
#include "platform/win32/win32.h"

namespace {

constexpr intptr_t kStarted = 42;        // above 32: success
constexpr intptr_t kFileNotFound = 2;    // SE_ERR_FNF
constexpr intptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC: unsupported verb

HINSTANCE result(intptr_t code) { return reinterpret_cast<HINSTANCE>(code); }

bool readFully(int fd, void* buffer, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, static_cast<char*>(buffer) + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

// Runs in the grandchild: only async-signal-safe calls up to exec.
[[noreturn]] void execOpener(char* const* argv, char const* dir, int reportFd) {
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) {
        dup2(devnull, STDIN_FILENO);
        close(devnull);
    }
    if (dir && chdir(dir) != 0) {
        // keep the caller's directory
    }
    execvp(argv[0], argv);
    int err = errno;
    ssize_t ignored = write(reportFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

// Starts argv detached; true when exec succeeded.
bool spawnDetached(std::vector<std::string> const& args, std::string const& dir) {
    std::vector<char*> argv;
    for (auto const& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    char const* cdir = dir.empty() ? nullptr : dir.c_str();

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;
    pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        close(report[0]);
        setsid();
        pid_t grandchild = fork();
        if (grandchild == 0) execOpener(argv.data(), cdir, report[1]);
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    int err = 0;
    bool execFailed = readFully(report[0], &err, sizeof err);
    close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !execFailed;
}

}  // namespace

HINSTANCE ShellExecuteW(HWND, wchar_t const* verb, wchar_t const* file, wchar_t const* parameters,
                        wchar_t const* directory, int) {
    if (verb && *verb && wcscmp(verb, L"open") != 0) return result(kNoAssociation);
    if (!file || !*file) return result(kFileNotFound);
    char const* command = getenv("QUILL_OPEN_COMMAND");
    std::vector<std::string> args{command && *command ? command : "xdg-open", quillwin32::pathToUtf8(file)};
    if (parameters && *parameters) args.push_back(quillwin32::pathToUtf8(parameters));
    std::string dir = directory ? quillwin32::pathToUtf8(directory) : std::string();
    return result(spawnDetached(args, dir) ? kStarted : kFileNotFound);
}
