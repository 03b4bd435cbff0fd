// Element wrappers: navigation, text, editing and scans.
#include "support.h"

namespace msxmltest {
namespace {

class ElementTest : public BackendTest {};

// The text is the first child's only when that child is text; setText
// replaces it, or appends one after the last child.
TEST_F(ElementTest, TextIsTheFirstChildsText) {
    auto doc = parse(L"<r><a>x<b/>y</a><c><b/>y</c><d/><e><!--n-->t</e><f><![CDATA[z]]>w</f><lead><k/></lead></r>");
    auto root = rootOf(doc);
    std::wstring texts;
    for (wchar_t const* tag : {L"a", L"c", L"d", L"e", L"f"}) texts += str(at(root, tag)->getText()) + L";";
    EXPECT_EQ(texts, L"x;(null);(null);(null);(null);");
    auto empty = at(root, L"d");
    ASSERT_TRUE(empty->setText(L"v") && empty->setText(L"w"));
    EXPECT_EQ(str(empty->getText()), L"w");
    EXPECT_FALSE(nodeAt(empty, L"text()[2]")) << "a second setText must not add a text child";
    auto lead = at(root, L"lead");
    ASSERT_TRUE(lead->setText(L"t"));
    EXPECT_EQ(str(lead->getText()), L"(null)");
    EXPECT_EQ(nodeAt(lead, L"node()[last()]")->getType(), TREL_TEXT_NODE);
}

// Children are the element children, found by exact name and index; the
// first child must be the very first node.
TEST_F(ElementTest, ChildrenByExactNameAndPosition) {
    auto doc = parse(
        L"<r><b id='1'/>t<c id='2'/><!--x--><b id='3'/><B id='4'/><p:b xmlns:p='urn:p' id='5'/>"
        L"<t>lead<a/><b/></t><e><a/>tail</e><k><!--x--><a/></k></r>");
    auto root = rootOf(doc);
    EXPECT_EQ(root->childCount(), 8);
    auto idOf = [](TrelDOMElement* child) {
        XmlSmartPtr<TrelDOMElement> held(child);
        return held ? str(held->getAttributeValue(L"id")) + str(held->getTag()) : L"none";
    };
    std::wstring found;
    for (auto [tag, i] : std::vector<std::pair<wchar_t const*, int>>{
             {L"b", 0}, {L"b", 1}, {L"c", 0}, {L"p:b", 0}, {L"b", 2}, {L"b", -1}, {L"c", 1}, {nullptr, 0}})
        found += idOf(root->getChild(tag, i)) + L";";
    EXPECT_EQ(found, L"1b;3b;2c;5p:b;none;none;none;none;");
    found.clear();
    for (wchar_t const* path : {L"t", L"k", L"e", L"c"}) found += idOf(at(root, path)->getFirstChild()) + L";";
    EXPECT_EQ(found, L"none;none;(null)a;none;");
    EXPECT_EQ(idOf(at(root, L"t")->getFirstChild(L"b")) + idOf(at(root, L"t")->getFirstChild(L"zz")), L"(null)bnone");
}

// Keeps every element it is shown and records their ids.
struct Keeper : TrelDOMElementVisitor {
    bool visit(TrelDOMElement const* element) override {
        ids.push_back(str(element->getAttributeValue(L"id")));
        kept.emplace_back(const_cast<TrelDOMElement*>(element));
        return true;
    }
    std::vector<std::wstring> ids;
    std::vector<XmlSmartPtr<TrelDOMElement>> kept;
};

// Many element children, with text, comments, CDATA and instructions
// between them, and more distinct names than any name table holds: the
// cursor steps over every node that is no element, and the tags stay exact
// when read again.
TEST_F(ElementTest, ScanChildrenVisitsExactlyTheElementsInOrder) {
    std::wstring text = L"<r>lead";
    std::vector<std::wstring> ids, tags, odd;
    for (int i = 0; i < 3000; ++i) {
        ids.push_back(std::to_wstring(i));
        tags.push_back(i % 2 ? L"b" : L"t" + std::to_wstring(i * 7919 % 3000));
        if (i % 2) odd.push_back(ids.back());
        text += L"<" + tags.back() + L" id='" + ids.back() + L"'><in id='x'/></" + tags.back() + L">";
        text += i % 3 == 0 ? L"<!--c-->" : i % 3 == 1 ? L"<![CDATA[d]]>" : L"t<?pi x?>";
    }
    auto doc = parse(text + L"</r>");
    auto root = rootOf(doc);
    int const nodes = factory()->getNodeCount();
    {
        Keeper keeper;
        ASSERT_TRUE(root->scanChildren(&keeper));
        EXPECT_EQ(keeper.ids, ids);
        std::vector<std::wstring> keptIds;
        for (auto const& kept : keeper.kept) keptIds.push_back(str(kept->getAttributeValue(L"id")));
        EXPECT_EQ(keptIds, ids) << "kept wrappers";
        EXPECT_EQ(root->childCount(), 3000);
    }
    EXPECT_EQ(factory()->getNodeCount(), nodes);
    Keeper b;
    ASSERT_TRUE(root->scanChildren(L"b", &b));
    EXPECT_EQ(b.ids, odd);
    EXPECT_EQ(childTags(root), tags);  // a visitor that keeps nothing
    EXPECT_EQ(childTags(root), tags);
}

// On its first visit, moves a later sibling away, adds a child at the end,
// and scans the parent again: the outer scan still visits exactly the
// children of its start, the inner one the children of its own start.
TEST_F(ElementTest, ScanChildrenKeepsToItsStartWhateverTheVisitorChanges) {
    auto doc = parse(L"<r><p><a id='1'/><b id='2'/><c id='3'/><d id='4'/></p><q/></r>");
    auto root = rootOf(doc);
    auto p = at(root, L"p"), q = at(root, L"q");
    std::vector<std::wstring> ids, innerIds;
    EachElement meddler([&](TrelDOMElement const* element) {
        ids.push_back(str(element->getAttributeValue(L"id")));
        if (ids.size() > 1) return;
        q->addChild(at(p, L"*[@id='3']"));
        XmlSmartPtr<TrelDOMElement>(p->addChild(L"n"))->setAttribute(L"id", L"new");
        Keeper inner;
        p->scanChildren(&inner);
        innerIds = inner.ids;
    });
    ASSERT_TRUE(p->scanChildren(&meddler));
    EXPECT_EQ(ids, (std::vector<std::wstring>{L"1", L"2", L"3", L"4"}));
    EXPECT_EQ(innerIds, (std::vector<std::wstring>{L"1", L"2", L"4", L"new"}));
    EXPECT_EQ(childTags(p), (std::vector<std::wstring>{L"a", L"b", L"d", L"n"}));
}

}  // namespace
}  // namespace msxmltest
