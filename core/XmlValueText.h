// The fixed text forms of typed values, and unmarshal (engine text to a heap
// string of the module's own). Numbers are read and written with a decimal
// point whatever the process locale says.
#pragma once

// True exactly for the text "true" (case-sensitive); false for null.
bool equalsTrue(wchar_t const* s);

// Reads s as scanf's "%lg" does: leading blanks skipped, trailing text
// ignored. True when a number was read; out is untouched otherwise.
bool readDouble(wchar_t const* s, double& out);

// Writes v as "%.16g" into buf of size characters (always terminated when
// size > 0). Callers pass 1024 characters.
void writeDouble(wchar_t* buf, unsigned size, double v);

// A heap copy of s (freed with ux_strfree) after the host's wide-to-wide
// conversion; null gives null.
wchar_t* unmarshal(wchar_t* s);
