// The host's automation log: timestamped lines with their level, appended to
// the file named by QUILL_AUTOMATION_LOG (UTF-8). No variable, no log. Lines
// above QUILL_AUTOMATION_LOG_LEVEL (default 9) are left out.
#pragma once

class AutomationLogger {
public:
    typedef int LEVEL;

    // One line: "<date> <time> [<level>] <text>".
    static void log(wchar_t const* text, LEVEL level);
    // One line: "<date> <time> [<level>] <text><argument>".
    static void log(wchar_t const* text, wchar_t const* argument, LEVEL level);
    // Whether a line of that level would be written now.
    static bool enabled(LEVEL level);
};
