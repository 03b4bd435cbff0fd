// Saving into an existing name, whatever it names.
//
//   Replace  an ordinary file, or a new name: the bytes go to a new file
//            beside the target, which takes the old file's mode, owner, group
//            and extended attributes and is renamed over it on commit.
//            Readers see the old content or the new, never a mix, and a
//            failed save leaves the old file alone.
//   InPlace  where a replacement would change what the name stands for:
//            more than one hard link, an owner, group or extended attribute
//            the saver cannot give the new file, a folder where no file can
//            be made, a name under /dev or /proc (/dev/stdout redirected to a
//            file). The bytes wait in an unnamed scratch file (in the
//            temporary folder; in memory only when none can be made there)
//            and are written into the target itself on commit, after space
//            for them has been reserved.
//   Direct   pipes and devices: the bytes go straight through. There is
//            nothing to replace and nothing that could be kept.
//
// The target itself is always opened for writing first, so a save is possible
// exactly when that open is, root included (root may write a 0444 file, and
// cannot write one on a read-only file system).
#include "platform/win32/file_target.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace quillwin32 {

namespace {

HRESULT openError(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR: return STG_E_FILENOTFOUND;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return STG_E_MEDIUMFULL;
    default: return STG_E_ACCESSDENIED;
    }
}

HRESULT writeError(int err) {
    return (err == ENOSPC || err == EDQUOT || err == EFBIG) ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;
}

std::string directoryOf(std::string const& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(std::string const& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Names such as /dev/stdout or /proc/self/fd/1 may stand for a file that a
// process holds open: that file must receive the bytes, not a new one.
bool isSystemName(std::string const& path) { return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0; }

// A link to a file not made yet names that file, as it would for open(2)
// with O_CREAT. Links into /dev and /proc are left to open(2): theirs may
// name a pipe, which has no path.
std::string danglingTarget(std::string path) {
    for (int hop = 0; hop < 40 && !isSystemName(path); ++hop) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char buffer[PATH_MAX];
        ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
        if (n <= 0 || n == static_cast<ssize_t>(sizeof buffer)) return path;
        std::string link(buffer, static_cast<size_t>(n));
        path = link[0] == '/' ? link : directoryOf(path) + "/" + link;
    }
    return path;
}

// A symbolic link is followed, so that saving through it updates the file it
// names instead of replacing the link by a plain file.
std::string resolveTarget(std::string const& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return errno == ENOENT ? danglingTarget(path) : path;
    std::string out = real;
    free(real);
    return out;
}

// At most `limit` bytes of `name`, not cutting a UTF-8 sequence in two.
std::string shortened(std::string const& name, size_t limit) {
    if (name.size() <= limit) return name;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return name.substr(0, end);
}

// Creates a fresh, uniquely named file beside `target`; the process umask
// applies as for any new file. The name stays within NAME_MAX however long
// the target's name is.
int createBeside(std::string const& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    std::string dir = directoryOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix = "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
        std::string base = shortened(baseOf(target), NAME_MAX - 1 - suffix.size());
        tempPath = dir + "/." + base + suffix;
        int fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// The names of the extended attributes of `fd`, each ending in a NUL; false
// when they cannot be read.
bool attributeNames(int fd, std::string& names) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        ssize_t size = flistxattr(fd, nullptr, 0);
        if (size < 0) return errno == ENOTSUP;  // none on this file system
        names.assign(static_cast<size_t>(size), '\0');
        size = flistxattr(fd, names.data(), names.size());
        if (size >= 0) {
            names.resize(static_cast<size_t>(size));
            return true;
        }
        if (errno != ERANGE) return false;  // ERANGE: one was added meanwhile
    }
    return false;
}

bool attributeValue(int fd, char const* name, std::string& value) {
    ssize_t size = fgetxattr(fd, name, nullptr, 0);
    if (size < 0) return false;
    value.assign(static_cast<size_t>(size), '\0');
    size = fgetxattr(fd, name, value.data(), value.size());
    if (size < 0) return false;
    value.resize(static_cast<size_t>(size));
    return true;
}

// Gives `to` exactly the extended attributes of `from`: access lists and
// labels decide who may read the file as much as its mode does. Attributes
// the new file already has with the same value (a security label given by
// the folder) are left alone, ones the old file lacks (an inherited access
// list) removed.
bool copyAttributes(int from, int to) {
    std::string wanted, present, value, current;
    if (!attributeNames(from, wanted) || !attributeNames(to, present)) return false;
    for (char const* name = wanted.c_str(); name < wanted.c_str() + wanted.size(); name += strlen(name) + 1) {
        if (!attributeValue(from, name, value)) return false;
        if (attributeValue(to, name, current) && current == value) continue;
        if (fsetxattr(to, name, value.data(), value.size(), 0) != 0) return false;
    }
    for (char const* name = present.c_str(); name < present.c_str() + present.size(); name += strlen(name) + 1) {
        if (!attributeValue(from, name, value) && fremovexattr(to, name) != 0) return false;
    }
    return true;
}

