// Shared by the comparator tests.
#pragma once

#include <ostream>

#include "compare/LocationPath.h"
#include "tests/unit/common/live_objects.h"

// Failure messages show a path by its text.
inline void PrintTo(LocationPath const& path, std::ostream* out) {
    std::wstring const text(path.toString());
    *out << '"' << std::string(text.begin(), text.end()) << '"';
}

namespace comparetest {

using testfiles::LiveObjectTest;
using testfiles::parse;

// The tag of an element node, "(none)" for anything else.
inline std::wstring tagOf(TrelDOMNode const* node) {
    auto const* element = dynamic_cast<TrelDOMElement const*>(node);
    return element && element->getTag() ? element->getTag() : L"(none)";
}

}  // namespace comparetest
