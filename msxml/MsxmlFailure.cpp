#include "msxml/MsxmlFailure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>

#include "model/XmlFailure.h"
#include "msxml/MsxmlCom.h"
#include "platform/host/utf8.h"
#include "platform/msxml6/msxml6.h"

namespace {

// The local file a path or file: URL names, as bytes for the system.
std::string localPath(wchar_t const* pathOrUrl) {
    std::wstring path(pathOrUrl);
    if (wcsncasecmp(pathOrUrl, L"file:", 5) == 0) {
        std::wstring local(path.size() + 1, L'\0');
        DWORD size = static_cast<DWORD>(local.size());
        if (FAILED(PathCreateFromUrlW(pathOrUrl, local.data(), &size, 0))) return std::string();
        path.assign(local.c_str());
    }
    unsigned char* bytes = InternalToUTF8(path.c_str(), nullptr, 0);
    std::string out = bytes ? reinterpret_cast<char const*>(bytes) : "";
    kx_free(bytes);
    return out;
}

std::wstring wideOf(char const* text) {
    wchar_t* wide = UTF8ToInternal(reinterpret_cast<unsigned char const*>(text), nullptr, 0);
    std::wstring out = wide ? wide : L"";
    kx_free(wide);
    return out;
}

std::wstring systemMessage(int error) { return wideOf(std::strerror(error)); }

// The system's reason why the file cannot be read; empty when it can.
std::wstring whyUnreadable(std::string const& path) {
    if (path.empty()) return std::wstring();
    int const fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return systemMessage(errno);
    struct stat st {};
    bool const folder = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    close(fd);
    return folder ? systemMessage(EISDIR) : std::wstring();
}

// The system's reason why no file can be created or replaced at path;
// empty when nothing seems to stand in the way.
std::wstring whyUnwritable(std::string const& path) {
    if (path.empty()) return std::wstring();
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return systemMessage(EISDIR);
        if (access(path.c_str(), W_OK) != 0) return systemMessage(errno);
    }
    std::string::size_type const slash = path.rfind('/');
    std::string const folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (stat(folder.c_str(), &st) != 0) return systemMessage(errno);
    if (!S_ISDIR(st.st_mode)) return systemMessage(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0) return systemMessage(errno);
    return std::wstring();
}

struct EngineError {
    long code = 0;
    std::wstring reason;
    long line = 0;
    long column = 0;
};

EngineError parseErrorOf(IXMLDOMDocument3* document) {
    EngineError e;
    ComPtr<IXMLDOMParseError> error;
    if (!document || FAILED(document->get_parseError(error.put())) || !error) return e;
    BStr reason;
    if (SUCCEEDED(error->get_reason(reason.put())) && reason.get()) e.reason = reason.get();
    error->get_errorCode(&e.code);
    error->get_line(&e.line);
    error->get_linepos(&e.column);
    return e;
}

bool isOpenFailure(long code) {
    return code == STG_E_FILENOTFOUND || code == STG_E_ACCESSDENIED || code == E_ACCESSDENIED;
}

}  // namespace

void recordLoadFailure(IXMLDOMDocument3* document, wchar_t const* file) {
    EngineError e = parseErrorOf(document);
    if (file && isOpenFailure(e.code)) {
        std::wstring why = whyUnreadable(localPath(file));
        if (!why.empty()) return XmlLastFailure::set(why, file);
    }
    if (e.reason.empty()) e.reason = L"The document could not be loaded.";
    XmlLastFailure::set(e.reason, file, e.line, e.column);
}

void recordStylesheetFailure(IXMLDOMDocument3* stylesheet, wchar_t const* file) {
    EngineError e = parseErrorOf(stylesheet);
    if (e.reason.empty()) e.reason = L"The style sheet does not compile.";
    XmlLastFailure::set(e.reason, file, e.line, e.column);
}

void recordWriteFailure(IXMLDOMDocument3* document, wchar_t const* path) {
    ComPtr<IXMLDOMElement> root;
    if (!document || FAILED(document->get_documentElement(root.put())) || !root)
        return XmlLastFailure::set(L"The document has no root element.", path);
    if (path) {
        std::wstring why = whyUnwritable(localPath(path));
        if (!why.empty()) return XmlLastFailure::set(why, path);
    }
    XmlLastFailure::set(
        L"The document would not read back as written: its encoding cannot carry all of "
        L"its text, or it holds text or names XML cannot carry.",
        path);
}

void recordTransformFailure(wchar_t const* outputPath) {
    if (outputPath) {
        std::wstring why = whyUnwritable(localPath(outputPath));
        if (!why.empty()) return XmlLastFailure::set(why, outputPath);
    }
    XmlLastFailure::set(L"The transformation failed.", outputPath);
}

void recordParseFailure(HRESULT hr, wchar_t const* file) {
    if (XmlFailure const* reported = XmlLastFailure::get())
        return XmlLastFailure::set(reported->message, file, reported->line, reported->column);
    if (file && isOpenFailure(hr)) {
        std::wstring why = whyUnreadable(localPath(file));
        if (!why.empty()) return XmlLastFailure::set(why, file);
    }
    XmlLastFailure::set(L"The parse was stopped.", file);
}
