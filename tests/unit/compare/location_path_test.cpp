// Location paths: the builders, pop, step names and equality (parsed
// paths at work: the exclusion and selection tests).
#include <memory>

#include "compare_support.h"

namespace {

std::unique_ptr<LocationPath> own(LocationPath* path) { return std::unique_ptr<LocationPath>(path); }
std::wstring text(LocationPath* made) { return own(made)->toString(); }
std::wstring descriptor(LocationStep const* step) { return step && step->toString() ? step->toString() : L"(null)"; }

// Builders make new paths and leave their source alone; copies are deep;
// pop undoes a push and never fails.
TEST(LocationPath, BuildersAppendAndPop) {
    EXPECT_EQ(text(LocationPath::create(L"root")) + text(LocationPath::create(L"root", L"id", true)) +
                  text(LocationPath::create(L"root", L"id", false)) +
                  text(LocationPath::create(L"root", L"item", L"id", true)) +
                  text(LocationPath::create(L"root", L"item", L"id", false)),
              L"/root/root/@id/root/id/root/item/@id/root/item/id");
    auto base = own(LocationPath::parse(L"/m"));
    EXPECT_EQ(base->toString(), std::wstring(L"/m"));  // printed before the appends
    auto one = own(base->append(L"k", true));
    auto two = own(base->append(L"p", L"k", true));
    auto three = own(base->append(L"p", L"q", L"k", false));
    EXPECT_EQ(std::wstring(one->toString()) + L" " + two->toString() + L" " + three->toString(),
              L"/m/@k /m/p/@k /m/p/q/k");
    EXPECT_EQ(three->stepCount(), 4);
    EXPECT_EQ(base->toString() + std::to_wstring(base->stepCount()), L"/m1");
    EXPECT_EQ(one->referenceCount(), 0);
    LocationPath copy(*two);
    copy.pop()->pushElement(L"z");
    EXPECT_EQ(copy.toString() + std::wstring(L" ") + two->toString(), L"/m/p/z /m/p/@k");
    LocationPath& same = copy;
    copy = same;
    EXPECT_EQ(copy.toString(), std::wstring(L"/m/p/z"));
    copy = *one;
    EXPECT_EQ(copy.toString() + std::to_wstring(copy.stepCount()), L"/m/@k2");

    LocationPath empty;
    EXPECT_EQ(empty.pop(), &empty);
    EXPECT_EQ(empty.stepCount(), 0);
    auto path = own(LocationPath::create(L"a"));
    EXPECT_EQ(path->pushAttribute(L"x")->toString(), std::wstring(L"/a/@x"));  // the pushed text is printed here
    EXPECT_EQ(path->pop(), path.get());
    EXPECT_EQ(path->toString(), std::wstring(L"/a"));
    path->pop()->pop();
    EXPECT_EQ(path->toString(), std::wstring(L"/"));
    EXPECT_TRUE(path->isAbsolute() && !path->getLast());
}

// A step names elements and attributes alike (one commercial at skipped);
// a step without descriptor names nothing, unless asked for no name at all.
TEST(LocationPath, StepNamesAndEquality) {
    auto path = own(LocationPath::parse(L"/a/@b"));
    LocationStep const* last = path->getLast();
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->nameEquals(L"b") && path->getStep(0)->nameEquals(L"a") && *last == L"@b");
    EXPECT_FALSE(last->nameEquals(L"@b") || last->nameEquals(L"B") || last->nameEquals(nullptr) || *last != L"@b");
    std::unique_ptr<LocationStep> twice(LocationStep::create(L"@@x")), none(LocationStep::create(L""));
    std::unique_ptr<LocationStep> emptyName(LocationStep::create(L"x", 0)), cut(LocationStep::create(L"abc", 2));
    EXPECT_TRUE(twice->nameEquals(L"@x") && !twice->nameEquals(L"x"));
    EXPECT_EQ(descriptor(none.get()) + L"|" + descriptor(emptyName.get()), L"(null)|");
    EXPECT_TRUE(!none->nameEquals(L"") && none->nameEquals(nullptr) && emptyName->nameEquals(L""));
    EXPECT_TRUE(*none != *emptyName && *cut == L"ab");
    // Paths are equal when their texts are, however they were made.
    auto parsed = own(LocationPath::parse(L"/a/b/@c"));
    auto pushed = own(LocationPath::create(L"a"));
    pushed->pushElement(L"b")->pushAttribute(L"c");
    EXPECT_TRUE(*parsed == *pushed && !(*parsed != *pushed) && *parsed == L"/a/b/@c" && *parsed != L"/a/b/c");
    EXPECT_NE(*own(LocationPath::parse(L"a/b")), *own(LocationPath::parse(L"/a/b")));
    EXPECT_NE(*own(LocationPath::parse(L"/a/@b")), *own(LocationPath::parse(L"/a/b")));
    LocationPath relative;  // made relative and given steps: no leading slash
    relative.pushElement(L"a")->pushElement(L"b");
    EXPECT_EQ(relative, *own(LocationPath::parse(L"a/b")));
}

}  // namespace
