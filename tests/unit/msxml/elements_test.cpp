// Element wrappers: navigation, text, editing and scans.
#include "support.h"

namespace msxmltest {
namespace {

class ElementTest : public BackendTest {};

TEST_F(ElementTest, TextIsTheFirstChildsTextOnlyWhenThatChildIsText) {
    auto doc = parse(L"<r><a>x<b/>y</a><c><b/>y</c><d/><e><!--n-->t</e><f><![CDATA[z]]>w</f></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    EXPECT_EQ(str(at(root, L"a")->getText()), L"x");
    EXPECT_EQ(str(at(root, L"c")->getText()), L"(null)");
    EXPECT_EQ(str(at(root, L"d")->getText()), L"(null)");
    EXPECT_EQ(str(at(root, L"e")->getText()), L"(null)");
    EXPECT_EQ(str(at(root, L"f")->getText()), L"(null)");
    // Texts are interned: asking twice gives the same pointer.
    EXPECT_EQ(at(root, L"a")->getText(), at(root, L"a")->getText());
}

TEST_F(ElementTest, SetTextReplacesTheFirstTextChildOrAppendsOne) {
    auto doc = parse(L"<r><empty/><lead><k/></lead></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    auto empty = at(root, L"empty");
    ASSERT_TRUE(empty->setText(L"v"));
    EXPECT_EQ(str(empty->getText()), L"v");
    ASSERT_TRUE(empty->setText(L"w"));
    EXPECT_EQ(str(empty->getText()), L"w");
    EXPECT_TRUE(nodeAt(empty, L"text()[1]"));
    EXPECT_FALSE(nodeAt(empty, L"text()[2]")) << "a second setText must not add a text child";

    // With an element first, the text goes after the last child and the
    // element still has no text of its own.
    auto lead = at(root, L"lead");
    ASSERT_TRUE(lead->setText(L"t"));
    EXPECT_EQ(str(lead->getText()), L"(null)");
    XmlSmartPtr<TrelDOMNode> last = nodeAt(lead, L"node()[last()]");
    ASSERT_TRUE(last);
    EXPECT_EQ(last->getType(), TREL_TEXT_NODE);
}

TEST_F(ElementTest, ChildrenAreElementChildrenCountedByExactName) {
    auto doc = parse(L"<r><b id='1'/>t<c id='2'/><!--x--><b id='3'/><B id='4'/><p:b xmlns:p='urn:p' id='5'/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    EXPECT_EQ(root->childCount(), 5);
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(root->getChild(L"b", 0))->getAttributeValue(L"id")), L"1");
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(root->getChild(L"b", 1))->getAttributeValue(L"id")), L"3");
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(root->getChild(L"c", 0))->getAttributeValue(L"id")), L"2");
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(root->getChild(L"p:b", 0))->getAttributeValue(L"id")), L"5");
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(root->getChild(L"b", 2)));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(root->getChild(L"b", -1)));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(root->getChild(L"c", 1)));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(root->getChild(nullptr, 0)));

    auto leaf = at(root, L"c");
    EXPECT_EQ(leaf->childCount(), 0);
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(leaf->getChild(L"b", 0)));
}

TEST_F(ElementTest, FirstChildMustBeTheVeryFirstNode) {
    auto doc = parse(L"<r><t>lead<a/><b/></t><e><a/>tail</e><c><!--x--><a/></c></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(at(root, L"t")->getFirstChild()));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(at(root, L"c")->getFirstChild()));
    XmlSmartPtr<TrelDOMElement> first(at(root, L"e")->getFirstChild());
    ASSERT_TRUE(first);
    EXPECT_EQ(str(first->getTag()), L"a");

    // By tag: the first child of that tag, past text and other tags.
    XmlSmartPtr<TrelDOMElement> b(at(root, L"t")->getFirstChild(L"b"));
    ASSERT_TRUE(b);
    EXPECT_EQ(str(b->getTag()), L"b");
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(at(root, L"t")->getFirstChild(L"zz")));
}