// The new file gets the old one's owner, group, mode and extended attributes
// (chown first: it clears set-id bits). False when the saver may not make
// the new file like the old one.
bool takeOver(int fd, int oldFd, struct stat const& old) {
    struct stat now;
    if (fstat(fd, &now) != 0) return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && fchown(fd, old.st_uid, old.st_gid) != 0) return false;
    return fchmod(fd, old.st_mode & 07777) == 0 && copyAttributes(oldFd, fd);
}

// Pipes and most devices keep nothing to sync: fsync says EINVAL there.
bool syncFile(int fd) { return fsync(fd) == 0 || errno == EINVAL; }

// The rename is durable only once its folder is. A folder the saver may not
// read cannot be opened to sync it; nothing more can be done there.
HRESULT syncDirectory(std::string const& target) {
    UniqueFd dir(::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return S_OK;
    return syncFile(dir.get()) ? S_OK : STG_E_WRITEFAULT;
}

HRESULT writeAll(int fd, char const* data, size_t size, off_t* at) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = at ? pwrite(fd, data + done, size - done, *at + static_cast<off_t>(done))
                       : ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return writeError(n < 0 ? errno : ENOSPC);
        done += static_cast<size_t>(n);
    }
    if (at) *at += static_cast<off_t>(done);
    return S_OK;
}

