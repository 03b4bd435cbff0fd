// Facts about the running system. Texts returned as wchar_t const* live in
// buffers of the host; the date and time buffers are rewritten by each call.
#pragma once

#include <cstddef>

namespace SYSTEM {
// The host's version, e.g. "0.1.0".
wchar_t const* program_version_string();
// The machine's host name, with its domain when one is configured locally.
wchar_t const* fullhostname();
// The user the process runs as.
wchar_t const* username();
// Today's date with a four-digit year: "YYYY-MM-DD".
wchar_t const* get_date_string_2000();
// The current local time: "HH:MM:SS".
wchar_t const* get_time_string();
}  // namespace SYSTEM

namespace FILING {
// A name in directory that no file has yet (the file is not created), written
// into buffer of size characters. Null when the directory is null or the name
// does not fit.
wchar_t* unique_file_name(wchar_t const* directory, wchar_t* buffer, size_t size);
}  // namespace FILING

// The temporary directory: $TMPDIR when set, else /tmp; with a trailing '/'
// when asked.
wchar_t const* ux_get_tmpdir(bool withSeparator);
