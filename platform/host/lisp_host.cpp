// Boot, value stack, handler trampoline and argument errors.
#include "platform/host/lisp_internal.h"

#include <gc/gc.h>
#include <gc/gc_mark.h>
#include <sys/mman.h>

#include <algorithm>
#include <cfenv>
#include <cstdarg>
#include <cstdio>
#include <exception>

LAOBJ* const Cnil = ECL_NIL;
LAOBJ* const Ct = ECL_T;

LAOBJ** vs_base = nullptr;
LAOBJ** vs_top = nullptr;
LAOBJ** vs_limit = nullptr;
VS vs;

namespace lisp_host {
namespace {

using Handler = void (*)();

// 8 MiB of address space; the system commits pages only as they are used.
constexpr std::size_t kStackSlots = std::size_t(1) << 20;
constexpr int kMaxKeys = 32;
constexpr cl_fixnum kFrameStackSize = 16384;

LAOBJ** vs_org = nullptr;
// Highest slot that live handlers wrote; parse_key leaves values above
// vs_top, and they must stay visible to the collector.
LAOBJ** vs_mark = nullptr;
HandlerFrame* g_frame = nullptr;
// The booting thread's environment. The value stack, the handler frames and
// every module's caches are process globals, as in the single-threaded host
// this stands in for: other Lisp threads are refused at the door.
cl_env_ptr g_host_env = nullptr;
GC_push_other_roots_proc previous_root_pusher = nullptr;

void push_value_stack() {
    if (previous_root_pusher) previous_root_pusher();
    LAOBJ** end = std::max(vs_top, vs_mark);
    if (vs_org && end > vs_org) GC_push_all(vs_org, end);
}

bool init_value_stack() {
    void* block = mmap(nullptr, kStackSlots * sizeof(LAOBJ*), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) return false;
    vs_org = static_cast<LAOBJ**>(block);
    vs_base = vs_top = vs_mark = vs_org;
    vs_limit = vs_org + kStackSlots;
    // The engine scans its own stacks from the same hook; chain to it.
    previous_root_pusher = GC_get_push_other_roots();
    GC_set_push_other_roots(push_value_stack);
    return true;
}

cl_object value_stack_name() { return ecl_make_keyword("VALUE-STACK"); }

cl_object value_stack_size() { return ecl_make_fixnum(kStackSlots); }

// Everything a failed handler leaves to do once its C++ frames are gone.
struct Pending {
    enum Kind { none, unwind, error } kind = none;
    HostError::Kind error_kind = HostError::program_error;
    char const* format = nullptr;
    int nargs = 0;
    cl_object args[3] = {ECL_NIL, ECL_NIL, ECL_NIL};
    LispUnwind exit{};
};

[[noreturn]] void signal_now(HostError::Kind kind, char const* format, int nargs, cl_object a, cl_object b,
                             cl_object c) {
    switch (kind) {
    case HostError::type_error: FEwrong_type_argument(b, a);
    case HostError::stack_overflow:  // a: which stack, b: its size
        cl_error(5, ecl_make_symbol("STACK-OVERFLOW", "EXT"), ecl_make_keyword("SIZE"), b, ecl_make_keyword("TYPE"), a);
    case HostError::program_error:
    default: FEprogram_error(format, nargs, a, b, c);
    }
}

// Leaves the handler's context: engine frames a stray C++ exception may
// have skipped, then floating point, then the Lisp action itself.
[[noreturn]] void resume_lisp(cl_env_ptr env, HandlerFrame& frame, cl_index frs_index, cl_index bds_index, Pending& p) {
    if (env->frs_top != env->frs_org + frs_index) env->frs_top = env->frs_org + frs_index;
    if (env->bds_top != env->bds_org + bds_index) ecl_bds_unwind(env, bds_index);
    g_frame = frame.saved_frame;
    enter_lisp(env);
    if (p.kind == Pending::unwind) {
        ecl_stack_pop_values(env, p.exit.nvalues);
        ecl_unwind(env, env->frs_org + p.exit.frame_index);
    }
    signal_now(p.error_kind, p.format, p.nargs, p.args[0], p.args[1], p.args[2]);
}

void record_error(Pending& p, HostError::Kind kind, char const* format, int nargs, cl_object a, cl_object b = ECL_NIL,
                  cl_object c = ECL_NIL) {
    p.kind = Pending::error;
    p.error_kind = kind;
    p.format = format;
    p.nargs = nargs;
    p.args[0] = a;
    p.args[1] = b;
    p.args[2] = c;
}

// Runs the handler inside the trampoline's unwind-protect. Every way out of
// the handler other than a normal return arrives here as a C++ exception,
// after the handler's destructors ran, and leaves as a Lisp action.
cl_object run_handler(cl_env_ptr env, HandlerFrame& frame, Handler handler) {
    cl_index const frs_index = env->frs_top - env->frs_org;
    cl_index const bds_index = env->bds_top - env->bds_org;
    Pending p;
    try {
        handler();
        return vs_base[0];
    } catch (LispUnwind const& u) {
        p.kind = Pending::unwind;
        p.exit = u;
    } catch (HostError const& e) {
        record_error(p, e.kind, e.format, e.nargs, e.args[0].get(), e.args[1].get(), e.args[2].get());
    } catch (std::exception const& e) {
        record_error(p, HostError::program_error, "C++ exception in ~S: ~A", 2, frame.name,
                     make_simple_string(e.what()));
    } catch (...) {
        record_error(p, HostError::program_error, "Unknown C++ exception in ~S", 1, frame.name);
    }
    resume_lisp(env, frame, frs_index, bds_index, p);
}

void leave_frame(cl_env_ptr env, HandlerFrame const& frame) {
    vs_base = frame.saved_base;
    vs_top = frame.saved_top;
    vs_mark = frame.saved_mark;
    g_frame = frame.saved_frame;
    enter_lisp(env);
}

// Signalled before the call touches any shared state.
[[noreturn]] void refuse_other_thread(cl_object name) {
    FEerror("~S: module functions can only be called from the host's main thread.", 1, name);
}

// The Lisp side of every registered function. Its closure environment is
// (name . foreign-data holding the handler).
cl_object trampoline(cl_narg narg, ...) {
    const cl_env_ptr env = ecl_process_env();
    const cl_object data = env->function->cclosure.env;  // before any nested call
    if (env != g_host_env) refuse_other_thread(cons_car(data));
    HandlerFrame frame{cons_car(data), vs_base, vs_top, vs_mark, g_frame};
    Handler handler = reinterpret_cast<Handler>(cons_cdr(data)->foreign.data);

    // Above everything the calling handler wrote, keyword values included.
    LAOBJ** const base = std::max(vs_top, vs_mark);
    cl_narg const room = std::max<cl_narg>(narg, 1);
    if (vs_limit - base < room)
        signal_now(HostError::stack_overflow, nullptr, 2, value_stack_name(), value_stack_size(), ECL_NIL);
    ecl_va_list args;
    ecl_va_start(args, narg, narg, 0);
    for (cl_narg i = 0; i < narg; ++i) base[i] = ecl_va_arg(args);
    ecl_va_end(args);
    if (narg == 0) base[0] = ECL_NIL;
    vs_base = base;
    vs_top = base + narg;
    vs_mark = std::max(vs_mark, base + room);
    g_frame = &frame;

    // An unwind-protect (without saving values: leave_frame runs no Lisp).
    cl_object result = ECL_NIL;
    {
        ecl_frs_push(env, ECL_PROTECT_TAG);
        if (__ecl_frs_push_result == 0) {
            enter_cxx();
            result = run_handler(env, frame, handler);
            ecl_frs_pop(env);
            leave_frame(env, frame);
        } else {
            ecl_frame_ptr const target = env->nlj_fr;
            ecl_frs_pop(env);
            leave_frame(env, frame);
            ecl_unwind(env, target);
        }
    }
    ecl_return1(env, result);
}

cl_object make_handler_function(cl_object name, Handler handler) {
    cl_object pointer = ecl_make_foreign_data(ECL_NIL, 0, reinterpret_cast<void*>(handler));
    return ecl_make_cclosure_va(trampoline, ecl_cons(name, pointer), ECL_NIL, 0);
}

cl_object frame_name() { return g_frame ? g_frame->name : ECL_NIL; }

}  // namespace

HandlerFrame* current_frame() { return g_frame; }

void set_current_frame(HandlerFrame* frame) { g_frame = frame; }

// Trap masks are written only when they change, and on x86-64 directly:
// the C library's versions save and restore the whole x87 environment.
//
// Only the SSE unit switches at a crossing. C++ does its float and double
// arithmetic there, so that is where a NaN or an infinity must be a value.
// The x87 unit serves only long double, which neither the module nor the
// libraries it calls use, and Lisp's long floats, which keep trapping; and
// writing its control word is slow on virtual machines (about 150 ns here,
// two per handler call), so it keeps Lisp's setting throughout and is
// written back only when C++ code changed it.
#if defined(__x86_64__)

namespace {

constexpr unsigned kAllTraps = FE_ALL_EXCEPT;  // same bits in the x87 control word
constexpr unsigned kSseMaskShift = 7;          // MXCSR keeps its masks 7 bits up

unsigned short x87_control() {
    unsigned short cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}

void set_x87_control(unsigned short cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }

unsigned short x87_status() {
    unsigned short sw;
    __asm__ volatile("fnstsw %0" : "=m"(sw));
    return sw;
}

}  // namespace

void enter_cxx() {
    unsigned const csr = __builtin_ia32_stmxcsr();
    unsigned const masked_csr = csr | (kAllTraps << kSseMaskShift);
    if (csr != masked_csr) __builtin_ia32_ldmxcsr(masked_csr);
}

void enter_lisp(cl_env_ptr env) {
    unsigned const traps = env->trap_fpe_bits & kAllTraps;
    // Flags raised by C++ code must not fire as soon as the traps are back.
    unsigned const csr = __builtin_ia32_stmxcsr();
    unsigned const lisp_csr = ((csr | (kAllTraps << kSseMaskShift)) & ~(traps << kSseMaskShift)) & ~kAllTraps;
    if (csr != lisp_csr) __builtin_ia32_ldmxcsr(lisp_csr);
    unsigned short const cw = x87_control();
    unsigned short const lisp_cw = static_cast<unsigned short>((cw | kAllTraps) & ~traps);
    if (cw != lisp_cw) {
        if (x87_status() & traps) __asm__ volatile("fnclex");
        set_x87_control(lisp_cw);
    }
}

#else

void enter_cxx() {
    if (fegetexcept() != 0) fedisableexcept(FE_ALL_EXCEPT);
}

void enter_lisp(cl_env_ptr env) {
    int const traps = env->trap_fpe_bits & FE_ALL_EXCEPT;
    if (fegetexcept() != traps) {
        feclearexcept(FE_ALL_EXCEPT);
        fedisableexcept(FE_ALL_EXCEPT & ~traps);
        feenableexcept(traps);
    }
}

#endif

void raise(HostError::Kind kind, char const* format, int nargs, cl_object a, cl_object b, cl_object c) {
    if (g_frame) throw HostError{kind, format, nargs, {LispRoot(a), LispRoot(b), LispRoot(c)}};
    signal_now(kind, format, nargs, a, b, c);
}

cl_object type_symbol(char const* name) { return ecl_make_symbol(name, "CL"); }

}  // namespace lisp_host

