// Calling Lisp from C++: ifuncall and its guard against Lisp exits.
#include "platform/host/lisp_internal.h"

#include <cstdarg>
#include <cstdio>
#include <exception>

namespace lisp_host {
namespace {

constexpr int kMaxCallArgs = 64;

cl_object apply(cl_object fn, int n, cl_object const* args) {
    switch (n) {
    case 0: return cl_funcall(1, fn);
    case 1: return cl_funcall(2, fn, args[0]);
    case 2: return cl_funcall(3, fn, args[0], args[1]);
    case 3: return cl_funcall(4, fn, args[0], args[1], args[2]);
    default: {
        cl_object list = ECL_NIL;
        for (int i = n; i-- > 0;) list = ecl_cons(args[i], list);
        return cl_apply(2, fn, list);
    }
    }
}

}  // namespace

// Inside a handler, a Lisp exit out of the call must not jump over the
// handler's C++ frames: an unwind-protect frame stops it here, it travels on
// as a LispUnwind, and the trampoline resumes it once C++ has unwound.
// Nothing in this function owns memory.
cl_object call_lisp(cl_object fn, int n, cl_object const* args) {
    HandlerFrame* const frame = current_frame();
    if (!frame) return apply(fn, n, args);  // nobody to carry an exception to

    const cl_env_ptr env = ecl_process_env();
    // The engine would signal a full frame stack from the push below, out
    // of C++ code; say it here instead, as an exception.
    if (env->frs_limit - env->frs_top < 4)
        raise(HostError::stack_overflow, nullptr, 2, ecl_make_keyword("FRAME-STACK"), ecl_make_fixnum(env->frs_size));
    set_current_frame(nullptr);
    enter_lisp(env);
    cl_object result = ECL_NIL;
    bool exited = false;
    cl_index target = 0;
    {
        ecl_frs_push(env, ECL_PROTECT_TAG);
        if (__ecl_frs_push_result == 0) {
            result = apply(fn, n, args);
        } else {
            exited = true;
            target = env->nlj_fr - env->frs_org;
        }
        ecl_frs_pop(env);
    }
    enter_cxx();
    set_current_frame(frame);
    if (!exited) return result;
    if (std::uncaught_exceptions() > 0) {
        // Called from a destructor while C++ is already unwinding: a second
        // exception would terminate the process, so this exit is dropped.
        std::fprintf(stderr, "quill: a Lisp exit out of a call made during C++ unwinding was dropped\n");
        return ECL_NIL;
    }
    throw LispUnwind{target, ecl_stack_push_values(env)};
}

}  // namespace lisp_host

using lisp_host::call_lisp;

LAOBJ* ifuncall(LAOBJ* fn, int n, ...) {
    if (n < 0 || n > lisp_host::kMaxCallArgs)
        lisp_program_error("ifuncall: ~D arguments is too many.", ecl_make_fixnum(n));
    cl_object args[lisp_host::kMaxCallArgs];
    va_list ap;
    va_start(ap, n);
    for (int i = 0; i < n; ++i) args[i] = va_arg(ap, cl_object);
    va_end(ap);
    return call_lisp(fn, n, args);
}

LAOBJ* ifuncall1(LAOBJ* fn, LAOBJ* a) { return call_lisp(fn, 1, &a); }

LAOBJ* ifuncall2(LAOBJ* fn, LAOBJ* a, LAOBJ* b) {
    cl_object args[2] = {a, b};
    return call_lisp(fn, 2, args);
}

LAOBJ* ifuncall3(LAOBJ* fn, LAOBJ* a, LAOBJ* b, LAOBJ* c) {
    cl_object args[3] = {a, b, c};
    return call_lisp(fn, 3, args);
}
