// Deep trees through the model: the bounded pairwise search and tree scans
// on documents 200 000 levels deep (the digest pairing at that depth: the
// Lisp deep-document test). Each case runs in a child process, so that a
// regression that exhausts the stack fails its test instead of ending the run.
#include <cstdlib>
#include <string>

#include "compare_support.h"
#include "model/TrelDOMVisitor.h"

using namespace comparetest;

namespace {

constexpr int kLevels = 200000;

// `levels` nested elements <a>; with leaves, each level also holds a leaf
// <b i="level"/>, before or after the nested <a>; the innermost <a> starts
// with `text`.
std::wstring chain(int levels, wchar_t const* text, bool leafFirst = true, bool leaves = true) {
    auto const leaf = [&](int i) { return leaves ? L"<b i='" + std::to_wstring(i) + L"'/>" : std::wstring(); };
    std::wstring out;
    for (int i = 0; i < levels; ++i)
        out += L"<a>" + std::wstring(i == levels - 1 ? text : L"") + (leafFirst ? leaf(i) : L"");
    for (int i = levels; i-- > 0;) out += (leafFirst ? L"" : leaf(i)) + L"</a>";
    return out;
}

bool same(TrelDOMDocument const* a, TrelDOMDocument const* b, TrelDOMNodeLocator* locator) {
    return TrelDOMComparator().compareTree(a, b, locator);
}

// Runs `body` in a child process; the test passes when it returns true there.
template <class Body>
void inChild(Body body) {
    EXPECT_EXIT(std::_Exit(body() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// The search recurses: it gives false where it cannot go, and still judges
// trees that reach its bound (1999 levels and their leaves: 2000).
TEST(DeepTrees, PairwiseSearchIsBoundedAndFailsCleanly) {
    inChild([] {
        auto a = parse(chain(kLevels, L"x", true, false)), copy = parse(chain(kLevels, L"x", true, false));
        TrelDOMNodeLocator first, second;
        bool const refused = a && copy && !same(a, copy, &first);
        auto b = parse(chain(1999, L"x")), reordered = parse(chain(1999, L"x", false)),
             other = parse(chain(1999, L"y"));
        return refused && same(b, reordered, &second) && !same(b, other, &second);
    });
}

// Pre-order: each <a>, then its leaf <b> before the nested <a>; a visit
// stops the walk.
TEST(DeepTrees, ScanTreeWalksEveryLevelInOrderAndStops) {
    inChild([] {
        struct Counter : TrelDOMElementVisitor {
            explicit Counter(long stop = -1) : stopAt(stop) {}
            bool visit(TrelDOMElement const* element) override {
                order += element->tagEquals(L"a") ? L'a' : L'b';
                return ++visited != stopAt;
            }
            long const stopAt;
            long visited = 0;
            std::wstring order;
        } all, some(kLevels + 7);
        auto document = parse(chain(kLevels, L"x"));
        XmlSmartPtr<TrelDOMElement> root(document ? document->getRoot() : nullptr);
        std::wstring expected;
        for (int i = 0; i < kLevels; ++i) expected += L"ab";
        return root && root->scanTree(&all) && all.order == expected && !root->scanTree(&some) &&
               some.visited == kLevels + 7;
    });
}

}  // namespace