using namespace lisp_host;

namespace {

bool g_host_ready = false;

// Everything the host needs besides the engine's own boot. The thread that
// prepares the host is the one whose calls the module takes.
bool prepare_host() {
    g_host_env = ecl_process_env();
    if (!init_value_stack()) {
        std::fprintf(stderr, "quill: cannot reserve the Lisp value stack\n");
        return false;
    }
    init_roots();
    init_handles();
    init_loader();
    g_host_ready = true;
    return true;
}

}  // namespace

bool lisp_host_boot(int argc, char** argv) {
    if (g_host_ready) return true;
    // Every handler that calls back into Lisp takes two frames (its own
    // unwind-protect and the guard of the call), so nesting is bounded by the
    // frame stack long before the C stack: give it room.
    ecl_set_option(ECL_OPT_FRAME_STACK_SIZE, kFrameStackSize);
    cl_boot(argc, argv);
    return prepare_host();
}

bool lisp_host_attach() {
    if (g_host_ready) return true;
    // The engine boots once per process: this entry never boots it.
    if (!ecl_get_option(ECL_OPT_BOOTED)) {
        std::fprintf(stderr, "quill: no running Lisp to attach to\n");
        return false;
    }
    return prepare_host();
}

void lisp_host_shutdown() { cl_shutdown(); }

