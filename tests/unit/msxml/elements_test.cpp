// Element wrappers: children by name and index, and the scans of children.
#include "support.h"

namespace msxmltest {
namespace {

class ElementTest : public BackendTest {};

// Children are the element children, found by exact name and index.
TEST_F(ElementTest, ChildrenByExactNameAndIndex) {
    auto doc = parse(L"<r><b id='1'/>t<c/><!--x--><b id='3'/><B/><p:b xmlns:p='urn:p'/></r>");
    auto root = rootOf(doc);
    EXPECT_EQ(root->childCount(), 5);
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(root->getChild(L"b", 1))->getAttributeValue(L"id")), L"3");
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(root->getChild(L"b", 2)) ||
                 XmlSmartPtr<TrelDOMElement>(root->getChild(L"b", -1)) ||
                 XmlSmartPtr<TrelDOMElement>(root->getChild(nullptr, 0)));
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

// Adding moves; an element never goes into itself or below itself, and an
// element of another document is adopted whole and outlives its source.
TEST_F(ElementTest, AddingMovesAdoptsAndRefusesCycles) {
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

    auto source = parse(L"<s><p:m xmlns:p='urn:m' k='v'>t<n/></p:m></s>");
    ASSERT_TRUE(a->addChild(at(rootOf(source), L"*")));
    source = nullptr;  // the source document dies; the moved subtree must not
    EXPECT_EQ(flat(doc), L"<r><a><p:m xmlns:p=\"urn:m\" k=\"v\">t<n/></p:m></a><b><inner/></b></r>\n");
    EXPECT_EQ(at(root, L"a/*")->getDocument(), static_cast<TrelDOMDocument*>(doc));
}

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
