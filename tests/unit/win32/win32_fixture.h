// Shared helpers of the platform tests: temporary folders and file bytes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/unit/common/temp_files.h"

namespace win32test {

using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

// Test folders are plain ASCII.
inline std::wstring wide(std::filesystem::path const& p) {
    std::string s = p.string();
    return std::wstring(s.begin(), s.end());
}

inline size_t filesIn(std::filesystem::path const& dir) {
    size_t n = 0;
    for ([[maybe_unused]] auto const& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

}  // namespace win32test