void lisp_host_call(char const* name, void (*entry)()) {
    cl_object symbol = cl_make_symbol(make_simple_string(name));
    cl_funcall(1, make_handler_function(symbol, entry));
}

LAOBJ* make_package_function(char const* name, void (*handler)(), LAOBJ* package, int status) {
    if (!ECL_PACKAGEP(package)) {
        std::fprintf(stderr, "quill: no package to register %s in\n", name);
        return ECL_NIL;
    }
    int where = 0;
    cl_object symbol = ecl_intern(symbol_name_string(name), package, &where);
    if (where == ECL_INHERITED) {
        // Redefining another package's symbol (CL:FIRST, say) is never meant.
        std::fprintf(stderr, "quill: %s is inherited by the package; not registered\n", name);
        return ECL_NIL;
    }
    if (status == 2) cl_export2(symbol, package);
    si_fset(2, symbol, make_handler_function(symbol, handler));
    return symbol;
}

// ------------------------------------------------------------ argument errors

void VS::check_arg_failed(int n) {
    raise(HostError::program_error, "Wrong number of arguments passed to function ~S: expected ~D, got ~D.", 3,
          frame_name(), ecl_make_fixnum(n), ecl_make_fixnum(vs_top - vs_base));
}

void too_few_arguments() {
    raise(HostError::program_error, "Too few arguments passed to function ~S: got ~D.", 2, frame_name(),
          ecl_make_fixnum(vs_top - vs_base));
}

