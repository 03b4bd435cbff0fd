#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "compare_support.h"

namespace {

std::unique_ptr<LocationPath> own(LocationPath* path) { return std::unique_ptr<LocationPath>(path); }
std::wstring text(LocationPath const& path) { return path.toString(); }
std::wstring text(LocationPath* made) { return text(*own(made)); }
std::wstring textOf(wchar_t const* source) { return text(LocationPath::parse(source)); }
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
    EXPECT_EQ(own(LocationPath::parse(L"/a/b/"))->stepCount(), 2);
    auto doubled = own(LocationPath::parse(L"a//b"));
    ASSERT_EQ(doubled->stepCount(), 3);
    EXPECT_EQ(descriptor(doubled->getStep(1)), L"");  // empty, not missing
    // A trailing empty step prints as a trailing slash; nothing but the
    // slash is special: no trimming, predicates or escapes.
    for (auto [source, printed] :
         std::vector<std::pair<wchar_t const*, wchar_t const*>>{{L"/", L"/"},
                                                                {L"/a/b/", L"/a/b"},
                                                                {L"/a//", L"/a/"},
                                                                {L"/a/b/@c", nullptr},
                                                                {L"a//b", nullptr},
                                                                {L"//a", nullptr},
                                                                {L"/ a /b[2]/@c d/x\\y", nullptr},
                                                                {L"/model/q:stamp/@seed", nullptr}})
        EXPECT_EQ(textOf(source), printed ? printed : source);
    EXPECT_EQ(descriptor(own(LocationPath::parse(L"/ a /@c d"))->getLast()), L"@c d");
}

TEST(LocationPath, BuildersMakeNewPathsAndLeaveTheirSourceAlone) {
    EXPECT_EQ(text(LocationPath::create(L"root")), L"/root");
    EXPECT_EQ(text(LocationPath::create(L"root", L"id", true)), L"/root/@id");
    EXPECT_EQ(text(LocationPath::create(L"root", L"id", false)), L"/root/id");
    EXPECT_EQ(text(LocationPath::create(L"root", L"item", L"id", true)), L"/root/item/@id");
    EXPECT_EQ(text(LocationPath::create(L"root", L"item", L"id", false)), L"/root/item/id");

    auto base = own(LocationPath::parse(L"/m"));
    EXPECT_EQ(text(*base), L"/m");  // cached before the appends
    auto one = own(base->append(L"k", true));
    auto two = own(base->append(L"p", L"k", true));
    auto three = own(base->append(L"p", L"q", L"k", false));
    EXPECT_EQ(text(*one) + L" " + text(*two) + L" " + text(*three), L"/m/@k /m/p/@k /m/p/q/k");
    EXPECT_EQ(three->stepCount(), 4);
    EXPECT_EQ(text(*base), L"/m");
    EXPECT_EQ(base->stepCount(), 1);
    EXPECT_EQ(one->referenceCount(), 0);
    // Copies are deep: changing one leaves the other.
    LocationPath copy(*two);
    copy.pop()->pushElement(L"z");
    EXPECT_EQ(text(copy), L"/m/p/z");
    EXPECT_EQ(text(*two), L"/m/p/@k");
    LocationPath& same = copy;
    copy = same;
    EXPECT_EQ(text(copy), L"/m/p/z");
    copy = *one;
    EXPECT_EQ(text(copy), L"/m/@k");
    EXPECT_EQ(copy.stepCount(), 2);
}

TEST(LocationPath, PopUndoesAPushAndNeverFails) {
    LocationPath empty;
    EXPECT_EQ(empty.pop(), &empty);
    EXPECT_EQ(empty.stepCount(), 0);
    auto path = own(LocationPath::create(L"a"));
    EXPECT_EQ(text(*path->pushAttribute(L"x")), L"/a/@x");  // the pushed text is cached here
    EXPECT_EQ(path->pop(), path.get());
    EXPECT_EQ(text(*path), L"/a");
    path->pop()->pop();
    EXPECT_EQ(text(*path), L"/");
    EXPECT_TRUE(path->isAbsolute());
    EXPECT_EQ(path->getLast(), nullptr);
}

TEST(LocationPath, StepsNameElementsAndAttributesAlike) {
    auto path = own(LocationPath::parse(L"/a/@b"));
    LocationStep const* last = path->getLast();
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->nameEquals(L"b") && path->getStep(0)->nameEquals(L"a"));
    EXPECT_FALSE(last->nameEquals(L"@b") || last->nameEquals(L"B") || last->nameEquals(nullptr));
    EXPECT_TRUE(*last == L"@b");
    EXPECT_TRUE(*last != L"b");
    // Only one commercial at is skipped.
    std::unique_ptr<LocationStep> twice(LocationStep::create(L"@@x"));
    EXPECT_TRUE(twice->nameEquals(L"@x"));
    EXPECT_FALSE(twice->nameEquals(L"x"));
    // A step without descriptor names nothing, unless asked for no name at all.
    std::unique_ptr<LocationStep> none(LocationStep::create(L""));
    std::unique_ptr<LocationStep> emptyName(LocationStep::create(L"x", 0));
    EXPECT_EQ(none->toString(), nullptr);
    EXPECT_STREQ(emptyName->toString(), L"");
    EXPECT_FALSE(none->nameEquals(L""));
    EXPECT_TRUE(none->nameEquals(nullptr));
    EXPECT_TRUE(emptyName->nameEquals(L""));
    EXPECT_FALSE(*none == *emptyName);
    EXPECT_TRUE(*std::unique_ptr<LocationStep>(LocationStep::create(L"abc", 2)) == L"ab");
}

TEST(LocationPath, EqualityIsEqualityOfTexts) {
    auto parsed = own(LocationPath::parse(L"/a/b/@c"));
    auto pushed = own(LocationPath::create(L"a"));
    pushed->pushElement(L"b")->pushAttribute(L"c");
    EXPECT_TRUE(*parsed == *pushed);
    EXPECT_FALSE(*parsed != *pushed);
    EXPECT_TRUE(*parsed == L"/a/b/@c");
    EXPECT_TRUE(*parsed != L"/a/b/c");
    EXPECT_NE(*own(LocationPath::parse(L"a/b")), *own(LocationPath::parse(L"/a/b")));
    EXPECT_NE(*own(LocationPath::parse(L"/a/@b")), *own(LocationPath::parse(L"/a/b")));
    // A path made relative and given steps prints without the slash.
    LocationPath relative;
    relative.pushElement(L"a")->pushElement(L"b");
    EXPECT_EQ(relative, *own(LocationPath::parse(L"a/b")));
}

}  // namespace
