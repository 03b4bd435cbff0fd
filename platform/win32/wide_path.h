// Internal to libquillwin32: wide (UTF-32) file names to the UTF-8 bytes the
// file system takes. Invalid code points become U+FFFD.
#pragma once

#include <string>

namespace quillwin32 {

std::string pathToUtf8(wchar_t const* path);

}  // namespace quillwin32
