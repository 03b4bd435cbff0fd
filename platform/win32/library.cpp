// LoadLibraryA / GetProcAddress / FreeLibrary over the dynamic loader.
//
// "X.dll" means libX.so. The module's libraries are installed side by side,
// so the directory holding this library is searched first; then the loader's
// usual path. QUILL_LIBRARY_PATH (colon-separated directories), when set,
// replaces both: only those directories are searched. It lets tests and
// special installations pick or hide an engine without touching the files.
#include <dlfcn.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace {

// "msxml6.dll" -> "libmsxml6.so"; names with a path or ".so" stay as given.
std::string sharedObjectName(std::string name) {
    if (name.find('/') != std::string::npos) return name;
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) return name;
    if (name.size() > 4) {
        std::string ext = name.substr(name.size() - 4);
        for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (ext == ".dll") name.resize(name.size() - 4);
    }
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return "lib" + name + ".so";
}

std::string ownDirectory() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&sharedObjectName), &info) || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<std::string> splitPath(char const* list) {
    std::vector<std::string> out;
    std::string current;
    for (char const* p = list;; ++p) {
        if (*p == ':' || *p == '\0') {
            if (!current.empty()) out.push_back(current);
            current.clear();
            if (*p == '\0') break;
        } else {
            current += *p;
        }
    }
    return out;
}

void* openIn(std::vector<std::string> const& dirs, std::string const& file) {
    for (auto const& dir : dirs)
        if (void* h = dlopen((dir + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
    return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(char const* name) {
    if (!name || !*name) return nullptr;
    std::string file = sharedObjectName(name);
    if (file.find('/') != std::string::npos) return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (char const* override = getenv("QUILL_LIBRARY_PATH")) return openIn(splitPath(override), file);
    std::string own = ownDirectory();
    if (!own.empty())
        if (void* h = openIn({own}, file)) return h;
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

FARPROC GetProcAddress(HMODULE module, char const* name) {
    if (!module || !name) return nullptr;
    return reinterpret_cast<FARPROC>(dlsym(module, name));
}

BOOL FreeLibrary(HMODULE module) { return module && dlclose(module) == 0 ? TRUE : FALSE; }
