// Shared between the host's Lisp sources (lisp_*.cpp); not for modules.
#pragma once

// The engine's legacy macros (Cnil, Ct, type_of, fix) would shadow the
// host's names; some of them ignore ECL_NO_LEGACY.
#define ECL_NO_LEGACY
#include <ecl/ecl.h>
#undef Cnil
#undef Ct
#undef type_of

#include "platform/host/lisp_host.h"

#include <cstdint>

static_assert(sizeof(wchar_t) == sizeof(ecl_character), "wchar_t must hold one code point");

namespace lisp_host {

// The engine's cons accessors subtract the pointer tag inside the load, which
// the sanitizer's alignment check misreads; the same access through an
// integer address.
inline cl_object& cons_car(cl_object x) {
    return *reinterpret_cast<cl_object*>(reinterpret_cast<std::uintptr_t>(x) - t_list);
}
inline cl_object& cons_cdr(cl_object x) {
    return *reinterpret_cast<cl_object*>(reinterpret_cast<std::uintptr_t>(x) - t_list + sizeof(cl_object));
}

// One live handler call, on the C stack of its trampoline (so `name` is seen
// by the collector). Frames chain to the caller's handler.
struct HandlerFrame {
    cl_object name;      // the function's symbol, for messages
    LAOBJ** saved_base;  // the caller's value-stack window
    LAOBJ** saved_top;
    LAOBJ** saved_mark;
    HandlerFrame* saved_frame;
};

// The handler whose C++ code runs now; null outside handlers and while a
// handler's ifuncall* runs Lisp.
HandlerFrame* current_frame();
void set_current_frame(HandlerFrame* frame);

// A Lisp exit leaving an ifuncall*, travelling through C++ frames to the
// trampoline, which resumes it. Not a std::exception on purpose.
struct LispUnwind {
    cl_index frame_index;  // target frame, as an index (the frame stack may move)
    cl_index nvalues;      // values saved on the Lisp stack
};

// An error raised by host code inside a handler; the trampoline signals it.
struct HostError {
    enum Kind { program_error, type_error, stack_overflow } kind;
    char const* format;  // Lisp format control (static text)
    int nargs;
    LispRoot args[3];  // format arguments; type_error: datum, type;
                       // stack_overflow: which stack, its size
};

// Raises a host error: as a HostError inside a handler, directly as a Lisp
// error outside any.
[[noreturn]] void raise(HostError::Kind kind, char const* format, int nargs, cl_object a = ECL_NIL,
                        cl_object b = ECL_NIL, cl_object c = ECL_NIL);

// Floating-point traps: C++ code runs with none, Lisp with its own choice
// (the engine keeps it per thread).
void enter_cxx();
void enter_lisp(cl_env_ptr env);

// Calls fn on n arguments; first value. Guarded when inside a handler.
cl_object call_lisp(cl_object fn, int n, cl_object const* args);

// A name for symbol and package look-ups (base string when ASCII, as the
// engine keeps them).
cl_object symbol_name_string(char const* name);

// Symbol of the Lisp type named by text in CL (for type errors).
cl_object type_symbol(char const* name);

// Host set-up parts, run once by lisp_host_boot.
void init_roots();
void init_handles();
void init_loader();

}  // namespace lisp_host
