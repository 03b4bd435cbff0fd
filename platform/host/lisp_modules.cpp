// Loading modules into the host's Lisp, from quill-lisp or from a plain ecl
// process (quill_lisp_attach): both start the XML module the same way.
#include "platform/host/lisp_internal.h"

#include "platform/host/data_dir.h"

#include <dlfcn.h>

#include <climits>
#include <cstdio>

void lisp_host_make_package(char const* package) {
    if (ecl_find_package(package) != ECL_NIL) return;
    // It uses no other package, so no name of the module's clashes with CL.
    ecl_make_package(ecl_make_simple_base_string(package, -1), ECL_NIL, ECL_NIL, ECL_NIL);
}

bool lisp_host_load_module(char const* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
        std::fprintf(stderr, "quill: cannot load module: %s\n", dlerror());
        return false;
    }
    auto entry = reinterpret_cast<void (*)()>(dlsym(library, "init_load_init"));
    if (!entry) {
        std::fprintf(stderr, "quill: %s has no init_load_init\n", path);
        return false;
    }
    lisp_host_call("INIT-LOAD-INIT", entry);
    return true;
}

// Repeated calls load nothing twice (the module's entry point runs once per
// process). No C++ object lives across the Lisp calls: an error inside them
// may leave non-locally.
extern "C" int quill_lisp_attach() {
    if (!lisp_host_attach()) return 0;
    lisp_host_make_package("XML");
    char module[PATH_MAX];
    int const n = std::snprintf(module, sizeof module, "%s/libquillxml.so", ux_library_dir());
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof module) return 0;
    return lisp_host_load_module(module) ? 1 : 0;
}
