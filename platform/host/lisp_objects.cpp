// Lisp objects for handler code: kinds, numbers, strings, lists, packages.
#include "platform/host/lisp_internal.h"

#include "platform/host/utf8.h"

#include <gc/gc.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

using lisp_host::cons_car;
using lisp_host::cons_cdr;
using lisp_host::type_symbol;

short type_of(LAOBJ* obj) {
    switch (ecl_t_of(obj)) {
    case t_list: return ECL_CONSP(obj) ? kind_cons : kind_symbol;
    case t_fixnum: return kind_fixnum;
    case t_bignum: return kind_bignum;
    case t_ratio: return kind_ratio;
    case t_singlefloat: return kind_single_float;
    case t_doublefloat:
    case t_longfloat: return kind_double_float;
    case t_complex:
#ifdef ECL_COMPLEX_FLOAT
    case t_csfloat:
    case t_cdfloat:
    case t_clfloat:
#endif
        return kind_complex;
    case t_character: return kind_character;
    case t_symbol: return kind_symbol;
    case t_package: return kind_package;
    case t_hashtable: return kind_hashtable;
    case t_array: return kind_array;
    case t_vector: return kind_vector;
    case t_string:
    case t_base_string: return kind_string;
    case t_bitvector: return kind_bitvector;
    case t_instance: return kind_structure;
    case t_stream: return kind_stream;
    case t_random: return kind_random;
    case t_readtable: return kind_readtable;
    case t_pathname: return kind_pathname;
    case t_bytecodes:
    case t_bclosure:
    case t_cfun:
    case t_cfunfixed:
    case t_cclosure: return kind_function;
    case t_foreign: return kind_foreign;
    default: return kind_other;
    }
}

LAOBJ* make_keyword(char const* name) { return ecl_make_keyword(name); }

LAOBJ* make_fixnum(long n) { return ecl_make_integer(n); }

bool is_fixnum(LAOBJ* obj) { return ECL_FIXNUMP(obj); }

long fix(LAOBJ* obj) {
    if (!ECL_FIXNUMP(obj)) lisp_type_error(obj, "FIXNUM");
    return ecl_fixnum(obj);
}

// ------------------------------------------------------------------ strings

// Code points past Unicode (no reader makes them) become U+FFFD.
LAOBJ* makeLispString(wchar_t const* text, std::size_t length) {
    if (!text) return ECL_NIL;
    cl_object s = ecl_alloc_simple_extended_string(length);
    ecl_character* out = s->string.self;
    for (std::size_t i = 0; i < length; ++i) {
        auto const c = static_cast<std::uint32_t>(text[i]);
        out[i] = c < 0x110000 ? c : 0xFFFD;
    }
    return s;
}

// One pass copies and decides, without a branch per character (the loop
// vectorises); a text with a wider character is copied again, as an
// extended string, and the base string left to the collector.
LAOBJ* makeCompactLispString(wchar_t const* text, std::size_t length) {
    if (!text) return ECL_NIL;
    cl_object s = ecl_alloc_simple_base_string(length);
    ecl_base_char* out = s->base_string.self;
    std::uint32_t wide = 0;
    for (std::size_t i = 0; i < length; ++i) {
        auto const c = static_cast<std::uint32_t>(text[i]);
        wide |= c;
        out[i] = static_cast<ecl_base_char>(c);
    }
    return wide > 0xFF ? makeLispString(text, length) : s;
}

LAOBJ* makeLispString(wchar_t const* text) { return text ? makeLispString(text, std::wcslen(text)) : ECL_NIL; }

