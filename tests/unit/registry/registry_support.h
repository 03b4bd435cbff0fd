// Shared by the registry tests: the live-object fixture of the comparator
// tests, temporary folders and environment variables restored at scope end.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/unit/common/temp_files.h"
#include "tests/unit/compare/compare_support.h"

namespace registrytest {

using comparetest::LiveObjectTest;
using comparetest::parse;

using testfiles::ScopedEnv;
using testfiles::TempDir;

inline std::wstring orNull(wchar_t const* s) { return s ? s : L"(null)"; }

}  // namespace registrytest
