// Shared by the comparator tests: a fixture that checks the factory's live
// counters end where they started, and documents parsed from text.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "compare/LocationPath.h"
#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"
#include "tests/unit/common/live_objects.h"

// Failure messages show a path by its text.
inline void PrintTo(LocationPath const& path, std::ostream* out) {
    std::wstring const text(path.toString());
    *out << '"' << std::string(text.begin(), text.end()) << '"';
}

namespace comparetest {

using testfiles::LiveObjectTest;

// A document parsed from text; the test fails when it does not parse.
inline XmlSmartPtr<TrelDOMDocument> parse(std::wstring const& text) {
    XmlSmartPtr<TrelDOMDocument> document(XmlObjectFactory::getInstance()->createDocument());
    EXPECT_TRUE(document);
    if (document && !document->loadXML(text.c_str())) {
        ADD_FAILURE() << "does not parse";
        return nullptr;
    }
    return document;
}

// The tag of an element node, "(none)" for anything else.
inline std::wstring tagOf(TrelDOMNode const* node) {
    auto const* element = dynamic_cast<TrelDOMElement const*>(node);
    return element && element->getTag() ? element->getTag() : L"(none)";
}

}  // namespace comparetest
