// File-name routines of the host, on wide strings. Result buffers are the
// caller's; callers pass UX_MAX_PATH characters.
//
// Configuration files are looked up in the directories of QUILL_CONFIG_PATH
// (colon-separated, in order), then in the module's data directory.
#pragma once

#include <cstddef>

size_t const UX_MAX_PATH = 1024;

// directory + '/' + name (one separator; an absolute name or an empty
// directory gives the name). False, with result "", when it does not fit.
bool ux_filenamemerge(wchar_t const* directory, wchar_t const* name, wchar_t* result, size_t size = UX_MAX_PATH);

// The first existing file of that relative name among the configuration
// directories, into result; "" and false when there is none.
bool ux_find_configuration_file(wchar_t const* relativePath, wchar_t* result, size_t size = UX_MAX_PATH);

// access(2) with the effective ids: mode 4 read, 2 write, 1 execute, 0
// existence. 0 when allowed, -1 otherwise (null path too).
int ux_file_eaccess(wchar_t const* path, int mode);

// path made absolute against the working directory, with "." and ".."
// steps and repeated separators removed. result may be path itself. False,
// with result "", when it does not fit.
bool ux_make_path_absolute(wchar_t const* path, wchar_t* result, size_t size = UX_MAX_PATH);

// The configuration directories in search order (for diagnostics); the
// result lives until the next call.
wchar_t const* const* ux_configuration_directories(size_t* count);
