#include "platform/host/system.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <random>
#include <string>

#include "platform/host/utf8.h"

namespace {

// The one place that names the host's version.
wchar_t const kProgramVersion[] = L"0.1.0";

std::wstring wideOf(char const* s) {
    wchar_t* w = UTF8ToInternal(reinterpret_cast<unsigned char const*>(s ? s : ""), nullptr, 0);
    std::wstring out(w);
    kx_free(w);
    return out;
}

std::string utf8Of(wchar_t const* s) {
    unsigned char* u = InternalToUTF8(s, nullptr, 0);
    std::string out(reinterpret_cast<char*>(u));
    kx_free(u);
    return out;
}

std::string hostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !*name) return "localhost";
    std::string full = name;
    // Only local facts: asking a resolver for the canonical name could wait
    // on the network.
    char domain[256] = {};
    if (full.find('.') == std::string::npos && getdomainname(domain, sizeof domain - 1) == 0 && *domain &&
        strcmp(domain, "(none)") != 0)
        full += std::string(".") + domain;
    return full;
}

std::string userName() {
    passwd entry{};
    passwd* found = nullptr;
    char scratch[4096];
    if (getpwuid_r(geteuid(), &entry, scratch, sizeof scratch, &found) == 0 && found && found->pw_name)
        return found->pw_name;
    for (char const* var : {"USER", "LOGNAME"})
        if (char const* v = std::getenv(var); v && *v) return v;
    return std::to_string(geteuid());
}

wchar_t const* formatNow(wchar_t* buffer, size_t size, wchar_t const* format) {
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    if (wcsftime(buffer, size, format, &local) == 0) buffer[0] = L'\0';
    return buffer;
}

bool exists(std::string const& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

}  // namespace

namespace SYSTEM {

wchar_t const* program_version_string() { return kProgramVersion; }

wchar_t const* fullhostname() {
    static std::wstring const name = wideOf(hostName().c_str());
    return name.c_str();
}

wchar_t const* username() {
    static std::wstring const name = wideOf(userName().c_str());
    return name.c_str();
}

// The results stay valid until the calling thread's next call.
wchar_t const* get_date_string_2000() {
    thread_local wchar_t buffer[32];
    return formatNow(buffer, 32, L"%Y-%m-%d");
}

wchar_t const* get_time_string() {
    thread_local wchar_t buffer[32];
    return formatNow(buffer, 32, L"%H:%M:%S");
}

}  // namespace SYSTEM

namespace FILING {

wchar_t* unique_file_name(wchar_t const* directory, wchar_t* buffer, size_t size) {
    if (!directory || !buffer || size == 0) return nullptr;
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string dir = *directory ? utf8Of(directory) : std::string(".");
    if (dir.back() != '/') dir.push_back('/');
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[64];
        snprintf(name, sizeof name, "quill%d_%u_%06llx", static_cast<int>(getpid()), counter++,
                 static_cast<unsigned long long>(random() & 0xFFFFFF));
        std::string path = dir + name;
        if (exists(path)) continue;
        std::wstring wide = wideOf(path.c_str());
        if (wide.size() + 1 > size) return nullptr;
        wmemcpy(buffer, wide.c_str(), wide.size() + 1);
        return buffer;
    }
    return nullptr;
}

}  // namespace FILING

// Per thread: each call rewrites the text it returns.
wchar_t const* ux_get_tmpdir(bool withSeparator) {
    thread_local std::wstring plain, separated;
    char const* env = std::getenv("TMPDIR");
    std::wstring dir = wideOf(env && *env ? env : "/tmp");
    while (dir.size() > 1 && dir.back() == L'/') dir.pop_back();
    if (!withSeparator) {
        plain = dir;
        return plain.c_str();
    }
    separated = dir == L"/" ? dir : dir + L"/";
    return separated.c_str();
}
