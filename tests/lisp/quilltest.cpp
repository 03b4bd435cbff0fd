// Test-only module: handlers in package XMLTEST that exercise the host's
// Lisp interface from the C++ side (argument passing and errors, calls back
// into Lisp, floating point, strings, handles, collector roots).
// quill-lisp loads it with --module.
#include "platform/host/data_dir.h"
#include "tests/lisp/test_module.h"

#include <dlfcn.h>
#include <gc/gc.h>

#include <cfenv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using testmodule::arg;
using testmodule::result;

// Counts live instances and owns heap memory, so a skipped destructor shows
// both in live_trackers and as a leak under the sanitizer.
int live_trackers = 0;
struct Tracker {
    std::unique_ptr<char[]> payload{new char[64]};
    Tracker() { ++live_trackers; }
    ~Tracker() { --live_trackers; }
    Tracker(Tracker const&) = delete;
    Tracker& operator=(Tracker const&) = delete;
};

LAOBJ* list_of(LAOBJ** from, LAOBJ** to) {
    LAOBJ* list = Cnil;
    while (to > from) list = make_cons(*--to, list);
    return list;
}

std::string narrow(LAOBJ* text) {
    std::unique_ptr<wchar_t[]> wide(readString(text));
    return wide ? std::string(wide.get(), wide.get() + wcslen(wide.get())) : std::string();
}

void* module_symbol(char const* name) {
    std::string const path = std::string(ux_library_dir()) + "/libquillxml.so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    return library ? dlsym(library, name) : nullptr;
}

HANDLER("ECHO", Lecho) { result(list_of(vs_base, vs_top)); }

// Holds owners while failing on purpose: their destructors must still run.
HANDLER("EXACTLY-TWO", Lexactly_two) {
    Tracker tracker;
    std::string copy(100, 'x');
    vs.check_arg(2);
    result(make_cons(vs_base[0], vs_base[1]));
}

HANDLER("AT-LEAST-ONE", Lat_least_one) {
    Tracker tracker;
    if (vs.count() < 1) too_few_arguments();
    result(vs_base[0]);
}

// (keys required &key :alpha :beta) -> (required alpha alpha-p beta beta-p)
HANDLER("KEYS", Lkeys) {
    if (vs.count() < 1) too_few_arguments();
    Tracker tracker;
    parse_key(vs_base + 1, false, false, 2, make_keyword("ALPHA"), make_keyword("BETA"));
    LAOBJ** k = vs_base + 1;  // values, then supplied flags
    LAOBJ* in_pairs[4] = {k[0], k[2], k[1], k[3]};
    result(make_cons(vs_base[0], list_of(in_pairs, in_pairs + 4)));
}

// (keys-then-call fn &key :alpha): the parsed value must survive a call
// back into Lisp that calls handlers.
HANDLER("KEYS-THEN-CALL", Lkeys_then_call) {
    if (vs.count() < 1) too_few_arguments();
    parse_key(vs_base + 1, false, false, 1, make_keyword("ALPHA"));
    ifuncall(vs_base[0], 0);
    result(vs_base[1]);
}

// (keys-loose &key :alpha &allow-other-keys &rest) -> (alpha alpha-p rest)
HANDLER("KEYS-LOOSE", Lkeys_loose) {
    parse_key(vs_base, true, true, 1, make_keyword("ALPHA"));
    result(list_of(vs_base, vs_base + 3));
}

// (throw-cxx) throws a standard exception, (throw-cxx x) anything else.
HANDLER("THROW-CXX", Lthrow_cxx) {
    Tracker tracker;
    if (vs.count() > 0) throw 42;
    throw std::runtime_error("boom from C++");
}

HANDLER("TYPE-ERROR", Ltype_error) {
    Tracker tracker;
    lisp_type_error(make_fixnum(5), "STRING");
}

HANDLER("LIVE-TRACKERS", Llive_trackers) { result(make_fixnum(live_trackers)); }

// The value stack's base as an address: equal before and after a call means
// the call left the stack as it found it.
HANDLER("STACK-BASE", Lstack_base) { result(make_fixnum(reinterpret_cast<long>(vs_base))); }

LAOBJ* call_with(LAOBJ* fn, LAOBJ** args, int n) {
    switch (n) {
    case 0: return ifuncall(fn, 0);
    case 1: return ifuncall1(fn, args[0]);
    case 2: return ifuncall2(fn, args[0], args[1]);
    case 3: return ifuncall3(fn, args[0], args[1], args[2]);
    default: return ifuncall(fn, 4, args[0], args[1], args[2], args[3]);
    }
}

