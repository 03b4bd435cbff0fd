#include "platform/host/file_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/host/data_dir.h"
#include "platform/host/utf8.h"

namespace {

std::string utf8Of(std::wstring const& s) {
    unsigned char* u = InternalToUTF8(s.c_str(), nullptr, 0);
    std::string out(reinterpret_cast<char*>(u));
    kx_free(u);
    return out;
}

std::wstring wideOf(char const* s) {
    wchar_t* w = UTF8ToInternal(reinterpret_cast<unsigned char const*>(s), nullptr, 0);
    std::wstring out(w);
    kx_free(w);
    return out;
}

bool store(std::wstring const& text, wchar_t* result, size_t size) {
    if (!result || size == 0) return false;
    if (text.size() + 1 > size) {
        result[0] = L'\0';
        return false;
    }
    wmemcpy(result, text.c_str(), text.size() + 1);
    return true;
}

std::wstring merged(wchar_t const* directory, wchar_t const* name) {
    std::wstring dir = directory ? directory : L"";
    std::wstring file = name ? name : L"";
    if (dir.empty() || (!file.empty() && file[0] == L'/')) return file;
    if (file.empty()) return dir;
    while (dir.size() > 1 && dir.back() == L'/') dir.pop_back();
    if (dir.back() != L'/') dir += L'/';
    return dir + file;
}

bool isFile(std::wstring const& path) {
    struct stat st;
    return stat(utf8Of(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::vector<std::wstring> configurationDirectories() {
    std::vector<std::wstring> dirs;
    if (char const* env = std::getenv("QUILL_CONFIG_PATH")) {
        std::wstring list = wideOf(env);
        size_t start = 0;
        while (start <= list.size()) {
            size_t colon = list.find(L':', start);
            if (colon == std::wstring::npos) colon = list.size();
            if (colon > start) dirs.push_back(list.substr(start, colon - start));
            start = colon + 1;
        }
    }
    dirs.push_back(wideOf(ux_data_dir()));
    return dirs;
}

std::wstring workingDirectory() {
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return L"/";
        buffer.resize(buffer.size() * 2);
    }
    return wideOf(buffer.data());
}

// "/a/./b//c/../d" -> "/a/b/d"; never climbs above the root.
std::wstring normalised(std::wstring const& absolute) {
    std::vector<std::wstring> steps;
    size_t start = 0;
    while (start < absolute.size()) {
        size_t slash = absolute.find(L'/', start);
        if (slash == std::wstring::npos) slash = absolute.size();
        std::wstring step = absolute.substr(start, slash - start);
        if (step == L"..") {
            if (!steps.empty()) steps.pop_back();
        } else if (!step.empty() && step != L".") {
            steps.push_back(step);
        }
        start = slash + 1;
    }
    std::wstring out;
    for (auto const& step : steps) out += L'/' + step;
    return out.empty() ? L"/" : out;
}

}  // namespace

bool ux_filenamemerge(wchar_t const* directory, wchar_t const* name, wchar_t* result, size_t size) {
    return store(merged(directory, name), result, size);
}

bool ux_find_configuration_file(wchar_t const* relativePath, wchar_t* result, size_t size) {
    if (result && size) result[0] = L'\0';
    if (!relativePath || !*relativePath) return false;
    if (relativePath[0] == L'/') return isFile(relativePath) && store(relativePath, result, size);
    for (auto const& dir : configurationDirectories()) {
        std::wstring candidate = merged(dir.c_str(), relativePath);
        if (isFile(candidate)) return store(candidate, result, size);
    }
    return false;
}

int ux_file_eaccess(wchar_t const* path, int mode) {
    if (!path) return -1;
    return eaccess(utf8Of(path).c_str(), mode) == 0 ? 0 : -1;
}

bool ux_make_path_absolute(wchar_t const* path, wchar_t* result, size_t size) {
    std::wstring text = path ? path : L"";
    if (text.empty() || text[0] != L'/') text = workingDirectory() + L'/' + text;
    return store(normalised(text), result, size);
}

wchar_t const* const* ux_configuration_directories(size_t* count) {
    static std::vector<std::wstring> dirs;
    static std::vector<wchar_t const*> pointers;
    dirs = configurationDirectories();
    pointers.clear();
    for (auto const& d : dirs) pointers.push_back(d.c_str());
    pointers.push_back(nullptr);
    if (count) *count = dirs.size();
    return pointers.data();
}
