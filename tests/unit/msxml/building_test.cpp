// Building trees: namespaced elements, the root and the way back up.
#include "platform/host/ux_string.h"
#include "support.h"

namespace msxmltest {
namespace {

class BuildingTest : public BackendTest {};

std::wstring flat(TrelDOMDocument const* document) {
    wchar_t* text = nullptr;
    if (!document->saveXML(&text, false)) return L"(failed)";
    std::wstring result(text);
    ux_strfree(text);
    return result;
}

TEST_F(BuildingTest, NamespacedElementsTakeTheNameFirstAndKeepTheirNamespaceWhenSaved) {
    auto doc = newDocument();
    XmlSmartPtr<TrelDOMElement> root(doc->createElementNS(L"q:model", L"urn:q"));
    ASSERT_TRUE(root);
    EXPECT_EQ(str(root->getTag()), L"q:model");
    EXPECT_EQ(str(root->getNamespace()), L"urn:q");
    EXPECT_EQ(root->getParent(), nullptr) << "made detached";
    XmlSmartPtr<TrelDOMElement> swapped(doc->createElementNS(L"urn:q", L"q:model"));
    if (swapped) {
        EXPECT_NE(str(swapped->getTag()), L"q:model");
    }

    XmlSmartPtr<TrelDOMElement> part(doc->createElementNS(L"part", L"urn:p", L"text"));
    ASSERT_TRUE(part);
    EXPECT_EQ(str(part->getText()), L"text");
    XmlSmartPtr<TrelDOMElement> plain(doc->createElementNS(L"plain", nullptr));
    ASSERT_TRUE(plain);
    EXPECT_EQ(str(plain->getNamespace()), L"(null)");
    ASSERT_TRUE(root->addChild(part));
    ASSERT_TRUE(root->addChild(plain));
    ASSERT_TRUE(doc->setRoot(root));

    // The namespaces survive a round trip through text.
    auto again = parse(flat(doc).c_str());
    ASSERT_TRUE(again) << flat(doc);
    auto back = rootOf(again);
    EXPECT_EQ(str(back->getNamespace()), L"urn:q");
    XmlSmartPtr<TrelDOMElement> first(back->getFirstChild());
    EXPECT_EQ(str(first->getNamespace()), L"urn:p");
    EXPECT_EQ(str(first->getText()), L"text");
    EXPECT_EQ(str(at(back, L"*[2]")->getNamespace()), L"(null)") << flat(doc);
}

TEST_F(BuildingTest, SetRootTakesOnlyTheFirstRoot) {
    auto doc = newDocument();
    EXPECT_FALSE(doc->setRoot(nullptr));
    EXPECT_EQ(doc->getRoot(), nullptr);
    XmlSmartPtr<TrelDOMElement> first(doc->createElement(L"first"));
    XmlSmartPtr<TrelDOMElement> second(doc->createElement(L"second"));
    ASSERT_TRUE(doc->setRoot(first));
    EXPECT_FALSE(doc->setRoot(second));
    EXPECT_FALSE(doc->setRoot(nullptr));
    EXPECT_EQ(str(rootOf(doc)->getTag()), L"first");
    EXPECT_EQ(flat(doc).find(L"second"), std::wstring::npos);
}

TEST_F(BuildingTest, ParentIsTheEnclosingElementOnly) {
    auto doc = parse(L"<r a='1'><c><g/></c></r>");
    auto root = rootOf(doc);
    EXPECT_EQ(root->getParent(), nullptr) << "the document is no element";
    XmlSmartPtr<TrelDOMNode> attribute(root->selectNode(L"@a"));
    ASSERT_TRUE(attribute);
    EXPECT_EQ(attribute->getParent(), nullptr);
    auto grandchild = at(root, L"c/g");
    XmlSmartPtr<TrelDOMElement> parent(grandchild->getParent());
    ASSERT_TRUE(parent);
    EXPECT_EQ(str(parent->getTag()), L"c");
    XmlSmartPtr<TrelDOMElement> top(parent->getParent());
    ASSERT_TRUE(top);
    EXPECT_EQ(str(top->getTag()), L"r");
    EXPECT_EQ(top->getParent(), nullptr);
    // A move changes the parent.
    ASSERT_TRUE(root->addChild(grandchild));
    XmlSmartPtr<TrelDOMElement> moved(grandchild->getParent());
    EXPECT_EQ(str(moved->getTag()), L"r");
}

}  // namespace
}  // namespace msxmltest
