// Deep trees through the model: comparison (digest pairing and the bounded
// pairwise search) and tree scans on documents 200 000 levels deep. Each
// deep case runs in a child process, so that a regression that exhausts the
// stack fails its test instead of ending the run.
#include <cstdlib>
#include <string>

#include "compare/TrelDOMComparator.h"
#include "compare_support.h"
#include "model/TrelDOMVisitor.h"

using namespace comparetest;

namespace {

constexpr int kLevels = 200000;

// `levels` nested elements <a>; each level also holds a leaf <b i="level"/>,
// before or after the nested <a>; the innermost <a> starts with `text`.
std::wstring chain(int levels, wchar_t const* text, bool leafFirst = true, bool leaves = true) {
    auto const leaf = [](int i) { return L"<b i='" + std::to_wstring(i) + L"'/>"; };
    std::wstring out;
    for (int i = 0; i < levels; ++i) {
        out += L"<a>";
        if (i == levels - 1) out += text;
        if (leaves && leafFirst) out += leaf(i);
    }
    for (int i = levels; i-- > 0;) {
        if (leaves && !leafFirst) out += leaf(i);
        out += L"</a>";
    }
    return out;
}

bool same(TrelDOMDocument const* a, TrelDOMDocument const* b, TrelDOMNodeLocator* locator = nullptr) {
    TrelDOMComparator const comparator;
    return comparator.compareTree(a, b, locator);
}

// Runs `body` in a child process; the test passes when it returns true
// there.
template <class Body>
void inChild(Body body) {
    EXPECT_EXIT(std::_Exit(body() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// Counts visits and records their order; stops after `stopAt` of them.
struct Counter : TrelDOMElementVisitor {
    explicit Counter(long stop = -1) : stopAt(stop) {}
    bool visit(TrelDOMElement const* element) override {
        order += element->tagEquals(L"a") ? L'a' : L'b';
        return ++visited != stopAt;
    }
    long const stopAt;
    long visited = 0;
    std::wstring order;
};

}  // namespace

TEST(DeepTrees, DigestPairingJudgesDeepTreesByContent) {
    inChild([] {
        auto a = parse(chain(kLevels, L"x"));
        auto reordered = parse(chain(kLevels, L"x", false));
        auto otherText = parse(chain(kLevels, L"y"));
        return a && same(a, reordered) && !same(a, otherText);
    });
}

// The pairwise search recurses; it gives false where it cannot go, and still
// judges trees that reach its bound (1999 levels and their leaves: 2000).
TEST(DeepTrees, PairwiseSearchIsBoundedAndFailsCleanly) {
    inChild([] {
        auto a = parse(chain(kLevels, L"x", true, false));
        auto copy = parse(chain(kLevels, L"x", true, false));
        TrelDOMNodeLocator locator;
        bool const refused = a && copy && !same(a, copy, &locator);
        auto b = parse(chain(1999, L"x"));
        auto reordered = parse(chain(1999, L"x", false));
        auto other = parse(chain(1999, L"y"));
        TrelDOMNodeLocator second;
        return refused && same(b, reordered, &second) && !same(b, other, &second);
    });
}

TEST(DeepTrees, ScanTreeWalksEveryLevelInOrderAndStops) {
    inChild([] {
        auto document = parse(chain(kLevels, L"x"));
        XmlSmartPtr<TrelDOMElement> root(document ? document->getRoot() : nullptr);
        if (!root) return false;
        Counter all;
        bool const complete = root->scanTree(&all);
        Counter some(kLevels + 7);
        bool const stopped = !root->scanTree(&some);
        // Pre-order: each <a>, then its leaf <b> before the nested <a>.
        std::wstring expected;
        for (int i = 0; i < kLevels; ++i) expected += L"ab";
        return complete && all.visited == 2L * kLevels && all.order == expected && stopped &&
               some.visited == kLevels + 7;
    });
}
