// The host's Lisp interface, as modules see it.
//
// Lisp objects are `LAOBJ*`; `Cnil` and `Ct` are nil and t. The Lisp engine's
// own headers stay out of here on purpose: code that never touches Lisp can
// include model headers that mention `LAOBJ*` without them.
//
// Registered functions. A module registers a `void()` handler with
// make_package_function. When Lisp calls the function, the host puts the
// arguments on the value stack, `vs_base[0]` up to `vs_top` (exclusive), and
// calls the handler, which leaves its one result in `vs_base[0]`. The stack
// is re-entrant: a handler may call Lisp (ifuncall*) that calls another
// handler, to any depth. Every Lisp object on it is seen by the collector.
//
// Errors. Argument errors (VS::check_arg_failed, too_few_arguments,
// parse_key), type errors of the list functions and every C++ exception
// leaving a handler become ordinary Lisp errors of the called function.
// They are raised as C++ exceptions inside the handler and turned into the
// Lisp error at the handler's boundary, so destructors of the handler's C++
// objects always run. Lisp exits (error, throw, return-from, go) out of an
// ifuncall* made by a handler travel the same way: the C++ frames unwind,
// then the Lisp exit carries on. Consequences for handler code:
//   - never swallow an exception with `catch (...)` without rethrowing;
//   - destructors may call Lisp, but a Lisp exit out of such a call is
//     dropped (it cannot travel while C++ is already unwinding).
//
// Floating point. Lisp runs with floating-point traps on; handler code runs
// with them off, so a NaN or an infinity is an ordinary value there. The
// switch happens at the boundary in both directions (handler entry and
// return, and around every ifuncall*). On x86-64 it covers the SSE unit,
// which does all float and double arithmetic; long double arithmetic (the
// x87 unit) keeps Lisp's traps, so handler code must not use long double.
//
// Strings. wchar_t holds one Unicode code point (32 bits). Conversions are
// exact for all of Unicode; a wchar_t beyond U+10FFFF becomes U+FFFD.
#pragma once

#include <cstddef>
#include <string>

union cl_lispunion;
typedef union cl_lispunion LAOBJ;

extern LAOBJ* const Cnil;
extern LAOBJ* const Ct;

// ---------------------------------------------------------------- start-up

// Boots the Lisp engine in this thread and prepares the host (value stack,
// collector roots). The arguments become (ext:command-args). Once per
// process; later calls do nothing and return true.
bool lisp_host_boot(int argc, char** argv);
// The same preparation inside a Lisp engine that is already running (a
// plain ecl that loaded libquillhost.so), without booting it again. Must be
// called from that engine's Lisp thread. Later calls do nothing.
bool lisp_host_attach();
// Creates the package `package` (using no other package) unless it exists.
void lisp_host_make_package(char const* package);
// Loads a module library (its symbols global, so later modules see them) and
// runs its init_load_init through lisp_host_call. False, with a message on
// stderr, when the library or its entry point is missing. Lisp context.
bool lisp_host_load_module(char const* path);
// The C entry a plain ecl calls after loading libquillhost.so (the ASDF
// system quillxml does): lisp_host_attach, package XML and the XML module
// next to this library, as quill-lisp starts them. 1 on success, else 0.
extern "C" int quill_lisp_attach();
// Flushes the Lisp streams and shuts the engine down.
void lisp_host_shutdown();
// Runs a C++ entry point (a module's init_load_init) exactly like a
// registered handler named `name` with no arguments: traps off, C++
// exceptions and Lisp exits handled at the boundary. Must be called from
// Lisp context (inside the host's outermost frame).
void lisp_host_call(char const* name, void (*entry)());

// ------------------------------------------------------------- value stack

extern LAOBJ** vs_base;
extern LAOBJ** vs_top;
extern LAOBJ** vs_limit;

class VS {
public:
    // Signals a program-error: the current function wanted exactly n
    // arguments. Does not return.
    [[noreturn]] static void check_arg_failed(int n);
    // check_arg_failed(n) unless exactly n arguments were passed.
    static void check_arg(int n) {
        if (vs_top - vs_base != n) check_arg_failed(n);
    }
    static int count() { return static_cast<int>(vs_top - vs_base); }
};
extern VS vs;

// Signals a program-error: too few arguments. Does not return.
[[noreturn]] void too_few_arguments();
// Signals a storage error: the value stack is full. Does not return.
[[noreturn]] void vs_overflow();