// (call fn &rest args): calls fn with up to four arguments while holding
// C++ owners.
HANDLER("CALL", Lcall) {
    if (vs.count() < 1) too_few_arguments();
    Tracker tracker;
    std::vector<int> owned(32, 1);
    result(call_with(vs_base[0], vs_base + 1, vs.count() - 1));
}

// Calls `cleanup` from a destructor while `fn` leaves non-locally.
struct CallsLispOnExit {
    LAOBJ* cleanup;
    ~CallsLispOnExit() { ifuncall(cleanup, 0); }
};

HANDLER("CALL-WITH-CLEANUP", Lcall_with_cleanup) {
    vs.check_arg(2);
    Tracker tracker;
    CallsLispOnExit guard{vs_base[1]};
    result(ifuncall(vs_base[0], 0));
}

HANDLER("FP-DIVIDE", Lfp_divide) {
    vs.check_arg(2);
    double const a = ecl_to_double(vs_base[0]);
    double const b = ecl_to_double(vs_base[1]);
    result(ecl_make_double_float(a / b));
}

// The traps enabled for float and double arithmetic (on x86-64 the SSE
// unit's; fegetexcept reports the x87 unit's, which serves long double).
int arithmetic_traps() {
#if defined(__x86_64__)
    return static_cast<int>(~(__builtin_ia32_stmxcsr() >> 7)) & FE_ALL_EXCEPT;
#else
    return fegetexcept();
#endif
}

HANDLER("FP-TRAPS", Lfp_traps) { result(make_fixnum(arithmetic_traps())); }

// (fp-call fn) -> (fn's result, traps seen in C++ afterwards, 1/0 in C++)
HANDLER("FP-CALL", Lfp_call) {
    LAOBJ* r = ifuncall(arg(), 0);
    volatile double zero = 0.0;
    double const inf = 1.0 / zero;
    result(make_cons(r, make_cons(make_fixnum(arithmetic_traps()), make_cons(ecl_make_double_float(inf), Cnil))));
}

HANDLER("STRING-CODES", Lstring_codes) {
    std::unique_ptr<wchar_t[]> copy(readString(arg()));
    LAOBJ* codes = Cnil;
    if (copy) {
        std::size_t n = 0;
        while (copy[n]) ++n;
        while (n-- > 0) codes = make_cons(make_fixnum(copy[n]), codes);
    }
    result(copy ? codes : make_keyword("NOT-A-STRING"));
}

HANDLER("FROM-CODES", Lfrom_codes) {
    vs.check_arg(1);
    std::vector<wchar_t> text;
    for (LAOBJ* x = vs_base[0]; x != Cnil; x = cdr(x)) text.push_back(static_cast<wchar_t>(fix(car(x))));
    text.push_back(0);
    result(makeLispString(text.data()));
}

// A list of byte values, as the compact string of their UTF-8.
HANDLER("FROM-UTF8", Lfrom_utf8) {
    vs.check_arg(1);
    std::string bytes;
    for (LAOBJ* x = vs_base[0]; x != Cnil; x = cdr(x)) bytes.push_back(static_cast<char>(fix(car(x))));
    result(makeCompactLispString(bytes.data(), bytes.size()));
}

HANDLER("NULL-STRING", Lnull_string) { result(makeLispString(static_cast<wchar_t const*>(nullptr))); }

