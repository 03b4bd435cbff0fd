// quill-lisp: the host's Lisp on the command line, with the XML module
// loaded. Runs forms and files in order, or an interactive session.
#include "platform/host/lisp_internal.h"

#include "platform/host/data_dir.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

char const kUsage[] =
    "Usage: quill-lisp [--eval FORM | --module LIBRARY | FILE]...\n"
    "\n"
    "Boots the host's Lisp, creates the package XML, loads the XML module\n"
    "(libquillxml.so next to libquillhost.so) and runs its init_load_init.\n"
    "Then evaluates every --eval FORM and loads every FILE in the order given,\n"
    "in package CL-USER. With neither, starts an interactive session.\n"
    "\n"
    "  --eval FORM        evaluate the forms in FORM\n"
    "  --module LIBRARY   also load that module library and run its init_load_init\n"
    "                     (after the XML module, before any form or file)\n"
    "  --help             show this text\n"
    "\n"
    "Exit status: 0 when everything ran; 1 after an unhandled Lisp error (the\n"
    "condition is printed on stderr; no debugger is entered); N after\n"
    "(ext:quit N); 2 for a bad command line.\n"
    "\n"
    "Environment: QUILL_DATA_DIR overrides the module's data directory (where\n"
    "xml/lsp/*.lsp are found); QUILL_AUTOMATION_LOG names the host's log.\n";

struct Action {
    bool eval;         // an --eval form, else a file to load
    char const* text;  // points into argv
};

struct Options {
    std::vector<Action> actions;
    std::vector<std::string> modules;  // absolute paths; the XML module first
    bool help = false;
};

// Parses argv; returns false (with a message) for a bad command line.
bool parse_options(int argc, char** argv, Options& out) {
    bool files_only = false;
    for (int i = 1; i < argc; ++i) {
        char const* arg = argv[i];
        if (files_only || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
            out.actions.push_back({false, arg});
        } else if (std::strcmp(arg, "--") == 0) {
            files_only = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            out.help = true;
        } else if (std::strncmp(arg, "--eval=", 7) == 0) {
            out.actions.push_back({true, arg + 7});
        } else if (std::strcmp(arg, "--eval") == 0 && i + 1 < argc) {
            out.actions.push_back({true, argv[++i]});
        } else if (std::strcmp(arg, "--module") == 0 && i + 1 < argc) {
            out.modules.emplace_back(argv[++i]);
        } else {
            std::fprintf(stderr, "quill-lisp: bad option %s (try --help)\n", arg);
            return false;
        }
    }
    return true;
}

// ----------------------------------------------------------- inside Lisp
// The functions below run inside the outermost frame. Lisp may leave them
// non-locally at any call, so they own no C++ objects.

constexpr char kDebuggerHook[] =
    "(cl:lambda (#1=#:c #2=#:h) (cl:declare (cl:ignore #2#))"
    "  (cl:ignore-errors (cl:finish-output cl:*standard-output*))"
    "  (cl:format cl:*error-output* \"~&Unhandled ~S: ~A~%\" (cl:type-of #1#) #1#)"
    "  (cl:finish-output cl:*error-output*)"
    "  (ext:quit 1))";

constexpr char kEvalString[] =
    "(cl:lambda (#1=#:text)"
    "  (cl:with-input-from-string (#2=#:in #1#)"
    "    (cl:loop (cl:let ((#3=#:form (cl:read #2# cl:nil #2#)))"
    "      (cl:when (cl:eq #3# #2#) (cl:return))"
    "      (cl:eval #3#)))))";

cl_object lisp(char const* source) { return cl_eval(ecl_read_from_cstring(source)); }

// Scripts must end, not wait in the debugger: an unhandled error prints the
// condition and exits 1.
void install_debugger_hook() {
    cl_object hook = lisp(kDebuggerHook);
    cl_set(ecl_make_symbol("*DEBUGGER-HOOK*", "CL"), hook);
    cl_set(ecl_make_symbol("*INVOKE-DEBUGGER-HOOK*", "EXT"), hook);
}

void run_action(Action const& action, cl_object eval_string) {
    std::fflush(stdout);
    if (action.eval)
        cl_funcall(2, eval_string, make_simple_string(action.text));
    else
        cl_load(3, make_simple_string(action.text), ecl_make_keyword("VERBOSE"), ECL_NIL);
}

void run_repl() {
    std::printf("quill-lisp: XML module loaded; (ext:quit) or end of input leaves.\n");
    std::fflush(stdout);
    cl_funcall(2, ecl_make_symbol("TOP-LEVEL", "SI"), ECL_NIL);
}

// 0 or 1; (ext:quit N) and unhandled errors leave through the outer frame.
int run_steps(Options const& options) {
    if (!options.actions.empty()) install_debugger_hook();
    lisp_host_make_package("XML");
    for (std::string const& module : options.modules)
        if (!lisp_host_load_module(module.c_str())) return 1;
    cl_object eval_string = lisp(kEvalString);
    for (Action const& action : options.actions) run_action(action, eval_string);
    if (options.actions.empty()) run_repl();
    return 0;
}

int exit_code_after_quit() {
    cl_object code = ecl_symbol_value(ecl_make_symbol("*PROGRAM-EXIT-CODE*", "EXT"));
    return ECL_FIXNUMP(code) ? static_cast<int>(ecl_fixnum(code)) : 1;
}

// Every Lisp exit that nothing else catches ends here: (ext:quit N) unwinds
// to the outermost frame, which must exist.
int run_in_outer_frame(Options const& options) {
    const cl_env_ptr env = ecl_process_env();
    volatile int code = 0;
    ECL_CATCH_ALL_BEGIN(env) { code = run_steps(options); }
    ECL_CATCH_ALL_IF_CAUGHT { code = exit_code_after_quit(); }
    ECL_CATCH_ALL_END;
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, options)) return 2;
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // C stdio and the Lisp streams buffer separately; unbuffered C output
    // keeps both in the order they were written.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::string const xml_module = std::string(ux_library_dir()) + "/libquillxml.so";
    options.modules.insert(options.modules.begin(), xml_module);
    if (!lisp_host_boot(argc, argv)) return 1;
    int const code = run_in_outer_frame(options);
    lisp_host_shutdown();
    return code;
}
