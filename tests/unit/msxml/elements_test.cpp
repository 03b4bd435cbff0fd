// Element wrappers: navigation, text, editing and scans.
#include "support.h"

namespace msxmltest {
namespace {

class ElementTest : public BackendTest {};

TEST_F(ElementTest, TextIsTheFirstChildsTextOnlyWhenThatChildIsText) {
    auto doc = parse(L"<r><a>x<b/>y</a><c><b/>y</c><d/><e><!--n-->t</e><f><![CDATA[z]]>w</f></r>");
    auto root = rootOf(doc);
    std::wstring texts;
    for (wchar_t const* tag : {L"a", L"c", L"d", L"e", L"f"}) texts += str(at(root, tag)->getText()) + L";";
    EXPECT_EQ(texts, L"x;(null);(null);(null);(null);");
}

TEST_F(ElementTest, SetTextReplacesTheFirstTextChildOrAppendsOne) {
    auto doc = parse(L"<r><empty/><lead><k/></lead></r>");
    auto root = rootOf(doc);
    auto empty = at(root, L"empty");
    ASSERT_TRUE(empty->setText(L"v") && empty->setText(L"w"));
    EXPECT_EQ(str(empty->getText()), L"w");
    EXPECT_TRUE(nodeAt(empty, L"text()[1]"));
    EXPECT_FALSE(nodeAt(empty, L"text()[2]")) << "a second setText must not add a text child";
    // With an element first, the text goes after the last child and the
    // element still has no text of its own.
    auto lead = at(root, L"lead");
    ASSERT_TRUE(lead->setText(L"t"));
    EXPECT_EQ(str(lead->getText()), L"(null)");
    EXPECT_EQ(nodeAt(lead, L"node()[last()]")->getType(), TREL_TEXT_NODE);
}

TEST_F(ElementTest, ChildrenAreElementChildrenCountedByExactName) {
    auto doc = parse(L"<r><b id='1'/>t<c id='2'/><!--x--><b id='3'/><B id='4'/><p:b xmlns:p='urn:p' id='5'/></r>");
    auto root = rootOf(doc);
    EXPECT_EQ(root->childCount(), 5);
    auto idOf = [&](wchar_t const* tag, int i) {
        XmlSmartPtr<TrelDOMElement> child(root->getChild(tag, i));
        return child ? str(child->getAttributeValue(L"id")) : L"none";
    };
    std::wstring ids;
    for (auto [tag, i] : std::vector<std::pair<wchar_t const*, int>>{
             {L"b", 0}, {L"b", 1}, {L"c", 0}, {L"p:b", 0}, {L"b", 2}, {L"b", -1}, {L"c", 1}, {nullptr, 0}})
        ids += idOf(tag, i) + L";";
    EXPECT_EQ(ids, L"1;3;2;5;none;none;none;none;");
    auto leaf = at(root, L"c");
    EXPECT_EQ(leaf->childCount(), 0);
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(leaf->getChild(L"b", 0)));
}

TEST_F(ElementTest, FirstChildMustBeTheVeryFirstNode) {
    auto doc = parse(L"<r><t>lead<a/><b/></t><e><a/>tail</e><c><!--x--><a/></c></r>");
    auto root = rootOf(doc);
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(at(root, L"t")->getFirstChild()));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(at(root, L"c")->getFirstChild()));
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(at(root, L"e")->getFirstChild())->getTag()), L"a");
    // By tag: the first child of that tag, past text and other tags.
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(at(root, L"t")->getFirstChild(L"b"))->getTag()), L"b");
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(at(root, L"t")->getFirstChild(L"zz")));
}

TEST_F(ElementTest, AddingAnElementMovesItAndRefusesCycles) {
    auto doc = parse(L"<r><a><inner/></a><b/></r>");
    auto root = rootOf(doc);
    auto a = at(root, L"a"), b = at(root, L"b"), inner = at(a, L"inner");
    ASSERT_TRUE(b->addChild(inner));
    EXPECT_EQ(a->childCount(), 0);
    EXPECT_EQ(childTags(b), std::vector<std::wstring>{L"inner"});
    EXPECT_FALSE(b->addChild(static_cast<TrelDOMElement const*>(b)));
    EXPECT_FALSE(inner->addChild(static_cast<TrelDOMElement const*>(root)));
    EXPECT_FALSE(b->addChild(static_cast<TrelDOMElement const*>(nullptr)));
    EXPECT_EQ(childTags(root), (std::vector<std::wstring>{L"a", L"b"}));
    // A detached element made by the document joins where it is added.
    XmlSmartPtr<TrelDOMElement> fresh(doc->createElement(L"fresh", L"x"));
    ASSERT_TRUE(a->addChild(fresh));
    EXPECT_EQ(str(at(root, L"a/fresh")->getText()), L"x");
}

TEST_F(ElementTest, ElementsOfAnotherDocumentAreAdopted) {
    auto target = parse(L"<r/>");
    auto source = parse(L"<s><p:m xmlns:p='urn:m' k='v'>t<n/></p:m></s>");
    auto root = rootOf(target);
    ASSERT_TRUE(root->addChild(at(rootOf(source), L"*")));
    source = nullptr;  // the source document dies; the moved subtree must not
    auto m = at(root, L"*");
    ASSERT_TRUE(m);
    EXPECT_EQ(describe(m), L"p:m {urn:m} [k=v;xmlns:p=urn:m;] \"t\" (n {(null)} [] \"(null)\" ())");
    EXPECT_EQ(m->getDocument(), static_cast<TrelDOMDocument*>(target));
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

// Many element children with text, comments, CDATA and instructions between
// them: the cursor steps over every node that is no element.
TEST_F(ElementTest, ScanChildrenVisitsExactlyTheElementsInOrder) {
    std::wstring text = L"<r>lead";
    std::vector<std::wstring> ids, tags, odd;
    for (int i = 0; i < 70; ++i) {
        ids.push_back(std::to_wstring(i));
        tags.push_back(i % 2 ? L"b" : L"a");
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
        EXPECT_EQ(root->childCount(), 70);
    }
    EXPECT_EQ(factory()->getNodeCount(), nodes);
    Keeper b;
    ASSERT_TRUE(root->scanChildren(L"b", &b));
    EXPECT_EQ(b.ids, odd);
    EXPECT_EQ(childTags(root), tags);  // a visitor that keeps nothing
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

// More distinct names than any name table holds, read twice over.
TEST_F(ElementTest, TagsStayExactOverManyDistinctNames) {
    std::wstring text = L"<r>";
    std::vector<std::wstring> tags;
    for (int i = 0; i < 1500; ++i) {
        tags.push_back(L"t" + std::to_wstring(i * 7919 % 1500));
        text += L"<" + tags.back() + L" k" + std::to_wstring(i % 11) + L"='v'/>";
    }
    auto doc = parse(text + L"</r>");
    auto root = rootOf(doc);
    EXPECT_EQ(childTags(root), tags);
    EXPECT_EQ(childTags(root), tags);
}

}  // namespace
}  // namespace msxmltest
