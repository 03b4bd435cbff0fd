// Attribute access through elements and through attribute wrappers.
#include <algorithm>

#include "support.h"

namespace msxmltest {
namespace {

class AttributeTest : public BackendTest {};

class KeyCollector : public TrelDOMAttributeVisitor {
public:
    explicit KeyCollector(int stopAt = 0) : stopAt_(stopAt) {}
    bool visit(TrelDOMAttribute const* attribute) override {
        keys.push_back(str(attribute->getKey()));
        values.push_back(str(attribute->getValue()));
        return static_cast<int>(keys.size()) != stopAt_;
    }
    std::vector<std::wstring> keys;
    std::vector<std::wstring> values;

private:
    int stopAt_;
};

XmlSmartPtr<TrelDOMAttribute> attributeAt(TrelDOMElement const* element, wchar_t const* path) {
    XmlSmartPtr<TrelDOMNode> node(element->selectNode(path));
    return dynamic_cast<TrelDOMAttribute*>(static_cast<TrelDOMNode*>(node));
}

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

TEST_F(AttributeTest, SetAttributeAddsOrReplacesLiterally) {
    auto doc = parse(L"<r a='1'/>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    ASSERT_TRUE(root->setAttribute(L"a", L"2"));
    ASSERT_TRUE(root->setAttribute(L"b", L"x&amp;<y>\"'"));
    EXPECT_EQ(str(root->getAttributeValue(L"a")), L"2");
    EXPECT_EQ(str(root->getAttributeValue(L"b")), L"x&amp;<y>\"'");
    EXPECT_FALSE(root->setAttribute(nullptr, L"v"));
    EXPECT_FALSE(root->setAttribute(L"c", static_cast<wchar_t const*>(nullptr)));
    EXPECT_EQ(str(root->getAttributeValue(L"c")), L"(null)");

    KeyCollector all;
    EXPECT_TRUE(root->scanAttributes(&all));
    EXPECT_EQ(all.keys, (std::vector<std::wstring>{L"a", L"b"})) << "replacing keeps one attribute a";
}

TEST_F(AttributeTest, ScanAttributesInOrderWithStop) {
    auto doc = parse(L"<r z='1' y='2' x='3'><none/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    KeyCollector all;
    EXPECT_TRUE(root->scanAttributes(&all));
    EXPECT_EQ(all.keys, (std::vector<std::wstring>{L"z", L"y", L"x"}));
    EXPECT_EQ(all.values, (std::vector<std::wstring>{L"1", L"2", L"3"}));

    KeyCollector second(2);
    EXPECT_FALSE(root->scanAttributes(&second));
    EXPECT_EQ(second.keys.size(), 2u);

    KeyCollector none(1);
    EXPECT_TRUE(at(root, L"none")->scanAttributes(&none));
    EXPECT_TRUE(none.keys.empty());
}

TEST_F(AttributeTest, NamespaceDeclarationsAreListedAmongAttributes) {
    auto doc = parse(L"<r xmlns:p='urn:p' p:k='v'/>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    KeyCollector all;
    EXPECT_TRUE(root->scanAttributes(&all));
    EXPECT_NE(std::find(all.keys.begin(), all.keys.end(), L"p:k"), all.keys.end());
    EXPECT_NE(std::find(all.keys.begin(), all.keys.end(), L"xmlns:p"), all.keys.end());
    auto attribute = attributeAt(root, L"@*[local-name()='k']");
    ASSERT_TRUE(attribute);
    EXPECT_EQ(str(attribute->getKey()), L"p:k");
    EXPECT_TRUE(attribute->keyEquals(L"p:k"));
    EXPECT_FALSE(attribute->keyEquals(L"k"));
}

TEST_F(AttributeTest, AttributeWrappersReadAndWriteTheLiveAttribute) {
    auto doc = parse(L"<r a='old'/>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    auto attribute = attributeAt(root, L"@a");
    ASSERT_TRUE(attribute);
    EXPECT_EQ(attribute->getType(), TREL_ATTRIBUTE_NODE);
    EXPECT_TRUE(attribute->valueEquals(L"old"));
    EXPECT_FALSE(attribute->valueEquals(L"Old"));
    EXPECT_FALSE(attribute->valueEquals(nullptr));
    ASSERT_TRUE(attribute->setValue(L"new"));
    EXPECT_EQ(str(root->getAttributeValue(L"a")), L"new");
    EXPECT_EQ(str(attribute->getValue()), L"new");
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(attribute->getParent()));
    EXPECT_EQ(attribute->getDocument(), static_cast<TrelDOMDocument*>(doc));

    // Two wrappers of one attribute agree at once.
    auto again = attributeAt(root, L"@a");
    ASSERT_TRUE(root->setAttribute(L"a", L"third"));
    EXPECT_EQ(str(attribute->getValue()), L"third");
    EXPECT_EQ(attribute->getValue(), again->getValue());
}

}  // namespace
}  // namespace msxmltest
