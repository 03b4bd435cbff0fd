// Without a locator the comparator pairs children by content digests, with
// one by the pairwise search: both must agree on many small random trees.
// Small alphabets make equal and nearly equal siblings common, which is
// where a greedy pairing could go wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "compare/TrelDOMComparator.h"
#include "compare/digest_match_internal.h"
#include "compare_support.h"

namespace {

using comparetest::parse;

struct Tree {
    std::wstring tag;
    std::optional<std::wstring> text;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;  // unique keys
    std::vector<Tree> children;
};

class TreeMaker {
public:
    explicit TreeMaker(unsigned seed) : rng_(seed) {}

    Tree make(int depth, wchar_t const* rootTag = nullptr) {
        Tree tree;
        tree.tag = rootTag ? rootTag : pick({L"a", L"b", L"c"});
        if (chance(0.4)) tree.text = pick({L"t", L"u"});
        for (wchar_t const* key : {L"x", L"y", L"z"})
            if (chance(0.35)) tree.attributes.emplace_back(key, pick({L"1", L"2"}));
        int const children = depth >= 4 ? 0 : below(depth == 0 ? 6 : 5 - depth);
        for (int i = 0; i < children; ++i) tree.children.push_back(make(depth + 1));
        return tree;
    }

    // One small change somewhere in the tree (it may happen to change
    // nothing, which the verdicts then agree on too).
    void perturb(Tree& root) {
        Tree& node = somewhere(root);
        int const attributes = int(node.attributes.size()), children = int(node.children.size());
        int const what = below(7);
        if (what == 0) node.text = chance(0.3) ? std::nullopt : std::optional<std::wstring>(pick({L"t", L"u", L"v"}));
        if (what == 1 && attributes) node.attributes[below(attributes)].second = pick({L"1", L"2", L"3"});
        if (what == 2 && attributes) node.attributes.erase(node.attributes.begin() + below(attributes));
        if (what == 3 && children) node.children.erase(node.children.begin() + below(children));
        if (what == 4) node.children.push_back(make(3));
        if (what == 5 && children) node.children.push_back(node.children[below(children)]);
        if (what == 6 && &node != &root) node.tag = pick({L"a", L"b", L"c"});
    }

    // The tree as text; children and attributes shuffled when asked.
    std::wstring write(Tree const& tree, bool shuffle) {
        std::wstring out = L"<" + tree.tag;
        auto attributes = tree.attributes;
        if (shuffle) std::shuffle(attributes.begin(), attributes.end(), rng_);
        for (auto const& [key, value] : attributes) out += L" " + key + L"='" + value + L"'";
        out += L">";
        if (tree.text) out += *tree.text;
        std::vector<Tree const*> children;
        for (Tree const& child : tree.children) children.push_back(&child);
        if (shuffle) std::shuffle(children.begin(), children.end(), rng_);
        for (Tree const* child : children) out += write(*child, shuffle);
        return out + L"</" + tree.tag + L">";
    }

    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    int below(int n) { return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(rng_); }

private:
    wchar_t const* pick(std::initializer_list<wchar_t const*> choices) {
        return choices.begin()[below(int(choices.size()))];
    }

    Tree& somewhere(Tree& node) {
        if (node.children.empty() || chance(0.35)) return node;
        return somewhere(node.children[below(int(node.children.size()))]);
    }

    std::mt19937 rng_;
};

class PairingAgreement : public comparetest::LiveObjectTest {
protected:
    // Compares through both ways; the verdicts must agree. Returns the verdict.
    bool bothWays(TrelDOMComparator const& comparator, std::wstring const& first, std::wstring const& second) {
        auto a = parse(first);
        auto b = parse(second);
        bool const fast = comparator.compareTree(a, b, nullptr);
        TrelDOMNodeLocator locator;
        bool const searched = comparator.compareTree(a, b, &locator);
        EXPECT_EQ(fast, searched) << "first:  " << narrow(first) << "\nsecond: " << narrow(second);
        return searched;
    }

    // Runs `cases` random pairs; returns how many were equal.
    int run(TrelDOMComparator const& comparator, unsigned seed, int cases) {
        TreeMaker maker(seed);
        int equal = 0;
        for (int i = 0; i < cases; ++i) {
            Tree first = maker.make(0, L"r");
            Tree second = first;
            int const changes = maker.below(3);  // a third of the pairs only reordered
            for (int k = 0; k < changes; ++k) maker.perturb(second);
            equal += bothWays(comparator, maker.write(first, false), maker.write(second, true));
        }
        return equal;
    }

    static std::string narrow(std::wstring const& s) { return std::string(s.begin(), s.end()); }
};

TEST_F(PairingAgreement, SameVerdictOnPerturbedPairs) {
    TrelDOMComparator comparator;
    int const cases = 400;
    int const equal = run(comparator, 20240611, cases);
    // Both kinds of outcome must be well represented for the check to mean much.
    EXPECT_GT(equal, cases / 5);
    EXPECT_LT(equal, cases * 4 / 5);
}

TEST_F(PairingAgreement, SameVerdictWhenDigestsCollide) {
    // With few digest bits candidates share a digest without being equal
    // (with none, all do), so every pairing rests on the full verification.
    struct Bits {
        explicit Bits(int bits) { digest_match::limitDigestBits(bits); }
        ~Bits() { digest_match::limitDigestBits(64); }
    };
    TrelDOMComparator comparator;
    for (int bits : {0, 2}) {
        Bits limited(bits);
        EXPECT_FALSE(bothWays(comparator, L"<r><a/><a/></r>", L"<r><a/><b/></r>"));
        EXPECT_FALSE(bothWays(comparator, L"<r><a/><b/></r>", L"<r><b/><b/></r>"));
        EXPECT_TRUE(bothWays(comparator, L"<r><a/><b/><a x='1'/></r>", L"<r><a x='1'/><a/><b/></r>"));
        EXPECT_GT(run(comparator, 4242 + bits, 150), 150 / 5);
    }
}

TEST_F(PairingAgreement, RepeatedEqualSiblingsInLargeNumbers) {
    // Many identical siblings plus one odd one out on either side.
    std::wstring many;
    for (int i = 0; i < 120; ++i) many += L"<p k='1'><q>v</q></p>";
    TrelDOMComparator comparator;
    EXPECT_TRUE(bothWays(comparator, L"<r>" + many + L"<p k='2'/></r>", L"<r><p k='2'/>" + many + L"</r>"));
    EXPECT_FALSE(bothWays(comparator, L"<r>" + many + L"<p k='2'/></r>", L"<r>" + many + L"<p k='1'/></r>"));
    EXPECT_FALSE(bothWays(comparator, L"<r>" + many + many + L"</r>", L"<r>" + many + L"<p k='1'/></r>"));
}

}  // namespace
