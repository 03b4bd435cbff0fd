// The comparator's rules, the failure it records, exclusions, selective
// comparison and rules of a derived comparator.
#include <cmath>
#include <cwchar>

#include "compare_support.h"

namespace {

using namespace comparetest;

class Comparator : public CompareTest {
protected:
    bool compare(std::wstring const& first, std::wstring const& second) { return bothWays(comparator_, first, second); }
    TrelDOMComparator comparator_;
};

// Verdict and locator record per pair; a null path means "not checked".
TEST_F(Comparator, RulesAndTheRecordedFailure) {
    struct Case {
        wchar_t const *first, *second;
        bool equal;
        wchar_t const* path = nullptr;
        wchar_t const* tag = nullptr;
    } const cases[] = {
        // Order of children and attributes, comments and white space do not matter.
        {L"<r a='1' b='2'><x>1</x><y k='v'/><x>2</x></r>", L"<r b='2' a='1'><x>2</x><x>1</x><y k='v'/></r>", true},
        {L"<r><p><q>1</q><q>2</q></p><p><q>2</q></p></r>", L"<r><p><q>2</q></p><p><q>2</q><q>1</q></p></r>", true},
        {L"<r>\n  <a/>\n  <!-- c -->\n</r>", L"<r><a/></r>", true},
        // Repeated children must occur equally often; only counts differing records nothing.
        {L"<r><a/><a/></r>", L"<r><a/></r>", false, L"/r/a", L"a"},
        {L"<r><a/></r>", L"<r><a/><a/></r>", false, L"", L"(none)"},
        {L"<r><a/></r>", L"<r><a/><b/></r>", false, L""},
        // Attributes by key and exact value; the deeper attribute path wins.
        {L"<r a='1'/>", L"<r a='1' extra='x'/>", false, L""},
        {L"<r a='1' extra='x'/>", L"<r a='1'/>", false, L"/r/@extra", L"r"},
        {L"<r><p k='1'/></r>", L"<r><p k='2'/></r>", false, L"/r/p/@k", L"p"},
        {L"<r a='x'/>", L"<r a='X'/>", false},
        {L"<r a=''/>", L"<r a=''/>", true},
        // Texts whole; the starting elements record nothing.
        {L"<r>1</r>", L"<r>2</r>", false, L""},
        {L"<r><item>1</item></r>", L"<r><item>2</item></r>", false, L"/r/item", L"item"},
        {L"<r><a>t</a></r>", L"<r><a/></r>", false},
        {L"<r><a>t</a></r>", L"<r><a>t </a></r>", false},
        {L"<r><a/></r>", L"<r><b/></r>", false, L"/r/a"},
        // Prefixed names compare with the namespace they stand for.
        {L"<m xmlns:q='urn:q' v='3'><q:s t='t' q:i='1'/><p/></m>",
         L"<m v='3' xmlns:q='urn:q'><p/><q:s q:i='1' t='t'/></m>", true},
        {L"<m xmlns:q='urn:q' v='3'><q:s t='t' q:i='1'/><p/></m>",
         L"<m xmlns:q='urn:o' v='3'><q:s t='t' q:i='1'/><p/></m>", false},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(narrow(c.first));
        EXPECT_EQ(c.equal, compare(c.first, c.second));
        EXPECT_EQ(c.path ? c.path : recorded_, recorded_);
        EXPECT_EQ(c.tag ? c.tag : recordedTag_, recordedTag_);
    }
}

// Only those exact paths: other item elements and attributes count.
TEST_F(Comparator, ExcludedNodesAreNeitherComparedNorCounted) {
    EXPECT_TRUE(comparator_.registerExclusion(LocationPath::parse(L"/root/item")) &&
                comparator_.registerExclusion(LocationPath::parse(L"/root/@stamp")) &&
                comparator_.registerExclusion(LocationPath::create(L"root", L"p", L"when", true)));
    EXPECT_TRUE(
        compare(L"<root stamp='1'><item>1</item><item><deep/></item><k/></root>", L"<root><k/><item>3</item></root>"));
    EXPECT_TRUE(compare(L"<root><p when='1' k='v'/><p k='w'/></root>", L"<root><p k='w' when='3'/><p k='v'/></root>"));
    EXPECT_FALSE(compare(L"<root><k><item>1</item></k></root>", L"<root><k><item>2</item></k></root>"));
    EXPECT_EQ(recorded_, L"/root/k/item");
    EXPECT_FALSE(compare(L"<root><p when='1' k='v'/></root>", L"<root><p k='w'/></root>"));
    EXPECT_EQ(recorded_, L"/root/p/@k");
    EXPECT_FALSE(compare(L"<root a='x'/>", L"<root/>"));
}

TEST_F(Comparator, OnlySelectedNodesAreCompared) {
    TrelNodeType recordedKind = TREL_NO_NODE;
    auto select = [&](std::wstring const& first, std::wstring const& second,
                      std::initializer_list<wchar_t const*> texts) {
        auto a = parse(first), b = parse(second);
        LocationPathOwnerArray paths;
        for (wchar_t const* t : texts) paths.append(LocationPath::parse(t));
        TrelDOMNodeLocator locator;
        bool const searched = comparator_.compareTreeSelectively(a, b, paths, &locator);
        EXPECT_EQ(comparator_.compareTreeSelectively(a, b, paths, nullptr), searched);
        recorded_ = std::wstring(locator.path.toString()) + L" " + tagOf(locator.node);
        recordedKind = locator.node ? locator.node->getType() : TREL_NO_NODE;
        return searched;
    };
    std::wstring const a = L"<r><p k='1' j='2'><v>1</v></p><other>x</other></r>";
    std::wstring const b = L"<r><other>y</other><p j='2' k='1'><v>1</v></p></r>";
    EXPECT_TRUE(select(a, b, {}));
    EXPECT_TRUE(select(a, b, {L"/r/p", L"/r/p/@k", L"/r/none"}));  // none: nothing on both sides
    EXPECT_FALSE(select(a, b, {L"/r/p", L"/r/other"}));
    EXPECT_EQ(recorded_, L"/r/other other");   // a failure of the selected element itself is recorded
    EXPECT_FALSE(select(a, b, {L"/r/*[1]"}));  // p against other
    EXPECT_FALSE(select(L"<r><p k='1'/></r>", L"<r><p k='2'/></r>", {L"/r/p/@k"}));
    EXPECT_EQ(recorded_, L"/r/p/@k (none)");
    EXPECT_EQ(recordedKind, TREL_ATTRIBUTE_NODE);
    EXPECT_FALSE(select(L"<r><k>1</k></r>", L"<r k='1'/>", {L"/r/*[1] | /r/@k"}));  // kinds differ
    ASSERT_TRUE(comparator_.registerExclusion(LocationPath::parse(L"/r/p/@j")));    // applies below a selection
    EXPECT_TRUE(select(L"<r><p k='1' j='2'/></r>", L"<r><p j='3' k='1'/></r>", {L"/r/p"}));
}

// Numbers within a relative 1e-9 are equal. Derived rules turn the content
// pairing off, so both ways still agree, and reordered children are paired
// by the derived rule too.
class EngineeringComparator : public TrelDOMComparator {
protected:
    bool compareElementValue(wchar_t const* tag, wchar_t const* first, wchar_t const* second) const override {
        wchar_t *endX, *endY;
        if (first && second && *first && *second) {
            double const x = wcstod(first, &endX), y = wcstod(second, &endY);
            if (!*endX && !*endY) return std::fabs(x - y) <= 1e-9 * std::fmax(1, std::fabs(x));
        }
        return TrelDOMComparator::compareElementValue(tag, first, second);
    }
};

TEST_F(Comparator, DerivedRulesChangeTheVerdicts) {
    EngineeringComparator engineering;
    EXPECT_FALSE(engineering.usesDefaultRules());
    EXPECT_TRUE(bothWays(engineering, L"<r><v>1.0</v><v>2.5</v></r>", L"<r><v>2.50</v><v>1</v></r>"));
    EXPECT_TRUE(bothWays(engineering, L"<r><a><x>3</x></a><b/></r>", L"<r><b/><a><x>3.0</x></a></r>"));
    EXPECT_FALSE(bothWays(engineering, L"<r><v>1.0</v></r>", L"<r><v>1.1</v></r>"));
    EXPECT_FALSE(compare(L"<r><v>1.0</v></r>", L"<r><v>1</v></r>"));
}

}  // namespace