TEST_F(ElementTest, AddingAnElementMovesItAndRefusesCycles) {
    auto doc = parse(L"<r><a><inner/></a><b/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    auto a = at(root, L"a");
    auto b = at(root, L"b");
    auto inner = at(a, L"inner");
    ASSERT_TRUE(b->addChild(inner));
    EXPECT_EQ(a->childCount(), 0);
    EXPECT_EQ(childTags(b), (std::vector<std::wstring>{L"inner"}));

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
    ASSERT_TRUE(target && source);
    auto root = rootOf(target);
    {
        auto moved = at(rootOf(source), L"*");
        ASSERT_TRUE(root->addChild(moved));
    }
    source = nullptr;  // the source document dies; the moved subtree must not
    auto m = at(root, L"*");
    ASSERT_TRUE(m);
    EXPECT_EQ(str(m->getTag()), L"p:m");
    EXPECT_EQ(str(m->getNamespace()), L"urn:m");
    EXPECT_EQ(str(m->getAttributeValue(L"k")), L"v");
    EXPECT_EQ(str(m->getText()), L"t");
    EXPECT_EQ(m->getDocument(), static_cast<TrelDOMDocument*>(target));
}

// Keeps every element it is shown and records their ids.
class Keeper : public TrelDOMElementVisitor {
public:
    bool visit(TrelDOMElement const* element) override {
        ids.push_back(str(element->getAttributeValue(L"id")));
        kept.push_back(XmlSmartPtr<TrelDOMElement>(const_cast<TrelDOMElement*>(element)));
        return true;
    }
    std::vector<std::wstring> ids;
    std::vector<XmlSmartPtr<TrelDOMElement>> kept;
};

// More element children than the first batch the reader is asked for, with
// text, comments, CDATA and instructions between them.
TEST_F(ElementTest, ScanChildrenVisitsExactlyTheElementsInOrder) {
    std::wstring text = L"<r>lead";
    std::vector<std::wstring> ids, tags;
    for (int i = 0; i < 70; ++i) {
        ids.push_back(std::to_wstring(i));
        tags.push_back(i % 2 ? L"b" : L"a");
        text += (i % 2 ? L"<b id='" : L"<a id='") + ids.back() + L"'><in id='x'/></" + (i % 2 ? L"b>" : L"a>");
        text += i % 3 == 0 ? L"<!--c-->" : i % 3 == 1 ? L"<![CDATA[d]]>" : L"t<?pi x?>";
    }
    auto doc = parse((text + L"</r>").c_str());
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    int const nodes = factory()->getNodeCount();
    {
        Keeper keeper;
        ASSERT_TRUE(root->scanChildren(&keeper));
        EXPECT_EQ(keeper.ids, ids);
        ASSERT_EQ(keeper.kept.size(), ids.size());
        for (size_t i = 0; i < ids.size(); ++i)
            EXPECT_EQ(str(keeper.kept[i]->getAttributeValue(L"id")), ids[i]) << "kept wrapper " << i;
        EXPECT_EQ(root->childCount(), 70);
    }
    EXPECT_EQ(factory()->getNodeCount(), nodes);
    Keeper odd;
    ASSERT_TRUE(root->scanChildren(L"b", &odd));
    ASSERT_EQ(odd.ids.size(), 35u);
    EXPECT_EQ(odd.ids.front(), L"1");
    EXPECT_EQ(odd.ids.back(), L"69");
    EXPECT_EQ(childTags(root), tags);  // a visitor that keeps nothing
}


// On its first visit, moves a later sibling away, adds a child at the end,
// and scans the parent again: the outer scan still visits exactly the
// children of its start, the inner one the children of its own start.
class Meddler : public TrelDOMElementVisitor {
public:
    Meddler(TrelDOMElement* parent, TrelDOMElement* elsewhere) : parent_(parent), elsewhere_(elsewhere) {}
    bool visit(TrelDOMElement const* element) override {
        ids.push_back(str(element->getAttributeValue(L"id")));
        if (ids.size() == 1) {
            elsewhere_->addChild(XmlSmartPtr<TrelDOMElement>(at(parent_, L"*[@id='3']")));
            XmlSmartPtr<TrelDOMElement> added(parent_->addChild(L"n"));
            added->setAttribute(L"id", L"new");
            Keeper inner;
            parent_->scanChildren(&inner);
            innerIds = inner.ids;
        }
        return true;
    }
    std::vector<std::wstring> ids, innerIds;

private:
    TrelDOMElement* parent_;
    TrelDOMElement* elsewhere_;
};

TEST_F(ElementTest, ScanChildrenKeepsToItsStartWhateverTheVisitorChanges) {
    auto doc = parse(L"<r><p><a id='1'/><b id='2'/><c id='3'/><d id='4'/></p><q/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    auto p = at(root, L"p");
    auto q = at(root, L"q");
    Meddler meddler(p, q);
    ASSERT_TRUE(p->scanChildren(&meddler));
    EXPECT_EQ(meddler.ids, (std::vector<std::wstring>{L"1", L"2", L"3", L"4"}));
    EXPECT_EQ(meddler.innerIds, (std::vector<std::wstring>{L"1", L"2", L"4", L"new"}));
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
    auto doc = parse((text + L"</r>").c_str());
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    EXPECT_EQ(childTags(root), tags);
    auto again = childTags(root);
    EXPECT_EQ(again, tags);
}

}  // namespace
}  // namespace msxmltest
