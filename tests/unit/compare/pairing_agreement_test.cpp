// Without a locator the comparator pairs children by content digests, with
// one by the pairwise search: both must agree on many small random trees.
// Small alphabets make equal and nearly equal siblings common, which is
// where a greedy pairing could go wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "compare/digest_match_internal.h"
#include "compare_support.h"

namespace {

// Writes one random tree twice: the second copy with attributes and
// children shuffled and, while its changes last, a small difference here and
// there (a tag, a text, an attribute's value or presence, a child dropped,
// added or doubled). A change may happen to change nothing, which the
// verdicts then agree on too.
class TreeMaker {
public:
    explicit TreeMaker(unsigned seed) : rng_(seed) {}

    std::pair<std::wstring, std::wstring> pair() {
        changes_ = below(3);  // a third of the pairs only reordered
        return make(0, L"r");
    }

private:
    using Texts = std::pair<std::wstring, std::wstring>;

    Texts make(int depth, wchar_t const* rootTag) {
        std::wstring const tag = rootTag ? rootTag : pick({L"a", L"b", L"c"});
        std::wstring const tag2 = !rootTag && change() ? pick({L"a", L"b", L"c"}) : tag;
        Texts out = {L"<" + tag, L"<" + tag2};
        std::vector<std::wstring> attributes;
        for (wchar_t const* key : {L"x", L"y", L"z"}) {
            if (!chance(0.35)) continue;
            std::wstring const value = pick({L"1", L"2"});
            out.first += std::wstring(L" ") + key + L"='" + value + L"'";
            if (!change())
                attributes.push_back(std::wstring(key) + L"='" + value + L"'");
            else if (chance(0.5))
                attributes.push_back(std::wstring(key) + L"='3'");
        }
        std::wstring const text = chance(0.4) ? pick({L"t", L"u"}) : L"";
        out.first += L">" + text;
        std::vector<std::wstring> children;
        std::vector<Texts> made;
        for (int i = depth >= 4 ? 0 : below(depth == 0 ? 6 : 5 - depth); i > 0; --i)
            made.push_back(make(depth + 1, nullptr));
        for (auto const& child : made) {
            out.first += child.first;
            if (!change()) children.push_back(child.second);
        }
        if (change()) children.push_back(make(3, nullptr).second);
        if (!made.empty() && change()) children.push_back(made[below(int(made.size()))].second);
        std::shuffle(attributes.begin(), attributes.end(), rng_);
        std::shuffle(children.begin(), children.end(), rng_);
        for (auto const& attribute : attributes) out.second += L" " + attribute;
        out.second += L">" + (change() ? pick({L"t", L"u", L"v", L""}) : text);
        for (auto const& child : children) out.second += child;
        return {out.first + L"</" + tag + L">", out.second + L"</" + tag2 + L">"};
    }

    bool change() { return changes_ > 0 && chance(0.08) && (--changes_, true); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    int below(int n) { return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    std::wstring pick(std::initializer_list<wchar_t const*> choices) {
        return choices.begin()[below(int(choices.size()))];
    }

    std::mt19937 rng_;
    int changes_ = 0;
};

class PairingAgreement : public comparetest::CompareTest {
protected:
    // Runs `cases` random pairs; returns how many were equal.
    int run(TrelDOMComparator const& comparator, unsigned seed, int cases) {
        TreeMaker maker(seed);
        int equal = 0;
        for (int i = 0; i < cases; ++i) {
            auto const [first, second] = maker.pair();
            equal += bothWays(comparator, first, second);
        }
        return equal;
    }
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