// Parses the keyword arguments from `base` (the first slot after the
// required arguments) up to vs_top, for the n keyword symbols that follow.
// Afterwards base[i] holds the value of key i (nil when absent) and
// base[n + i] its supplied flag (t or nil); with `rest`, base[2n] holds the
// list of all keyword arguments. vs_top is set to base. An odd number of
// keyword arguments, or a key not among the n (unless allow_other_keys),
// signals a program-error. When a key is given twice the first one counts.
void parse_key(LAOBJ** base, bool rest, bool allow_other_keys, int n, ...);

// Signal a Lisp error from handler code (unwinding it first, see above).
// `format` is a Lisp format control (~S, ~A, ~D) with up to three arguments.
[[noreturn]] void lisp_program_error(char const* format, LAOBJ* a = nullptr, LAOBJ* b = nullptr, LAOBJ* c = nullptr);
[[noreturn]] void lisp_type_error(LAOBJ* datum, char const* expected_type);

// ----------------------------------------------------------------- objects

// Object kinds as type_of reports them.
enum LispKind : short {
    kind_cons = 0,
    kind_fixnum = 1,
    kind_bignum = 2,
    kind_ratio = 3,
    kind_single_float = 4,
    kind_double_float = 5,
    kind_complex = 6,
    kind_character = 7,
    kind_symbol = 8,  // nil and t included
    kind_package = 9,
    kind_hashtable = 10,
    kind_array = 11,
    kind_vector = 12,
    kind_string = 13,
    kind_bitvector = 14,
    kind_structure = 15,  // structure and class instances
    kind_stream = 16,
    kind_random = 17,
    kind_readtable = 18,
    kind_pathname = 19,
    kind_function = 20,
    kind_foreign = 21,  // untyped pointers (make_handle)
    kind_other = 22,
};
short type_of(LAOBJ* obj);

LAOBJ* make_keyword(char const* name);  // exact name, e.g. "PRETTY-PRINT"
LAOBJ* make_fixnum(long n);             // an integer (a bignum if it must)
bool is_fixnum(LAOBJ* obj);
long fix(LAOBJ* obj);  // the value of a fixnum; type error otherwise

// A new Lisp string of the text; nil for null.
LAOBJ* makeLispString(wchar_t const* text);
LAOBJ* makeLispString(wchar_t const* text, std::size_t length);
// The same as a base string (a quarter of the memory) when every character
// is Latin-1; a base string cannot take other characters in place later.
LAOBJ* makeCompactLispString(wchar_t const* text, std::size_t length);
// The same from counted UTF-8 (malformed bytes become U+FFFD), decoded
// straight into the string's body.
LAOBJ* makeCompactLispString(char const* utf8, std::size_t length);
// A new Lisp string of UTF-8 text (malformed bytes become U+FFFD); nil for
// null.
LAOBJ* make_simple_string(char const* utf8);
// A fresh null-terminated copy of a Lisp string, allocated with new[]: free
// it with delete[]. Null for anything that is not a string, and for a
// string holding a NUL character, which no terminated copy can carry.
wchar_t* readString(LAOBJ* obj);
// The same in UTF-8, written over `out` (code points no UTF-8 can carry
// become U+FFFD); false, with `out` empty, where readString gives null.
bool readStringUtf8(LAOBJ* obj, std::string& out);

// Lists. car, cdr and friends take nil to nil and signal a type error for
// anything that is not a list; kar is car.
LAOBJ* make_cons(LAOBJ* car, LAOBJ* cdr);
LAOBJ* car(LAOBJ* x);
LAOBJ* cdr(LAOBJ* x);
LAOBJ* cadr(LAOBJ* x);
LAOBJ* caddr(LAOBJ* x);
LAOBJ* cddr(LAOBJ* x);
LAOBJ* kar(LAOBJ* x);
LAOBJ* rplaca(LAOBJ* cons, LAOBJ* value);  // returns cons
LAOBJ* nconc(LAOBJ* list, LAOBJ* tail);    // destructive: tail hangs off list's last cons
LAOBJ* appendl(LAOBJ* list, LAOBJ* tail);  // a copy of list followed by tail

// ------------------------------------------------------------------- calls

// Calls a function (or a symbol's function) with n arguments and returns
// its first value. Lisp exits out of it unwind the calling handler first
// (see above).
LAOBJ* ifuncall(LAOBJ* fn, int n, ...);
LAOBJ* ifuncall1(LAOBJ* fn, LAOBJ* a);
LAOBJ* ifuncall2(LAOBJ* fn, LAOBJ* a, LAOBJ* b);
LAOBJ* ifuncall3(LAOBJ* fn, LAOBJ* a, LAOBJ* b, LAOBJ* c);

