// Element wrappers: navigation, text, editing and scans.
#include "msxml/MsxmlDOMElement.h"
#include "support.h"

namespace msxmltest {
namespace {

class ElementTest : public BackendTest {};

// A visitor that records tags and answers false at a chosen visit.
class StopAt : public TrelDOMElementVisitor {
public:
    explicit StopAt(int stopAt) : stopAt_(stopAt) {}
    bool visit(TrelDOMElement const* element) override {
        tags.push_back(str(element->getTag()));
        return static_cast<int>(tags.size()) != stopAt_;
    }
    std::vector<std::wstring> tags;

private:
    int stopAt_;
};

// Moves every visited element under `target`, as a merge does.
class MoveTo : public TrelDOMElementVisitor {
public:
    explicit MoveTo(TrelDOMElement* target) : target_(target) {}
    bool visit(TrelDOMElement const* element) override {
        tags.push_back(str(element->getAttributeValue(L"id")));
        target_->addChild(element);
        return true;
    }
    std::vector<std::wstring> tags;

private:
    TrelDOMElement* target_;
};

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

TEST_F(ElementTest, SetValueOfAPlainTextNodeFails) {
    auto doc = parse(L"<r>t</r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    XmlSmartPtr<TrelDOMNode> text = nodeAt(root, L"text()");
    ASSERT_TRUE(text);
    auto* node = dynamic_cast<MsxmlDOMNode*>(static_cast<TrelDOMNode*>(text));
    ASSERT_TRUE(node);
    EXPECT_EQ(str(node->getValue()), L"t");
    EXPECT_FALSE(node->setValue(L"u"));
    EXPECT_EQ(str(root->getText()), L"t");
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

TEST_F(ElementTest, ScanChildrenVisitsElementsInOrderAndStopsOnFalse) {
    auto doc = parse(L"<r>t<a/><!--c--><b/><a/><c/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);

    StopAt all(0);
    EXPECT_TRUE(root->scanChildren(&all));
    EXPECT_EQ(all.tags, (std::vector<std::wstring>{L"a", L"b", L"a", L"c"}));

    StopAt second(2);
    EXPECT_FALSE(root->scanChildren(&second));
    EXPECT_EQ(second.tags.size(), 2u);

    StopAt onlyA(0);
    EXPECT_TRUE(root->scanChildren(L"a", &onlyA));
    EXPECT_EQ(onlyA.tags, (std::vector<std::wstring>{L"a", L"a"}));

    StopAt firstA(1);
    EXPECT_FALSE(root->scanChildren(L"a", &firstA)) << "the inner visitor's false stops a tagged scan";
    EXPECT_EQ(firstA.tags.size(), 1u);

    StopAt none(1);
    EXPECT_TRUE(at(root, L"c")->scanChildren(&none));
    EXPECT_TRUE(none.tags.empty());
}

TEST_F(ElementTest, ScanChildrenWorksOnASnapshotWhileChildrenMove) {
    auto doc = parse(L"<r><from><x id='1'/><y id='2'/>text<x id='3'><z/></x></from><to/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    auto from = at(root, L"from");
    auto to = at(root, L"to");
    MoveTo mover(to);
    EXPECT_TRUE(from->scanChildren(&mover));
    EXPECT_EQ(mover.tags, (std::vector<std::wstring>{L"1", L"2", L"3"}));
    EXPECT_EQ(from->childCount(), 0);
    EXPECT_EQ(childTags(to), (std::vector<std::wstring>{L"x", L"y", L"x"}));
    EXPECT_EQ(str(from->getText()), L"text");
    EXPECT_TRUE(at(to, L"x[2]/z"));
}

TEST_F(ElementTest, SelectionDistinguishesElementsAttributesAndText) {
    auto doc = parse(L"<r a='1'><c k='v'>t</c></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    EXPECT_FALSE(at(root, L"@a"));
    EXPECT_FALSE(at(root, L"c/@k"));
    XmlSmartPtr<TrelDOMNode> attribute = nodeAt(root, L"c/@k");
    ASSERT_TRUE(attribute);
    EXPECT_EQ(attribute->getType(), TREL_ATTRIBUTE_NODE);
    auto* asAttribute = dynamic_cast<TrelDOMAttribute*>(static_cast<TrelDOMNode*>(attribute));
    ASSERT_TRUE(asAttribute);
    EXPECT_EQ(str(asAttribute->getKey()), L"k");
    EXPECT_EQ(str(asAttribute->getValue()), L"v");

    XmlSmartPtr<TrelDOMNode> text = nodeAt(root, L"c/text()");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->getType(), TREL_TEXT_NODE);
    EXPECT_FALSE(at(root, L"c/text()"));

    XmlSmartPtr<TrelDOMNode> element = nodeAt(root, L"c");
    ASSERT_TRUE(element);
    EXPECT_TRUE(dynamic_cast<TrelDOMElement*>(static_cast<TrelDOMNode*>(element)));
    EXPECT_FALSE(nodeAt(root, L"nothing"));
    EXPECT_FALSE(nodeAt(root, L"((bad"));
    EXPECT_FALSE(nodeAt(root, nullptr));
}

TEST_F(ElementTest, NamesArePrefixedAndComparedExactly) {
    auto doc = parse(L"<r xmlns:xs='urn:s'><xs:element/><Item/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    auto element = at(root, L"*[1]");
    EXPECT_EQ(str(element->getTag()), L"xs:element");
    EXPECT_EQ(str(element->getNamespace()), L"urn:s");
    EXPECT_EQ(element->getNamespace(), element->getNamespace());
    EXPECT_TRUE(element->tagEquals(L"xs:element"));
    EXPECT_FALSE(element->tagEquals(L"element"));
    EXPECT_FALSE(element->tagEquals(nullptr));
    auto item = at(root, L"Item");
    EXPECT_FALSE(item->tagEquals(L"item"));
    EXPECT_FALSE(item->tagEquals(L"ITEM"));
    EXPECT_EQ(str(item->getNamespace()), L"(null)");
}

TEST_F(ElementTest, NodeKindsAndParents) {
    auto doc = parse(L"<r a='1'><c>t<!--n--><?pi d?></c></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    EXPECT_EQ(root->getType(), TREL_ELEMENT_NODE);
    EXPECT_EQ(XmlSmartPtr<TrelDOMNode>(nodeAt(root, L"c/text()"))->getType(), TREL_TEXT_NODE);
    EXPECT_EQ(XmlSmartPtr<TrelDOMNode>(nodeAt(root, L"c/comment()"))->getType(), TREL_COMMENT_NODE);
    EXPECT_EQ(XmlSmartPtr<TrelDOMNode>(nodeAt(root, L"c/processing-instruction()"))->getType(),
              TREL_PROCESSING_INSTRUCTION_NODE);
    EXPECT_EQ(XmlSmartPtr<TrelDOMNode>(nodeAt(root, L"@a"))->getType(), TREL_ATTRIBUTE_NODE);

    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(root->getParent()));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(XmlSmartPtr<TrelDOMNode>(nodeAt(root, L"@a"))->getParent()));
    auto child = at(root, L"c");
    XmlSmartPtr<TrelDOMElement> parent(child->getParent());
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->getTag(), root->getTag());
    EXPECT_NE(static_cast<TrelDOMElement*>(parent), static_cast<TrelDOMElement*>(root)) << "a fresh wrapper";
    XmlSmartPtr<TrelDOMNode> comment = nodeAt(root, L"c/comment()");
    XmlSmartPtr<TrelDOMElement> commentParent(comment->getParent());
    ASSERT_TRUE(commentParent);
    EXPECT_EQ(str(commentParent->getTag()), L"c");
    EXPECT_EQ(comment->getDocument(), static_cast<TrelDOMDocument*>(doc));
}

TEST_F(ElementTest, NewChildrenTakeTheParentsNamespace) {
    auto doc = parse(L"<p:r xmlns:p='urn:p'><plain xmlns=''/></p:r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    XmlSmartPtr<TrelDOMElement> child(root->addChild(L"p:c"));
    ASSERT_TRUE(child);
    EXPECT_EQ(str(child->getNamespace()), L"urn:p");
    XmlSmartPtr<TrelDOMElement> parent(child->getParent());
    EXPECT_TRUE(parent->tagEquals(L"p:r"));

    ASSERT_TRUE(root->addChild(L"p:d", L"text"));
    auto d = at(root, L"*[last()]");
    EXPECT_EQ(str(d->getTag()), L"p:d");
    EXPECT_EQ(str(d->getNamespace()), L"urn:p");
    EXPECT_EQ(str(d->getText()), L"text");

    auto plain = at(root, L"plain");
    ASSERT_TRUE(plain->addChild(L"q", L""));
    EXPECT_EQ(str(at(plain, L"q")->getNamespace()), L"(null)");

    EXPECT_FALSE(root->addChild(nullptr, L"x"));
    EXPECT_FALSE(root->addChild(L"x", static_cast<wchar_t const*>(nullptr)));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(root->addChild(static_cast<wchar_t const*>(nullptr))));
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

TEST_F(ElementTest, CommentsAreAppendedButNeverChildren) {
    auto doc = parse(L"<r><a/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    ASSERT_TRUE(root->addComment(L"note"));
    EXPECT_EQ(root->childCount(), 1);
    XmlSmartPtr<TrelDOMNode> last = nodeAt(root, L"node()[last()]");
    ASSERT_TRUE(last);
    EXPECT_EQ(last->getType(), TREL_COMMENT_NODE);
}

TEST_F(ElementTest, StringsOutliveTheWrapperThatReturnedThem) {
    auto doc = parse(L"<root-element k='value'>text</root-element>");
    ASSERT_TRUE(doc);
    wchar_t const* tag = nullptr;
    wchar_t const* text = nullptr;
    wchar_t const* value = nullptr;
    {
        auto root = rootOf(doc);
        tag = root->getTag();
        text = root->getText();
        value = root->getAttributeValue(L"k");
    }
    EXPECT_EQ(str(tag), L"root-element");
    EXPECT_EQ(str(text), L"text");
    EXPECT_EQ(str(value), L"value");
    EXPECT_EQ(rootOf(doc)->getTag(), tag);
}

}  // namespace
}  // namespace msxmltest