// (host-car x) and the like: the host's list operations.
#define UNARY_LIST_OP(fn, name) \
    HANDLER(name, Lhost_##fn) { result(fn(arg())); }
#define BINARY_LIST_OP(fn, name)            \
    HANDLER(name, Lhost_##fn) {             \
        vs.check_arg(2);                    \
        result(fn(vs_base[0], vs_base[1])); \
    }
UNARY_LIST_OP(car, "HOST-CAR")
UNARY_LIST_OP(cdr, "HOST-CDR")
UNARY_LIST_OP(cadr, "HOST-CADR")
UNARY_LIST_OP(caddr, "HOST-CADDR")
UNARY_LIST_OP(kar, "HOST-KAR")
BINARY_LIST_OP(nconc, "HOST-NCONC")
BINARY_LIST_OP(appendl, "HOST-APPENDL")
#undef UNARY_LIST_OP
#undef BINARY_LIST_OP

HANDLER("KIND", Lkind) { result(make_fixnum(type_of(arg()))); }

HANDLER("FIX", Lfix) { result(make_fixnum(fix(arg()) + 1)); }

HANDLER("FIND-SYMBOL", Lfind_symbol) {
    vs.check_arg(2);
    result(zel_find_symbol(narrow(vs_base[0]).c_str(), find_package(vs_base[1])));
}

HANDLER("FIND-PACKAGE", Lfind_package) { result(find_package(arg())); }

HANDLER("LOAD-LISP", Lload_lisp) {
    result(zel_load_and_compile_lisp(narrow(arg()).c_str(), "xml/l", false, true) ? Ct : Cnil);
}

HANDLER("MAKE-PTR", Lmake_ptr) {
    vs.check_arg(2);
    result(make_ptr(vs_base[0], reinterpret_cast<void*>(fix(vs_base[1]))));
}

HANDLER("PTR-OF", Lptr_of) {
    vs.check_arg(2);
    void* p = object_to_NonEntity_ptr(vs_base[0], vs_base[1], nullptr);
    result(p ? make_fixnum(reinterpret_cast<long>(p)) : Cnil);
}

HANDLER("MAKE-HANDLE", Lmake_handle) { result(make_handle(reinterpret_cast<void*>(fix(arg())))); }

HANDLER("HANDLE-POINTER", Lhandle_pointer) {
    void* p = handle_pointer(arg());
    result(p ? make_fixnum(reinterpret_cast<long>(p)) : Cnil);
}

// Objects carry the generation they were made in; resetting the count starts
// a new one, so late finalizations of older objects do not count.
int collected = 0;
std::intptr_t generation = 0;
void count_collected(void*, void* made_in) {
    if (reinterpret_cast<std::intptr_t>(made_in) == generation) ++collected;
}

LAOBJ* watched_object() {
    LAOBJ* cell = make_cons(make_fixnum(1), Cnil);
    GC_register_finalizer_no_order(cell, count_collected, reinterpret_cast<void*>(generation), nullptr, nullptr);
    return cell;
}

HANDLER("WATCHED", Lwatched) { result(watched_object()); }

HANDLER("COLLECTED", Lcollected) {
    GC_invoke_finalizers();
    result(make_fixnum(collected));
}

HANDLER("RESET-COLLECTED", Lreset_collected) {
    GC_invoke_finalizers();
    collected = 0;
    ++generation;
    result(Cnil);
}

// Objects that only the value stack holds, above this handler's arguments,
// while fn runs (and collects); returns how many were collected meanwhile.
HANDLER("STACK-OBJECTS", Lstack_objects) {
    vs.check_arg(2);
    long const n = fix(vs_base[0]);
    LAOBJ* fn = vs_base[1];
    if (vs_limit - vs_top < n) vs_overflow();
    int const before = collected;
    for (long i = 0; i < n; ++i) *vs_top++ = watched_object();
    ifuncall(fn, 0);
    GC_invoke_finalizers();
    result(make_fixnum(collected - before));
}

std::vector<LispRoot>* roots = new std::vector<LispRoot>;  // outlives exit-time releases

HANDLER("ROOT-OBJECTS", Lroot_objects) {
    for (long i = fix(arg()); i > 0; --i) roots->emplace_back(watched_object());
    result(make_fixnum(static_cast<long>(roots->size())));
}

HANDLER("RELEASE-ROOTS", Lrelease_roots) {
    roots->clear();
    result(Cnil);
}

// Moves and copies keep exactly the slots they should.
HANDLER("ROOT-SEMANTICS", Lroot_semantics) {
    std::size_t const base = LispRoot::live();
    bool ok = true;
    {
        LispRoot a(make_cons(Cnil, Cnil));
        LispRoot nil_root(Cnil);
        ok &= LispRoot::live() == base + 1 && nil_root.get() == Cnil;
        LispRoot b(a);
        ok &= LispRoot::live() == base + 2 && b.get() == a.get();
        LispRoot c(std::move(a));
        ok &= LispRoot::live() == base + 2 && a.get() == Cnil && c.get() == b.get();
        b = std::move(c);
        ok &= LispRoot::live() == base + 1;
        b = b;
        ok &= LispRoot::live() == base + 1 && b.get() != Cnil;
        b.set(Cnil);
        ok &= b.get() == Cnil;
    }
    ok &= LispRoot::live() == base;
    result(ok ? Ct : Cnil);
}

HANDLER("ROOT-COUNT", Lroot_count) { result(make_fixnum(static_cast<long>(LispRoot::live()))); }

HANDLER("INIT-XML-AGAIN", Linit_xml_again) {
    auto init = reinterpret_cast<void (*)()>(module_symbol("init_load_init"));
    if (init) init();
    result(init ? Ct : Cnil);
}

// Writes with C stdio, to check its order against Lisp output.
HANDLER("C-PRINT", Lc_print) {
    std::unique_ptr<wchar_t[]> text(readString(arg()));
    std::printf("%ls", text ? text.get() : L"");
    result(Cnil);
}

}  // namespace

extern "C" void init_load_init() { testmodule::registerAll("XMLTEST"); }
