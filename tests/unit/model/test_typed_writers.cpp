// The shared code no other model test reaches: the typed writers of
// elements and documents, and the factory that makes nothing.
#include <string>

#include "model/DummyObjectFactory.h"
#include "model/TrelXSDValidator.h"
#include "model/TrelXSLTProcessor.h"
#include "model_test_support.h"
#include "platform/host/ux_string.h"

using namespace modeltest;

namespace {

// Each typed writer, once, in the one text form its type has.
TEST_F(ModelTest, TypedWritersWriteTheFixedTextForms) {
    XmlSmartPtr<TrelDOMDocument> document = parse(L"<r/>");
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    bool const written = root->setAttribute(L"b", false) && root->setAttribute(L"i", -7) &&
                         root->setAttribute(L"l", -9000000000L) && root->setAttribute(L"u", 4000000000UL) &&
                         root->setAttribute(L"d", 0.1) && root->addChild(L"b", true) && root->addChild(L"i", -7) &&
                         root->addChild(L"u", 4000000000UL) && root->addChild(L"d", 2.5);
    ASSERT_TRUE(written);
    for (XmlSmartPtr<TrelDOMElement> made : {document->createElement(L"cb", true), document->createElement(L"cl", -3L),
                                             document->createElement(L"cd", 1e21)})
        ASSERT_TRUE(made && root->addChild(made));
    ASSERT_TRUE(document->addXMLDeclaration());
    wchar_t* text = nullptr;
    ASSERT_TRUE(document->saveXML(&text, false));
    std::wstring const xml = text;
    ux_strfree(text);
    EXPECT_EQ(xml,
              L"<?xml version=\"1.0\"?>\n<r b=\"false\" i=\"-7\" l=\"-9000000000\" u=\"4000000000\" d=\"0.1\">"
              L"<b>true</b><i>-7</i><u>4000000000</u><d>2.5</d><cb>true</cb><cl>-3</cl><cd>1e+21</cd></r>\n");
}

// A module author handed the factory that makes nothing gets null from
// every creation, a path that loads included, and no engine object.
TEST_F(ModelTest, DummyFactoryCreatesNothing) {
    TempDir dir;
    std::wstring const good = dir.write("good.xml", "<r/>");
    XmlSmartPtr<TrelDOMDocument> document = parse(L"<r/>");
    DummyObjectFactory* dummy = DummyObjectFactory::getInstance();
    ASSERT_EQ(dummy, DummyObjectFactory::getInstance());
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
