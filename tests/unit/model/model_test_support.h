// Shared by the model tests.
#pragma once

#include "tests/unit/common/live_objects.h"
#include "tests/unit/common/temp_files.h"

namespace modeltest {

using ModelTest = testfiles::LiveObjectTest;
using testfiles::parse;
using testfiles::readFile;
using testfiles::TempDir;

// getText(path) of the document, "(null)" for null.
inline std::wstring textAt(TrelDOMDocument const* document, wchar_t const* path) {
    return testfiles::str(document->getText(path));
}

}  // namespace modeltest
