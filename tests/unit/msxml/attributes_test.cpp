// Attribute access through elements and through attribute wrappers.
#include "support.h"

namespace msxmltest {
namespace {

class AttributeTest : public BackendTest {};

TEST_F(AttributeTest, ValuesAreReadByExactQualifiedName) {
    auto doc = parse(L"<r a='1' B='2' xml:lang='en' empty=''/>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    EXPECT_EQ(str(root->getAttributeValue(L"a")), L"1");
    EXPECT_EQ(str(root->getAttributeValue(L"xml:lang")), L"en");
    EXPECT_EQ(str(root->getAttributeValue(L"b")), L"(null)");
    EXPECT_EQ(str(root->getAttributeValue(L"lang")), L"(null)");
    EXPECT_EQ(str(root->getAttributeValue(L"missing")), L"(null)");
    EXPECT_EQ(str(root->getAttributeValue(nullptr)), L"(null)");
    EXPECT_EQ(str(root->getAttributeValue(L"empty")), L"") << "present but empty is not absent";
    EXPECT_EQ(root->getAttributeValue(L"a"), root->getAttributeValue(L"a"));

    EXPECT_TRUE(root->attributeEquals(L"B", L"2"));
    EXPECT_FALSE(root->attributeEquals(L"B", L"3"));
    EXPECT_FALSE(root->attributeEquals(L"xml:lang", L"EN"));
    EXPECT_FALSE(root->attributeEquals(L"missing", L""));
    EXPECT_TRUE(root->attributeEquals(L"empty", L""));
}

}  // namespace
}  // namespace msxmltest
