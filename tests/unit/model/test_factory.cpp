// The object factory: live counters, loading by path.
#include "model/XML_UTILITIES.h"
#include "model_test_support.h"

using namespace modeltest;

namespace {

using FactoryTest = ModelTest;

TEST_F(FactoryTest, CountersFollowLiveDocumentsAndNodes) {
    XmlSmartPtr<TrelDOMDocument> first(factory()->createDocument());
    XmlSmartPtr<TrelDOMDocument> second = parse(L"<r><a/></r>");
    EXPECT_EQ(liveDocuments(), 2);
    {
        XmlSmartPtr<TrelDOMElement> root(second->getRoot());
        XmlSmartPtr<TrelDOMElement> a(root->getFirstChild());
        XmlSmartPtr<TrelDOMElement> made(first->createElement(L"c"));
        EXPECT_EQ(liveNodes(), 3);
    }
    EXPECT_EQ(liveNodes(), 0);
    second = nullptr;
    EXPECT_EQ(liveDocuments(), 1);
}

TEST_F(FactoryTest, CreateDocumentFromPathLoadsOrLeavesNothing) {
    TempDir dir;
    XmlSmartPtr<TrelDOMDocument> loaded(
        factory()->createDocument(dir.write("good.xml", "<?xml version='1.0'?><root a='1'>x</root>").c_str()));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(textAt(loaded, L"/root"), L"x");
    EXPECT_EQ(factory()->createDocument(dir.write("bad.xml", "<root><open></root>").c_str()), nullptr);
    EXPECT_EQ(factory()->createDocument(dir.file("missing.xml").c_str()), nullptr);
    EXPECT_EQ(XML_UTILITIES::deserialize(L"<a><b></a>"), nullptr);
    EXPECT_EQ(XML_UTILITIES::deserialize(reinterpret_cast<unsigned char const*>("<a")), nullptr);
    EXPECT_EQ(factory()->createXSLTProcessor(L"/nonexistent/sheet.xsl"), nullptr);
    EXPECT_EQ(liveDocuments(), 1) << "failed loads delete their documents at once";
}

}  // namespace
