// Loading the module's Lisp files from its data directory.
#include "platform/host/lisp_internal.h"

#include "platform/host/automation_log.h"
#include "platform/host/data_dir.h"
#include "platform/host/utf8.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cwchar>
#include <memory>

namespace lisp_host {
namespace {

// (lambda (path)) that loads a source file and returns nil, or the error's
// text: a broken module file must not stop the host.
cl_object* g_loader = nullptr;

constexpr char kLoader[] =
    "(cl:lambda (#1=#:path)"
    "  (cl:handler-case (cl:progn (cl:load #1# :verbose cl:nil :print cl:nil) cl:nil)"
    "    (cl:error (#2=#:c) (cl:princ-to-string #2#))))";

void report(char const* what, char const* file, char const* detail) {
    char line[PATH_MAX + 640];
    std::snprintf(line, sizeof line, "%s %s%s%s", what, file, detail ? ": " : "", detail ? detail : "");
    std::fprintf(stderr, "quill: %s\n", line);
    wchar_t wide[sizeof line];
    auto const* bytes = reinterpret_cast<unsigned char const*>(line);
    if (wchar_t const* w = UTF8ToInternal(bytes, wide, sizeof line)) AutomationLogger::log(w, 1);
}

// The text of a Lisp string as UTF-8, cut to fit.
void utf8_text(cl_object string, char* out, std::size_t size) {
    out[0] = 0;
    std::unique_ptr<wchar_t[]> w(readString(string));
    if (!w) return;
    std::size_t const limit = size / 4 - 1;  // UTF-8 needs at most 4 bytes a character
    if (std::wcslen(w.get()) > limit) w[limit] = 0;
    InternalToUTF8(w.get(), reinterpret_cast<unsigned char*>(out), size);
}

// "<data dir>/<path>.lsp" (or "<path>.lsp" when path is absolute) into
// out, without heap memory: loading may leave non-locally.
bool source_file(char const* path, char* out, std::size_t size) {
    int const n = path[0] == '/' ? std::snprintf(out, size, "%s.lsp", path)
                                 : std::snprintf(out, size, "%s/%s.lsp", ux_data_dir(), path);
    return n > 0 && static_cast<std::size_t>(n) < size;
}

}  // namespace

void init_loader() {
    g_loader = static_cast<cl_object*>(ecl_alloc_uncollectable(sizeof(cl_object)));
    *g_loader = cl_eval(ecl_read_from_cstring(kLoader));
}

}  // namespace lisp_host

bool zel_load_and_compile_lisp(char const* path, [[maybe_unused]] char const* output_dir, [[maybe_unused]] bool compile,
                               bool report) {
    // Sources load as bytecode in a few milliseconds, so nothing is compiled
    // to output_dir.
    char file[PATH_MAX];
    if (!path || !lisp_host::source_file(path, file, sizeof file)) {
        if (report) lisp_host::report("bad Lisp file name", path ? path : "(null)", nullptr);
        return false;
    }
    if (access(file, R_OK) != 0) {
        if (report) lisp_host::report("Lisp file not found:", file, nullptr);
        return false;
    }
    cl_object failure = ifuncall1(*lisp_host::g_loader, make_simple_string(file));
    if (failure == ECL_NIL) return true;
    if (report) {
        char message[512];
        lisp_host::utf8_text(failure, message, sizeof message);
        lisp_host::report("error loading Lisp file", file, message);
    }
    return false;
}