// A pipe whose reader has gone raises SIGPIPE, which ends a plain process and
// in the Lisp host would break into the save from a signal handler. The
// signal is held back while writing to a pipe or device and, when the write
// raised it, taken off again, so the write just fails with EPIPE.
class QuietPipe {
public:
    QuietPipe() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    }
    ~QuietPipe() {
        sigset_t pending;
        sigemptyset(&pending);
        if (!pendingBefore_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
            timespec none{};
            sigtimedwait(&pipe_, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    QuietPipe(QuietPipe const&) = delete;
    QuietPipe& operator=(QuietPipe const&) = delete;

private:
    sigset_t pipe_;
    sigset_t previous_;
    bool pendingBefore_ = false;
};

// Reserves room for `size` bytes before the old content is touched, so that
// a full disk or a size limit fails the save with the file intact. File
// systems that cannot reserve just go on.
HRESULT reserve(int fd, off_t size) {
    struct stat st;
    if (fstat(fd, &st) != 0) return STG_E_WRITEFAULT;
    if (size <= st.st_size || fallocate(fd, 0, 0, size) == 0) return S_OK;
    int err = errno;
    if (err != ENOSPC && err != EDQUOT && err != EFBIG) return S_OK;
    if (ftruncate(fd, st.st_size) != 0) return STG_E_WRITEFAULT;  // a partial reservation grew it
    return STG_E_MEDIUMFULL;
}

// Overwrites `target` with everything in `staging`. Other names of the same
// file see the change as it happens: with the room reserved, only an I/O
// error can stop it half-way.
HRESULT copyInto(int target, int staging) {
    struct stat st;
    if (fstat(staging, &st) != 0) return STG_E_READFAULT;
    HRESULT hr = reserve(target, st.st_size);
    if (FAILED(hr)) return hr;
    char buffer[1 << 16];
    off_t at = 0;
    while (at < st.st_size) {
        ssize_t n = pread(staging, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return STG_E_READFAULT;
        hr = writeAll(target, buffer, static_cast<size_t>(n), &at);
        if (FAILED(hr)) return hr;
    }
    if (ftruncate(target, st.st_size) != 0) return writeError(errno);
    return syncFile(target) ? S_OK : STG_E_WRITEFAULT;
}

// The target is probed without O_CREAT: a missing file is created beside and
// renamed. A pipe without a reader fails at once (ENXIO with O_NONBLOCK)
// instead of hanging the host until some reader turns up, which is what the
// user would see from any other program writing there.
int openTarget(std::string const& target) {
    int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fd;
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);  // writes wait for a full pipe as usual
    return fd;
}

// An unnamed file that vanishes with its descriptor: on disk, so that the
// output of a large save never has to fit in memory, and in memory only
// where the temporary folder takes no such file.
int scratchFile() {
    char const* dir = getenv("TMPDIR");
    int fd = ::open(dir && *dir ? dir : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    return fd >= 0 ? fd : memfd_create("quill-save", MFD_CLOEXEC);
}

}  // namespace

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
}

FileTarget::FileTarget(Kind kind, std::string target, UniqueFd targetFd)
    : kind_(kind), target_(std::move(target)), targetFd_(std::move(targetFd)) {}

FileTarget::~FileTarget() { abandon(); }

HRESULT FileTarget::open(std::string const& path, bool create, std::unique_ptr<FileTarget>& out) {
    std::string target = resolveTarget(path);
    UniqueFd fd(openTarget(target));
    if (fd) return openExisting(target, isSystemName(path), std::move(fd), out);
    if (errno == EISDIR) return STG_E_ACCESSDENIED;
    if (errno != ENOENT) return openError(errno);
    if (!create) return STG_E_FILENOTFOUND;
    std::unique_ptr<FileTarget> made(new FileTarget(Kind::Replace, target, UniqueFd()));
    made->staging_.reset(createBeside(target, made->temp_));
    if (!made->staging_) return openError(errno);
    out = std::move(made);
    return S_OK;
}

HRESULT FileTarget::openExisting(std::string const& target, bool systemName, UniqueFd fd,
                                 std::unique_ptr<FileTarget>& out) {
    struct stat st;
    if (fstat(fd.get(), &st) != 0) return openError(errno);
    if (!S_ISREG(st.st_mode)) {
        out.reset(new FileTarget(Kind::Direct, target, std::move(fd)));
        return S_OK;
    }
    if (systemName || st.st_nlink > 1) return openInPlace(target, std::move(fd), out);
    return openReplacing(target, std::move(fd), st, out);
}

// The target stays open: should the rename be refused after all (a file
// mounted over, a sticky folder), the content is copied into it instead.
HRESULT FileTarget::openReplacing(std::string const& target, UniqueFd fd, struct stat const& old,
                                  std::unique_ptr<FileTarget>& out) {
    std::string temp;
    UniqueFd staging(createBeside(target, temp));
    if (staging && !takeOver(staging.get(), fd.get(), old)) {
        unlink(temp.c_str());
        staging.reset();
    }
    if (!staging) return openInPlace(target, std::move(fd), out);  // e.g. a read-only folder
    std::unique_ptr<FileTarget> made(new FileTarget(Kind::Replace, target, std::move(fd)));
    made->temp_ = std::move(temp);
    made->staging_ = std::move(staging);
    out = std::move(made);
    return S_OK;
}

HRESULT FileTarget::openInPlace(std::string const& target, UniqueFd fd, std::unique_ptr<FileTarget>& out) {
    UniqueFd staging(scratchFile());
    if (!staging) return E_OUTOFMEMORY;
    std::unique_ptr<FileTarget> made(new FileTarget(Kind::InPlace, target, std::move(fd)));
    made->staging_ = std::move(staging);
    out = std::move(made);
    return S_OK;
}

HRESULT FileTarget::write(void const* data, size_t size) {
    if (finished_) return STG_E_REVERTED;
    if (kind_ != Kind::Direct) return writeAll(sink(), static_cast<char const*>(data), size, nullptr);
    QuietPipe quiet;
    return writeAll(sink(), static_cast<char const*>(data), size, nullptr);
}

HRESULT FileTarget::commit() {
    if (finished_) return STG_E_REVERTED;
    HRESULT hr = E_FAIL;
    switch (kind_) {
    case Kind::Direct: hr = commitDirect(); break;
    case Kind::Replace: hr = commitReplace(); break;
    case Kind::InPlace: hr = commitInPlace(); break;
    }
    abandon();  // what is left: descriptors, a temporary file that was not renamed
    return hr;
}

HRESULT FileTarget::commitDirect() {
    bool synced = syncFile(targetFd_.get());
    bool closed = close(targetFd_.release()) == 0;
    return synced && closed ? S_OK : STG_E_WRITEFAULT;
}

HRESULT FileTarget::commitReplace() {
    if (!syncFile(staging_.get())) return writeError(errno);
    if (rename(temp_.c_str(), target_.c_str()) == 0) {
        temp_.clear();
        return syncDirectory(target_);
    }
    int err = errno;
    bool refused = err == EPERM || err == EACCES || err == EBUSY || err == EXDEV;
    if (refused && targetFd_) return copyInto(targetFd_.get(), staging_.get());
    return openError(err);
}

HRESULT FileTarget::commitInPlace() { return copyInto(targetFd_.get(), staging_.get()); }

void FileTarget::abandon() {
    finished_ = true;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
    staging_.reset();
    targetFd_.reset();
}

}  // namespace quillwin32
