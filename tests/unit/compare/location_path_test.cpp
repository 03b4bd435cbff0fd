#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "compare/LocationPath.h"
#include "compare_support.h"

namespace {

// Paths from parse/create/append belong to the test.
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

TEST(LocationPath, BuildersAndAppendLeaveTheirSourceAlone) {
    EXPECT_EQ(text(*own(LocationPath::create(L"root"))), L"/root");
    EXPECT_EQ(text(*own(LocationPath::create(L"root", L"id", true))), L"/root/@id");
    EXPECT_EQ(text(*own(LocationPath::create(L"root", L"item", L"id", false))), L"/root/item/id");
    EXPECT_EQ(own(LocationPath::create(L"root"))->referenceCount(), 0);

    auto base = own(LocationPath::parse(L"/a"));
    EXPECT_EQ(text(*own(base->append(L"k", true))), L"/a/@k");
    EXPECT_EQ(text(*own(base->append(L"b", L"c", false))), L"/a/b/c");
    EXPECT_EQ(text(*own(base->append(L"b", L"c", L"k", true))), L"/a/b/c/@k");
    EXPECT_EQ(text(*base), L"/a");
}

TEST(LocationPath, PushAndPopKeepTheTextCurrent) {
    LocationPath path;
    path.setAbsolute(true);
    EXPECT_EQ(path.pop(), &path);  // nothing to pop is fine
    path.pushElement(L"a")->pushElement(L"b");
    std::wstring const before = text(path);  // now cached
    EXPECT_EQ(text(*path.pushAttribute(L"k")), L"/a/b/@k");
    EXPECT_EQ(descriptor(path.getLast()), L"@k");
    EXPECT_EQ(text(*path.pop()), before);
    path.reset();
    EXPECT_EQ(text(path), L"/");

    // Absent names make steps without descriptor, which print as nothing.
    path.pushElement(nullptr)->pushElement(L"")->pushElement(L"c")->pushAttribute(nullptr);
    EXPECT_EQ(path.getStep(0)->toString(), nullptr);
    EXPECT_EQ(text(path), L"///c/@");

    // Long texts are not cut.
    std::wstring const tag(700, L't');
    path.reset();
    path.pushElement(tag.c_str())->pushAttribute(tag.c_str());
    EXPECT_EQ(text(path), L"/" + tag + L"/@" + tag);
}

TEST(LocationPath, EqualityIsEqualityOfTextsAndCopiesAreDeep) {
    auto parsed = own(LocationPath::parse(L"/a/b/@c"));
    LocationPath pushed;
    pushed.setAbsolute(true);
    pushed.pushElement(L"a")->pushElement(L"b")->pushAttribute(L"c");
    EXPECT_TRUE(*parsed == pushed);
    EXPECT_TRUE(pushed == L"/a/b/@c");
    EXPECT_NE(*own(LocationPath::parse(L"a/b")), *own(LocationPath::parse(L"/a/b")));
    EXPECT_NE(*own(LocationPath::parse(L"/a/@b")), *own(LocationPath::parse(L"/a/b")));
    EXPECT_TRUE(*parsed != L"/A/b/@c");

    LocationPath copy(pushed);
    copy.pushElement(L"d");
    EXPECT_EQ(text(pushed), L"/a/b/@c");
    LocationPath assigned;
    assigned.pushElement(L"old");
    assigned = copy;
    copy.reset();
    EXPECT_EQ(text(assigned), L"/a/b/@c/d");
    EXPECT_TRUE(assigned.isAbsolute());
}

TEST(LocationStep, CreationComparisonAndNames) {
    std::unique_ptr<LocationStep> prefix(LocationStep::create(L"abcdef", 3));
    std::unique_ptr<LocationStep> empty(LocationStep::create(L"abc", 0));
    std::unique_ptr<LocationStep> none(LocationStep::create(nullptr, 4));
    EXPECT_EQ(descriptor(prefix.get()), L"abc");
    ASSERT_NE(empty->toString(), nullptr);
    EXPECT_EQ(none->toString(), nullptr);
    EXPECT_TRUE(*prefix == L"abc");
    EXPECT_TRUE(*none == static_cast<wchar_t const*>(nullptr));
    EXPECT_TRUE(*none != *empty);

    // @b and b both name b.
    auto path = own(LocationPath::parse(L"/a/@b"));
    EXPECT_TRUE(path->getLast()->nameEquals(L"b"));
    EXPECT_FALSE(path->getLast()->nameEquals(L"@b"));
    EXPECT_FALSE(path->getLast()->nameEquals(nullptr));
    std::unique_ptr<LocationStep> element(LocationStep::create(L"b"));
    EXPECT_TRUE(element->nameEquals(L"b"));
    EXPECT_FALSE(element->nameEquals(L"B"));
    EXPECT_FALSE(none->nameEquals(L"b"));

    LocationStep copy(*element);
    EXPECT_NE(copy.toString(), element->toString());
    EXPECT_TRUE(copy == *element);
    copy = *none;
    EXPECT_EQ(copy.toString(), nullptr);
}

}  // namespace
