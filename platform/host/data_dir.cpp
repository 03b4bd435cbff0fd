#include "platform/host/data_dir.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace {

std::string directoryOf(std::string const& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string findLibraryDir() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ux_library_dir), &info) && info.dli_fname) {
        char* real = realpath(info.dli_fname, nullptr);
        std::string dir = directoryOf(real ? real : info.dli_fname);
        free(real);
        return dir;
    }
    return ".";
}

}  // namespace

char const* ux_library_dir() {
    static std::string const dir = findLibraryDir();
    return dir.c_str();
}

char const* ux_data_dir() {
    static std::string const dir = [] {
        if (char const* env = std::getenv("QUILL_DATA_DIR"); env && *env) return std::string(env);
        return std::string(ux_library_dir()) + "/../share/quillxml";
    }();
    return dir.c_str();
}