// ------------------------------------------------------- packages and files

// The package of that name (a Lisp string or designator), or nil.
LAOBJ* find_package(LAOBJ* name);
LAOBJ* find_package(char const* name);
// Interns `name` in `package` and makes it a Lisp function that calls
// `handler`. Status 2 exports the symbol, 1 keeps it internal. Returns the
// symbol (nil when the package is nil).
LAOBJ* make_package_function(char const* name, void (*handler)(), LAOBJ* package, int status);
// The symbol of that exact name accessible in package, or nil.
LAOBJ* zel_find_symbol(char const* name, LAOBJ* package);
// Loads the Lisp source file "<path>.lsp" (path relative to the module's data
// directory) as bytecode; output_dir and compile are kept for callers that
// name where compiled code would go and whether to force it. A missing or
// failing file is reported on stderr and in the automation log when `report`
// is set; it never stops the caller. True when the file loaded.
bool zel_load_and_compile_lisp(char const* path, char const* output_dir, bool compile, bool report);

// ----------------------------------------------------------------- handles

// A new instance of the structure type named by `type`, whose first slot
// holds the pointer and second slot the stamp (both as fixnums; the type has
// exactly these two slots). Signals an error when `type` names no structure
// type.
LAOBJ* make_ptr(LAOBJ* type, void const* pointer);
// The stamp is a number of the maker's choosing, below 2^61, that lets it
// tell a handle from an older one made for an object that lived at the same
// address before. make_ptr without one stamps 0.
LAOBJ* make_ptr(LAOBJ* type, void const* pointer, std::size_t stamp);
// The pointer of a handle made by make_ptr with exactly that type; `otherwise`
// for anything else (another kind, a non-handle, an instance made in Lisp, a
// slot holding 0).
void* object_to_NonEntity_ptr(LAOBJ* type, LAOBJ* obj, void* otherwise);
// The stamp of a handle made by make_ptr; 0 for anything else. Meaningful
// only once object_to_NonEntity_ptr has accepted the handle.
std::size_t ptr_stamp(LAOBJ* handle);
// An untyped pointer object, and its pointer back (null for a non-handle).
LAOBJ* make_handle(void* pointer);
void* handle_pointer(LAOBJ* obj);

// ---------------------------------------------------- collector protection

// Keeps one Lisp object alive while a C++ object holds it (the collector
// does not scan C++ heap memory). Cheap: a slot in a block the collector
// scans; nil needs no slot. Copying makes a second root. Needs a booted host
// unless it only ever holds nil.
class LispRoot {
public:
    LispRoot() noexcept = default;
    explicit LispRoot(LAOBJ* obj) { set(obj); }
    LispRoot(LispRoot const& other) : LispRoot(other.get()) {}
    LispRoot(LispRoot&& other) noexcept : slot_(other.slot_) { other.slot_ = nullptr; }
    LispRoot& operator=(LispRoot const& other) {
        set(other.get());
        return *this;
    }
    LispRoot& operator=(LispRoot&& other) noexcept;
    ~LispRoot() { release(); }

    LAOBJ* get() const { return slot_ ? *slot_ : Cnil; }
    void set(LAOBJ* obj);
    void release() noexcept;  // back to nil

    // Number of slots in use (for tests and leak checks).
    static std::size_t live();

private:
    LAOBJ** slot_ = nullptr;
};

// No collection while one lives: for building a large structure whose
// objects all stay reachable, where every collection on the way would mark
// what is built so far and free nothing. Nests.
class LispCollectorPause {
public:
    LispCollectorPause() noexcept;
    ~LispCollectorPause();
    LispCollectorPause(LispCollectorPause const&) = delete;
    LispCollectorPause& operator=(LispCollectorPause const&) = delete;
};

// Conses for code that builds a large structure in one go, taken from the
// collector a block at a time: a fraction of make_cons's cost each. The
// collector stays paused while one lives, since the conses not handed out
// yet are known to it only here. Out of memory signals as make_cons does.
class LispConsSource {
public:
    LispConsSource() noexcept = default;
    LispConsSource(LispConsSource const&) = delete;
    LispConsSource& operator=(LispConsSource const&) = delete;

    LAOBJ* cons(LAOBJ* car, LAOBJ* cdr);

private:
    LispCollectorPause pause_;
    void* free_ = nullptr;  // the block's conses still to give, linked
};
