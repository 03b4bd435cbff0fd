// The object factory: live counters and loading by path.
#include "model/TrelXSLTProcessor.h"
#include "model/XML_UTILITIES.h"
#include "model_test_support.h"

using namespace modeltest;

namespace {

TEST_F(ModelTest, CountersFollowLiveDocumentsAndNodes) {
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

// Failed loads delete their documents at once.
TEST_F(ModelTest, CreateDocumentFromPathLoadsOrLeavesNothing) {
    TempDir dir;
    XmlSmartPtr<TrelDOMDocument> loaded(
        factory()->createDocument(dir.write("good.xml", "<?xml version='1.0'?><root a='1'>x</root>").c_str()));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(textAt(loaded, L"/root"), L"x");
    EXPECT_FALSE(factory()->createDocument(dir.write("bad.xml", "<root><open></root>").c_str()) ||
                 factory()->createDocument(dir.file("missing.xml").c_str()) ||
                 XML_UTILITIES::deserialize(reinterpret_cast<unsigned char const*>("<a")) ||
                 XML_UTILITIES::serializeToUTF8(nullptr, true, true) ||
                 factory()->createXSLTProcessor(L"/nonexistent/sheet.xsl"));
    EXPECT_EQ(liveDocuments(), 1);
}

}  // namespace