namespace {

// The code point of the sequence at s[i] (s[i] >= 0x80), advancing i past
// it; a malformed sequence is one U+FFFD up to its first bad byte.
std::uint32_t decodeSequence(unsigned char const* s, std::size_t n, std::size_t& i) {
    constexpr std::uint32_t kReplacement = 0xFFFD;
    static constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    unsigned char const lead = s[i++];
    int const extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
    if (extra == 0 || lead > 0xF4) return kReplacement;
    std::uint32_t c = lead & (0x3Fu >> extra);
    for (int k = 0; k < extra; ++k, ++i) {
        if (i >= n || (s[i] & 0xC0) != 0x80) return kReplacement;
        c = (c << 6) | (s[i] & 0x3Fu);
    }
    bool const valid = c >= kLeast[extra] && c < 0x110000 && (c < 0xD800 || c > 0xDFFF);
    return valid ? c : kReplacement;
}

// How many bytes from the start are ASCII, eight at a time: most names,
// numbers and texts of a model are ASCII all through.
std::size_t asciiPrefix(unsigned char const* s, std::size_t n) {
    std::size_t i = 0;
    for (std::uint64_t word; i + 8 <= n; i += 8) {
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

template <class Char>
void decodeInto(Char* out, unsigned char const* s, std::size_t i, std::size_t n) {
    while (i < n) *out++ = static_cast<Char>(s[i] < 0x80 ? s[i++] : decodeSequence(s, n, i));
}

}  // namespace

// The ASCII start is copied as it is; the rest is decoded twice, once to
// size the string and choose its kind, once to fill it.
LAOBJ* makeCompactLispString(char const* utf8, std::size_t length) {
    if (!utf8) return ECL_NIL;
    auto const* s = reinterpret_cast<unsigned char const*>(utf8);
    std::size_t const ascii = asciiPrefix(s, length);
    std::size_t chars = ascii;
    std::uint32_t wide = 0;
    for (std::size_t i = ascii; i < length; ++chars) wide |= s[i] < 0x80 ? s[i++] : decodeSequence(s, length, i);
    if (wide > 0xFF) {
        cl_object x = ecl_alloc_simple_extended_string(chars);
        std::copy(s, s + ascii, x->string.self);
        decodeInto(x->string.self + ascii, s, ascii, length);
        return x;
    }
    cl_object x = ecl_alloc_simple_base_string(chars);
    std::memcpy(x->base_string.self, s, ascii);
    decodeInto(x->base_string.self + ascii, s, ascii, length);
    return x;
}

LAOBJ* make_simple_string(char const* utf8) {
    if (!utf8) return ECL_NIL;
    auto const* bytes = reinterpret_cast<unsigned char const*>(utf8);
    wchar_t buffer[256];
    if (wchar_t const* w = UTF8ToInternal(bytes, buffer, 256)) return makeLispString(w);
    wchar_t* w = UTF8ToInternal(bytes, nullptr, 0);
    // The engine can leave non-locally (out of memory) only inside
    // makeLispString; free first what can be freed after.
    cl_object s = ECL_NIL;
    if (w) {
        s = makeLispString(w);
        kx_free(w);
    }
    return s;
}

namespace {

// A NUL inside would silently cut the copy short ("/tmp/x\0.xml" naming
// "/tmp/x"): such a string has no null-terminated copy.
template <class Char>
wchar_t* terminatedCopy(Char const* chars, cl_index n) {
    auto* copy = new wchar_t[n + 1];
    for (cl_index i = 0; i < n; ++i) {
        copy[i] = static_cast<wchar_t>(chars[i]);
        if (copy[i] == 0) {
            delete[] copy;
            return nullptr;
        }
    }
    copy[n] = 0;
    return copy;
}

}  // namespace

wchar_t* readString(LAOBJ* obj) {
    if (!ECL_STRINGP(obj)) return nullptr;
    if (ECL_EXTENDED_STRING_P(obj)) return terminatedCopy(obj->string.self, obj->string.fillp);
    return terminatedCopy(obj->base_string.self, obj->base_string.fillp);
}

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c >= 0x110000 || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) return out.push_back(static_cast<char>(c));
    static constexpr unsigned kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    char bytes[4];
    int const n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    for (int i = n - 1; i > 0; --i, c >>= 6) bytes[i] = static_cast<char>(0x80 | (c & 0x3F));
    bytes[0] = static_cast<char>(kLead[n] | c);
    out.append(bytes, n);
}

template <class Char>
bool utf8Copy(Char const* chars, cl_index n, std::string& out) {
    for (cl_index i = 0; i < n; ++i) {
        if (chars[i] == 0) return out.clear(), false;
        appendUtf8(out, static_cast<std::uint32_t>(chars[i]));
    }
    return true;
}

}  // namespace

