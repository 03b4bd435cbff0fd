// Shared by the test-only modules: handlers that register themselves, in
// definition order, and the module's start-up that makes them functions of
// its package.
#pragma once

#include "platform/host/lisp_internal.h"

#include <vector>

namespace testmodule {

struct Entry {
    char const* name;
    void (*handler)();
};

inline std::vector<Entry>& handlers() {
    static std::vector<Entry> all;
    return all;
}

struct Registered {
    Registered(char const* name, void (*handler)()) { handlers().push_back({name, handler}); }
};

// The single result of a handler.
inline void result(LAOBJ* value) {
    vs_base[0] = value;
    vs_top = vs_base + 1;
}

// The handler's only argument, after checking that it has just one.
inline LAOBJ* arg() {
    vs.check_arg(1);
    return vs_base[0];
}

// Makes every handler a function of `package`, made when missing.
inline void registerAll(char const* package) {
    cl_object p = ecl_find_package(package);
    if (p == ECL_NIL) p = ecl_make_package(ecl_make_simple_base_string(package, -1), ECL_NIL, ECL_NIL, ECL_NIL);
    for (Entry const& f : handlers()) make_package_function(f.name, f.handler, p, 2);
}

}  // namespace testmodule

// Defines handler `fn`, the Lisp function `name`.
#define HANDLER(name, fn)                                   \
    void fn();                                              \
    testmodule::Registered const fn##_registered{name, fn}; \
    void fn()
