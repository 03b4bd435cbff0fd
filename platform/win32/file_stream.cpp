// SHCreateStreamOnFileW: IStream over a file.
//
// Reading streams the file as it is. Writing never touches the target until
// the stream is finished: bytes go to a new file beside the target (same
// directory, so the final rename is atomic), which replaces the target on the
// last Release only if every write, the fsync and the close succeeded.
// Otherwise the new file is removed and the old one stays as it was.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/win32/wide_path.h"
#include "platform/win32/win32.h"

namespace {

HRESULT openError(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return STG_E_FILENOTFOUND;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return STG_E_MEDIUMFULL;
    default:
        return STG_E_ACCESSDENIED;
    }
}

HRESULT writeError(int err) { return (err == ENOSPC || err == EDQUOT || err == EFBIG) ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT; }

std::string directoryOf(std::string const& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A symbolic link is followed, so that saving through it updates the file it
// names instead of replacing the link by a plain file.
std::string resolveTarget(std::string const& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string out = real;
    free(real);
    return out;
}

// Creates a fresh, uniquely named file beside `target`; the process umask
// applies as for any new file.
int createBeside(std::string const& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    std::string dir = directoryOf(target);
    std::string base = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = dir + "/." + base + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
        int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

class FileStream final : public IStream {
public:
    static FileStream* reader(int fd) { return new FileStream(fd, false, {}, {}); }
    static FileStream* writer(int fd, std::string target, std::string temp) {
        return new FileStream(fd, true, std::move(target), std::move(temp));
    }

    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            finish();
            delete this;
        }
        return left;
    }

    HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
        if (read) *read = 0;
        if (writing_) return STG_E_ACCESSDENIED;
        if (!buffer && size) return E_POINTER;
        ULONG done = 0;
        while (done < size) {
            ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return STG_E_READFAULT;
            if (n == 0) break;
            done += static_cast<ULONG>(n);
        }
        if (read) *read = done;
        return S_OK;
    }

    HRESULT Write(void const* buffer, ULONG size, ULONG* written) override {
        if (written) *written = 0;
        if (!writing_) return STG_E_ACCESSDENIED;
        if (failed_) return STG_E_WRITEFAULT;  // a broken file is never committed
        if (!buffer && size) return E_POINTER;
        ULONG done = 0;
        while (done < size) {
            ssize_t n = ::write(fd_, static_cast<char const*>(buffer) + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failed_ = true;
                return writeError(n < 0 ? errno : ENOSPC);
            }
            done += static_cast<ULONG>(n);
        }
        if (written) *written = done;
        return S_OK;
    }

    HRESULT Revert() override {
        if (!writing_) return STG_E_ACCESSDENIED;
        failed_ = true;  // finish() then removes the new file
        return S_OK;
    }

private:
    FileStream(int fd, bool writing, std::string target, std::string temp)
        : fd_(fd), writing_(writing), target_(std::move(target)), temp_(std::move(temp)) {}
    ~FileStream() = default;

    void finish() {
        if (!writing_) {
            close(fd_);
            return;
        }
        bool ok = !failed_ && fsync(fd_) == 0;
        ok = (close(fd_) == 0) && ok;
        if (ok && rename(temp_.c_str(), target_.c_str()) == 0) {
            syncDirectory();
            return;
        }
        unlink(temp_.c_str());
    }

    void syncDirectory() {
        int dir = open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return;
        fsync(dir);
        close(dir);
    }

    std::atomic<ULONG> refs_{1};
    int fd_;
    bool writing_;
    bool failed_ = false;
    std::string target_;
    std::string temp_;
};

HRESULT openForReading(std::string const& path, IStream** out) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return openError(errno);
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        return STG_E_ACCESSDENIED;
    }
    *out = FileStream::reader(fd);
    return S_OK;
}

HRESULT openForWriting(std::string const& path, bool create, IStream** out) {
    std::string target = resolveTarget(path);
    struct stat st;
    bool exists = stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return STG_E_ACCESSDENIED;
    if (!exists && !create) return STG_E_FILENOTFOUND;
    std::string temp;
    int fd = createBeside(target, temp);
    if (fd < 0) return openError(errno);
    if (exists) fchmod(fd, st.st_mode & 07777);  // the replacement keeps the old permissions
    *out = FileStream::writer(fd, std::move(target), std::move(temp));
    return S_OK;
}

}  // namespace

HRESULT SHCreateStreamOnFileW(wchar_t const* path, DWORD mode, IStream** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!path || !*path) return E_INVALIDARG;
    std::string file = quillwin32::pathToUtf8(path);
    if ((mode & (STGM_WRITE | STGM_READWRITE)) == 0) return openForReading(file, out);
    return openForWriting(file, (mode & STGM_CREATE) != 0, out);
}

namespace quillwin32 {

std::string pathToUtf8(wchar_t const* path) {
    std::string out;
    for (; *path; ++path) {
        uint32_t c = static_cast<uint32_t>(*path);
        if (c >= 0x110000 || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace quillwin32
