#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "compare/LocationPath.h"
#include "compare_support.h"

namespace {

std::unique_ptr<LocationPath> own(LocationPath* path) { return std::unique_ptr<LocationPath>(path); }
std::wstring text(LocationPath const& path) { return path.toString(); }
std::wstring textOf(wchar_t const* source) { return text(*own(LocationPath::parse(source))); }
std::wstring descriptor(LocationStep const* step) { return step && step->toString() ? step->toString() : L"(null)"; }

TEST(LocationPath, ParsingAndPrinting) {
    for (wchar_t const* empty : {static_cast<wchar_t const*>(nullptr), L""}) {
        auto path = own(LocationPath::parse(empty));
        EXPECT_FALSE(path->isAbsolute());
        EXPECT_EQ(path->stepCount(), 0);
        EXPECT_EQ(text(*path), L"");
    }
    auto slash = own(LocationPath::parse(L"/"));
    EXPECT_TRUE(slash->isAbsolute());
    EXPECT_EQ(slash->stepCount(), 0);
    EXPECT_EQ(text(*slash), L"/");

    EXPECT_EQ(own(LocationPath::parse(L"/a/b/"))->stepCount(), 2);
    EXPECT_EQ(textOf(L"/a/b/"), L"/a/b");
    auto doubled = own(LocationPath::parse(L"a//b"));
    ASSERT_EQ(doubled->stepCount(), 3);
    EXPECT_EQ(descriptor(doubled->getStep(1)), L"");  // empty, not missing
    // A trailing empty step prints as a trailing slash.
    EXPECT_EQ(textOf(L"/a//"), L"/a/");

    // Nothing but the slash is special: no trimming, predicates or escapes.
    for (wchar_t const* same : {L"/a/b/@c", L"a//b", L"//a", L"/ a /b[2]/@c d/x\\y", L"/model/q:stamp/@seed"})
        EXPECT_EQ(textOf(same), same);
    EXPECT_EQ(descriptor(own(LocationPath::parse(L"/ a /@c d"))->getLast()), L"@c d");
}

}  // namespace
