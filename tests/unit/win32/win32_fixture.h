// Shared helpers of the platform tests: temporary folders and file bytes.
#pragma once

#include <gtest/gtest.h>

#include <iterator>

#include "platform/win32/win32.h"
#include "tests/unit/common/temp_files.h"

namespace win32test {

using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

inline std::wstring wide(std::filesystem::path const& p) { return p.wstring(); }

inline long filesIn(std::filesystem::path const& dir) {
    return std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator());
}

}  // namespace win32test
