// Plain node wrappers (text, comments) read through the engine's reader as
// elements and attributes do, and comments added to elements are kept.
#include "support.h"

#include "msxml/MsxmlDOMNode.h"

namespace msxmltest {
namespace {

class NodeTest : public BackendTest {};

TEST_F(NodeTest, TextHasAValueCommentsHaveNone) {
    auto doc = parse(L"<r><e>t\u00e9xt</e><!--c--></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    auto text = nodeAt(root, L"e/text()");
    auto comment = nodeAt(root, L"comment()");
    ASSERT_TRUE(text && comment);
    auto const* plainText = dynamic_cast<MsxmlDOMNode const*>(static_cast<TrelDOMNode*>(text));
    auto const* plainComment = dynamic_cast<MsxmlDOMNode const*>(static_cast<TrelDOMNode*>(comment));
    ASSERT_TRUE(plainText && plainComment);
    EXPECT_EQ(str(plainText->getValue()), L"t\u00e9xt");
    EXPECT_EQ(plainText->getValue(), at(root, L"e")->getText()) << "one interned copy";
    EXPECT_TRUE(plainText->valueEquals(L"t\u00e9xt"));
    EXPECT_FALSE(plainText->valueEquals(L"text"));
    EXPECT_EQ(str(plainComment->getValue()), L"(null)");

    ASSERT_TRUE(at(root, L"e")->addComment(L"note"));
    auto added = nodeAt(root, L"e/comment()");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->getType(), 8);

    XmlSmartPtr<TrelDOMNode> self(doc->selectNode(L"/"));
    EXPECT_FALSE(self) << "the document is no node of its own tree";
    XmlSmartPtr<TrelDOMNode> parentOfRoot(root->selectNode(L".."));
    EXPECT_FALSE(parentOfRoot);
}

}  // namespace
}  // namespace msxmltest
