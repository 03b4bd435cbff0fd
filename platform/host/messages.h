// The host's message catalogue.
//
// Texts come from a catalogue file when the environment variable
// QUILL_MESSAGES names one (UTF-8 lines "<module> <number> <text>"; lines
// starting with '#' and blank lines are skipped; "\n" and "\\" in a text
// stand for a line break and a backslash), then from the host's built-in
// table, then from the caller's default.
#pragma once

#include <cstddef>

// The catalogue text of (module, number), or defaultText. The result lives
// as long as the process.
wchar_t const* get_mesg(int module, int number, wchar_t const* defaultText);

// Writes format into buffer (size characters) with every "{1}" replaced by
// argument (null counts as ""). Text that does not fit is cut off; the
// result is always terminated when size > 0. Returns buffer.
wchar_t* ux_fix_mesg(wchar_t* buffer, size_t size, wchar_t const* format, wchar_t const* argument);
