// SHCreateStreamOnFileW: IStream over a file.
//
// Reading streams the file as it is. Writing goes to a FileTarget, which
// holds the bytes back (except for pipes and devices) until Commit puts them
// in place; Commit's result is the save's result. A stream released without
// Commit, or after a failed write, leaves the target as it was.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/win32/file_target.h"
#include "platform/win32/wide_path.h"
#include "platform/win32/win32.h"

namespace {

using quillwin32::FileTarget;

HRESULT openError(int err) { return (err == ENOENT || err == ENOTDIR) ? STG_E_FILENOTFOUND : STG_E_ACCESSDENIED; }

class FileStream final : public IStream {
public:
    static FileStream* reader(int fd) { return new FileStream(fd, nullptr); }
    static FileStream* writer(std::unique_ptr<FileTarget> target) { return new FileStream(-1, std::move(target)); }

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
        if (left == 0) delete this;
        return left;
    }

    HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
        if (read) *read = 0;
        if (target_) return STG_E_ACCESSDENIED;
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
        if (!target_) return STG_E_ACCESSDENIED;
        if (finished_) return FAILED(result_) ? result_ : STG_E_REVERTED;  // a broken stream stays broken
        if (!buffer && size) return E_POINTER;
        HRESULT hr = target_->write(buffer, size);
        if (FAILED(hr)) {
            finish(hr);
            target_->abandon();
            return hr;
        }
        if (written) *written = size;
        return S_OK;
    }

    // The first Commit decides; asking again gives the same answer.
    HRESULT Commit(DWORD) override {
        if (!target_) return S_OK;  // a reader holds nothing back
        if (!finished_) finish(target_->commit());
        return result_;
    }

    HRESULT Revert() override {
        if (!target_) return STG_E_ACCESSDENIED;
        if (!finished_) finish(STG_E_REVERTED);
        target_->abandon();
        return S_OK;
    }

private:
    FileStream(int fd, std::unique_ptr<FileTarget> target) : fd_(fd), target_(std::move(target)) {}
    ~FileStream() {
        if (fd_ >= 0) close(fd_);
    }

    void finish(HRESULT result) {
        finished_ = true;
        result_ = result;
    }

    std::atomic<ULONG> refs_{1};
    int fd_;                              // reading
    std::unique_ptr<FileTarget> target_;  // writing; abandons unless committed
    bool finished_ = false;               // committed, reverted or broken
    HRESULT result_ = S_OK;
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
    std::unique_ptr<FileTarget> target;
    HRESULT hr = FileTarget::open(path, create, target);
    if (FAILED(hr)) return hr;
    *out = FileStream::writer(std::move(target));
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
