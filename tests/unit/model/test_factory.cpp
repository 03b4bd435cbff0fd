// The object factories: live counters, loading by path, and the factory
// that makes nothing.
#include "model/DummyObjectFactory.h"
#include "model/TrelXSDValidator.h"
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
                 factory()->createXSLTProcessor(L"/nonexistent/sheet.xsl"));
    EXPECT_EQ(liveDocuments(), 1);
}

// A module author handed the factory that makes nothing gets null from
// every creation, a path that loads included.
TEST_F(ModelTest, DummyFactoryCreatesNothing) {
    TempDir dir;
    std::wstring const good = dir.write("good.xml", "<r/>");
    XmlSmartPtr<TrelDOMDocument> document = parse(L"<r/>");
    DummyObjectFactory* dummy = DummyObjectFactory::getInstance();
    EXPECT_NE(static_cast<XmlObjectFactory*>(dummy), factory());
    EXPECT_TRUE(!dummy->createDocument() && !dummy->createDocument(good.c_str()) &&
                !dummy->createXSLTProcessor(document) && !dummy->createXSLTProcessor(good.c_str()) &&
                !dummy->createXSDValidator(document) && !dummy->createXSDValidator(good.c_str()) &&
                !dummy->createSAXXMLReader());
    EXPECT_EQ(dummy->getDocumentCount() + dummy->getNodeCount(), 0);
    DummyObjectFactory::reset();
    EXPECT_EQ(DummyObjectFactory::getInstance()->getDocumentCount(), 0) << "a fresh one after reset";
    DummyObjectFactory::reset();
}

}  // namespace
