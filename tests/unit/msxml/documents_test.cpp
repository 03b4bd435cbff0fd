// Document wrappers: building a tree of one root, parents, plain nodes.
#include "msxml/MsxmlDOMNode.h"
#include "support.h"

namespace msxmltest {
namespace {

class DocumentTest : public BackendTest {};

// The name comes first; namespaces survive a round trip through text; only
// the first root is taken.
TEST_F(DocumentTest, NamespacedElementsBuildADocumentOfOneRoot) {
    auto doc = newDocument();
    EXPECT_FALSE(doc->setRoot(nullptr));
    XmlSmartPtr<TrelDOMElement> root(doc->createElementNS(L"q:model", L"urn:q"));
    XmlSmartPtr<TrelDOMElement> part(doc->createElementNS(L"part", L"urn:p", L"text"));
    XmlSmartPtr<TrelDOMElement> plain(doc->createElementNS(L"plain", nullptr));
    XmlSmartPtr<TrelDOMElement> swapped(doc->createElementNS(L"urn:q", L"q:model"));
    ASSERT_TRUE(root && part && plain);
    EXPECT_EQ(str(root->getTag()) + str(root->getNamespace()) + str(plain->getNamespace()), L"q:modelurn:q(null)");
    EXPECT_EQ(root->getParent(), nullptr) << "made detached";
    EXPECT_TRUE(!swapped || str(swapped->getTag()) != L"q:model");
    ASSERT_TRUE(root->addChild(part) && root->addChild(plain) && doc->setRoot(root));
    EXPECT_FALSE(doc->setRoot(XmlSmartPtr<TrelDOMElement>(doc->createElement(L"second"))));
    EXPECT_FALSE(doc->setRoot(nullptr));
    EXPECT_EQ(flat(doc).find(L"second"), std::wstring::npos);
    auto again = parse(flat(doc));
    ASSERT_TRUE(again) << flat(doc);
    std::wstring namespaces;
    EachElement each([&](TrelDOMElement const* e) { namespaces += str(e->getNamespace()) + L";"; });
    rootOf(again)->scanTree(&each);
    EXPECT_EQ(namespaces, L"urn:q;urn:p;(null);") << flat(doc);
    EXPECT_EQ(str(at(rootOf(again), L"*[1]")->getText()), L"text");
}

TEST_F(DocumentTest, ParentIsTheEnclosingElementOnly) {
    auto doc = parse(L"<r a='1'><c><g/></c></r>");
    auto root = rootOf(doc);
    EXPECT_TRUE(!root->getParent() && !nodeAt(root, L"@a")->getParent()) << "the document is no element";
    auto grandchild = at(root, L"c/g");
    XmlSmartPtr<TrelDOMElement> parent(grandchild->getParent());
    ASSERT_TRUE(parent);
    EXPECT_EQ(str(parent->getTag()) + str(XmlSmartPtr<TrelDOMElement>(parent->getParent())->getTag()), L"cr");
    ASSERT_TRUE(root->addChild(grandchild));  // a move changes the parent
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(grandchild->getParent())->getTag()), L"r");
}

// Plain node wrappers (text, comments) read as elements and attributes do;
// the document itself is no node of its tree.
TEST_F(DocumentTest, TextHasAValueCommentsHaveNone) {
    auto doc = parse(L"<r><e>t\u00e9xt</e><!--c--></r>");
    auto root = rootOf(doc);
    auto text = nodeAt(root, L"e/text()"), comment = nodeAt(root, L"comment()");
    auto const* plainText = dynamic_cast<MsxmlDOMNode const*>(static_cast<TrelDOMNode*>(text));
    auto const* plainComment = dynamic_cast<MsxmlDOMNode const*>(static_cast<TrelDOMNode*>(comment));
    ASSERT_TRUE(plainText && plainComment);
    EXPECT_EQ(str(plainText->getValue()), L"t\u00e9xt");
    EXPECT_EQ(plainText->getValue(), at(root, L"e")->getText()) << "one interned copy";
    EXPECT_TRUE(plainText->valueEquals(L"t\u00e9xt") && !plainText->valueEquals(L"text"));
    EXPECT_EQ(str(plainComment->getValue()), L"(null)");
    ASSERT_TRUE(at(root, L"e")->addComment(L"note"));
    EXPECT_EQ(nodeAt(root, L"e/comment()")->getType(), TREL_COMMENT_NODE);
    EXPECT_FALSE(XmlSmartPtr<TrelDOMNode>(doc->selectNode(L"/")));
    EXPECT_FALSE(nodeAt(root, L".."));
}

}  // namespace
}  // namespace msxmltest
