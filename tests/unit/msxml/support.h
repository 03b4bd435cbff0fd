// Shared by the backend tests: a fixture that checks that every test gives
// back the documents and nodes it made, a temporary folder, and helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"
#include "tests/unit/common/live_objects.h"
#include "tests/unit/common/temp_files.h"

namespace msxmltest {

class BackendTest : public testfiles::LiveObjectTest {
protected:
    // A new empty document, or a document parsed from text (null when the
    // text does not parse).
    XmlSmartPtr<TrelDOMDocument> newDocument() const;
    XmlSmartPtr<TrelDOMDocument> parse(wchar_t const* text) const;

    // A fresh folder for this test, removed after it.
    std::filesystem::path const& dir() const { return dir_.path(); }
    std::wstring file(char const* name) const { return dir_.file(name); }

private:
    testfiles::TempDir dir_;
};

XmlSmartPtr<TrelDOMElement> rootOf(TrelDOMDocument const* document);
// The element the path selects from `context`, counted.
XmlSmartPtr<TrelDOMElement> at(TrelDOMElement const* context, wchar_t const* path);
XmlSmartPtr<TrelDOMNode> nodeAt(TrelDOMElement const* context, wchar_t const* path);

// A null string shown as "(null)", so that comparisons print readably.
std::wstring str(wchar_t const* s);

// The tags of the element children, in order.
std::vector<std::wstring> childTags(TrelDOMElement const* element);

// The whole subtree as one line: tag {namespace} [attributes sorted] "text"
// (children). Equal trees give equal lines, whatever the attribute order.
std::wstring describe(TrelDOMElement const* element);

using testfiles::readFile;
using testfiles::writeFile;

}  // namespace msxmltest
