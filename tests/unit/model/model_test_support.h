// Shared by the model tests: a fixture that checks the factory's live
// counters end where they started, and small helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"
#include "tests/unit/common/live_objects.h"
#include "tests/unit/common/temp_files.h"

namespace modeltest {

using ModelTest = testfiles::LiveObjectTest;
using testfiles::readFile;
using testfiles::TempDir;

// A document parsed from text; the test fails when it does not parse.
XmlSmartPtr<TrelDOMDocument> parse(wchar_t const* text);

// getText(path) of the document, "(null)" for null.
std::wstring textAt(TrelDOMDocument const* document, wchar_t const* path);

}  // namespace modeltest