bool readStringUtf8(LAOBJ* obj, std::string& out) {
    out.clear();
    if (!ECL_STRINGP(obj)) return false;
    if (ECL_EXTENDED_STRING_P(obj)) return utf8Copy(obj->string.self, obj->string.fillp, out);
    return utf8Copy(obj->base_string.self, obj->base_string.fillp, out);
}

namespace lisp_host {

cl_object symbol_name_string(char const* name) {
    for (char const* c = name; *c; ++c)
        if (static_cast<unsigned char>(*c) >= 0x80) return make_simple_string(name);
    return ecl_make_simple_base_string(name, -1);
}

}  // namespace lisp_host

// -------------------------------------------------------------------- lists

namespace {

cl_object checked_cons(cl_object x) {
    if (!ECL_CONSP(x)) lisp_type_error(x, "CONS");
    return x;
}

}  // namespace

LAOBJ* make_cons(LAOBJ* a, LAOBJ* d) { return ecl_cons(a, d); }

// The collector's block of free conses, linked through their first word; a
// cons is two words, as ecl_cons allocates it.
LAOBJ* LispConsSource::cons(LAOBJ* a, LAOBJ* d) {
    static_assert(sizeof(struct ecl_cons) == 2 * sizeof(cl_object), "conses must be two words");
    if (!free_) free_ = GC_malloc_many(sizeof(struct ecl_cons));
    if (!free_) return ecl_cons(a, d);
    auto* cell = static_cast<cl_object*>(free_);
    free_ = GC_NEXT(free_);
    cell[0] = a;
    cell[1] = d;
    return ECL_PTR_CONS(cell);
}

LAOBJ* car(LAOBJ* x) {
    if (ECL_CONSP(x)) return cons_car(x);
    if (x != ECL_NIL) lisp_type_error(x, "LIST");
    return ECL_NIL;
}

LAOBJ* cdr(LAOBJ* x) {
    if (ECL_CONSP(x)) return cons_cdr(x);
    if (x != ECL_NIL) lisp_type_error(x, "LIST");
    return ECL_NIL;
}

LAOBJ* cadr(LAOBJ* x) { return car(cdr(x)); }

LAOBJ* caddr(LAOBJ* x) { return car(cdr(cdr(x))); }

LAOBJ* cddr(LAOBJ* x) { return cdr(cdr(x)); }

LAOBJ* kar(LAOBJ* x) { return car(x); }

LAOBJ* rplaca(LAOBJ* cons, LAOBJ* value) {
    cons_car(checked_cons(cons)) = value;
    return cons;
}

LAOBJ* nconc(LAOBJ* list, LAOBJ* tail) {
    if (list == ECL_NIL) return tail;
    cl_object last = checked_cons(list);
    while (ECL_CONSP(cons_cdr(last))) last = cons_cdr(last);
    if (cons_cdr(last) != ECL_NIL) lisp_type_error(list, "LIST");
    cons_cdr(last) = tail;
    return list;
}

LAOBJ* appendl(LAOBJ* list, LAOBJ* tail) {
    if (list == ECL_NIL) return tail;
    cl_object head = ecl_cons(cons_car(checked_cons(list)), ECL_NIL);
    cl_object last = head;
    for (cl_object x = cons_cdr(list); x != ECL_NIL; x = cons_cdr(x)) {
        if (!ECL_CONSP(x)) lisp_type_error(list, "LIST");
        cl_object cell = ecl_cons(cons_car(x), ECL_NIL);
        cons_cdr(last) = cell;
        last = cell;
    }
    cons_cdr(last) = tail;
    return head;
}

// ----------------------------------------------------------------- packages

LAOBJ* find_package(LAOBJ* name) {
    if (!ECL_STRINGP(name) && !ECL_SYMBOLP(name) && !ECL_PACKAGEP(name)) return ECL_NIL;
    return cl_find_package(name);
}

LAOBJ* find_package(char const* name) { return name ? find_package(lisp_host::symbol_name_string(name)) : ECL_NIL; }

LAOBJ* zel_find_symbol(char const* name, LAOBJ* package) {
    if (!name || !ECL_PACKAGEP(package)) return ECL_NIL;
    int where = 0;
    cl_object symbol = ecl_find_symbol(lisp_host::symbol_name_string(name), package, &where);
    return where ? symbol : ECL_NIL;
}