void vs_overflow() { raise(HostError::stack_overflow, nullptr, 2, value_stack_name(), value_stack_size()); }

void lisp_program_error(char const* format, LAOBJ* a, LAOBJ* b, LAOBJ* c) {
    int const nargs = c ? 3 : b ? 2 : a ? 1 : 0;
    raise(HostError::program_error, format, nargs, a ? a : ECL_NIL, b ? b : ECL_NIL, c ? c : ECL_NIL);
}

void lisp_type_error(LAOBJ* datum, char const* expected_type) {
    raise(HostError::type_error, nullptr, 2, datum, type_symbol(expected_type));
}

// ---------------------------------------------------------------- keywords

namespace {

int key_index(cl_object key, cl_object const* keys, int n) {
    for (int i = 0; i < n; ++i)
        if (keys[i] == key) return i;
    return -1;
}

cl_object key_list(cl_object const* keys, int n) {
    cl_object list = ECL_NIL;
    for (int i = n; i-- > 0;) list = ecl_cons(keys[i], list);
    return list;
}

}  // namespace

void parse_key(LAOBJ** base, bool rest, bool allow_other_keys, int n, ...) {
    if (n < 0 || n > kMaxKeys) lisp_program_error("parse_key: too many keywords in ~S.", frame_name());
    cl_object keys[kMaxKeys];
    va_list ap;
    va_start(ap, n);
    for (int i = 0; i < n; ++i) keys[i] = va_arg(ap, cl_object);
    va_end(ap);

    long const count = std::max<long>(vs_top - base, 0);
    if (count % 2 != 0) lisp_program_error("Odd number of keyword arguments passed to function ~S.", frame_name());
    cl_object values[kMaxKeys];
    cl_object supplied[kMaxKeys];
    std::fill_n(values, n, ECL_NIL);
    std::fill_n(supplied, n, ECL_NIL);
    for (long j = 0; j < count; j += 2) {
        int const i = key_index(base[j], keys, n);
        if (i < 0) {
            if (allow_other_keys) continue;
            lisp_program_error("Unknown keyword ~S passed to function ~S; allowed: ~S.", base[j], frame_name(),
                               key_list(keys, n));
        }
        if (supplied[i] == ECL_NIL) {
            values[i] = base[j + 1];
            supplied[i] = ECL_T;
        }
    }
    cl_object rest_list = ECL_NIL;
    if (rest)
        for (long j = count; j-- > 0;) rest_list = ecl_cons(base[j], rest_list);

    long const needed = 2L * n + (rest ? 1 : 0);
    if (vs_limit - base < needed) vs_overflow();
    std::copy_n(values, n, base);
    std::copy_n(supplied, n, base + n);
    if (rest) base[2 * n] = rest_list;
    vs_mark = std::max(vs_mark, base + needed);
    vs_top = base;
}
