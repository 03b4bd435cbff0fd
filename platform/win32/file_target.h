// Internal to libquillwin32: where the bytes of a file write stream go, and
// how they become the file's content when the stream is committed.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/win32/win32.h"

namespace quillwin32 {

// A file descriptor closed when it goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(UniqueFd const&) = delete;
    UniqueFd& operator=(UniqueFd const&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_;
};

// The destination of one save. Nothing is committed unless commit() is
// called: dropping the object abandons the save.
class FileTarget {
public:
    // Fails exactly when opening the target for writing fails (a missing
    // file counts as openable when `create`).
    static HRESULT open(std::string const& path, bool create, std::unique_ptr<FileTarget>& out);

    ~FileTarget();
    FileTarget(FileTarget const&) = delete;
    FileTarget& operator=(FileTarget const&) = delete;

    HRESULT write(void const* data, size_t size);
    // Puts what was written in place and makes it durable; S_OK only then.
    HRESULT commit();
    void abandon();

private:
    enum class Kind { Replace, InPlace, Direct };

    FileTarget(Kind kind, std::string target, UniqueFd targetFd);

    static HRESULT openExisting(std::string const& target, bool systemName, UniqueFd fd,
                                std::unique_ptr<FileTarget>& out);
    static HRESULT openReplacing(std::string const& target, UniqueFd fd, struct stat const& old,
                                 std::unique_ptr<FileTarget>& out);
    static HRESULT openInPlace(std::string const& target, UniqueFd fd, std::unique_ptr<FileTarget>& out);

    int sink() const { return kind_ == Kind::Direct ? targetFd_.get() : staging_.get(); }
    HRESULT commitDirect();
    HRESULT commitReplace();
    HRESULT commitInPlace();

    Kind kind_;
    bool finished_ = false;
    std::string target_;
    std::string temp_;   // Replace: the new file beside the target
    UniqueFd targetFd_;  // the target opened for writing (none for a new file)
    UniqueFd staging_;   // Replace: the new file; InPlace: an anonymous file in memory
};

}  // namespace quillwin32
