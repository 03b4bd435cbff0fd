// Shared by the comparator tests: both ways of comparing, which must agree.
#pragma once

#include <ostream>
#include <string>

#include "compare/LocationPath.h"
#include "compare/TrelDOMComparator.h"
#include "tests/unit/common/live_objects.h"

// Failure messages show a path by its text.
inline void PrintTo(LocationPath const& path, std::ostream* out) {
    std::wstring const text(path.toString());
    *out << '"' << std::string(text.begin(), text.end()) << '"';
}

namespace comparetest {

using testfiles::parse;

// The tag of an element node, "(none)" for anything else.
inline std::wstring tagOf(TrelDOMNode const* node) {
    auto const* element = dynamic_cast<TrelDOMElement const*>(node);
    return element && element->getTag() ? element->getTag() : L"(none)";
}

class CompareTest : public testfiles::LiveObjectTest {
protected:
    // Compares without a locator (content pairing) and with one (pairwise
    // search): the verdicts must agree. Keeps the search's record.
    bool bothWays(TrelDOMComparator const& comparator, std::wstring const& first, std::wstring const& second) {
        auto a = parse(first), b = parse(second);
        bool const fast = comparator.compareTree(a, b, nullptr);
        TrelDOMNodeLocator locator;  // released before the documents
        bool const searched = comparator.compareTree(a, b, &locator);
        EXPECT_EQ(fast, searched) << "the two ways disagree on\n" << narrow(first) << "\n" << narrow(second);
        recorded_ = locator.path.toString();
        recordedTag_ = tagOf(locator.node);
        return searched;
    }
    static std::string narrow(std::wstring const& s) { return std::string(s.begin(), s.end()); }

    std::wstring recorded_, recordedTag_;
};

}  // namespace comparetest
