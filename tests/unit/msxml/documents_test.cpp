// Document wrappers: element creation, the root, declarations, loading and
// the factory's live counters.
#include "platform/host/ux_string.h"
#include "support.h"

namespace msxmltest {
namespace {

class DocumentTest : public BackendTest {};

// The document's text without indentation, owned here.
std::wstring textOf(TrelDOMDocument const* document) {
    wchar_t* text = nullptr;
    if (!document->saveXML(&text, false)) return L"(failed)";
    std::wstring result(text);
    ux_strfree(text);
    return result;
}

TEST_F(DocumentTest, CountersFollowLiveDocumentsAndNodes) {
    int const documents = factory()->getDocumentCount();
    int const nodes = factory()->getNodeCount();
    {
        XmlSmartPtr<TrelDOMDocument> one(factory()->createDocument());
        XmlSmartPtr<TrelDOMDocument> two(factory()->createDocument());
        ASSERT_TRUE(one && two);
        EXPECT_NE(static_cast<TrelDOMDocument*>(one), static_cast<TrelDOMDocument*>(two));
        EXPECT_EQ(factory()->getDocumentCount(), documents + 2);
        XmlSmartPtr<TrelDOMElement> a(one->createElement(L"a"));
        XmlSmartPtr<TrelDOMElement> b(one->createElement(L"a"));
        EXPECT_EQ(factory()->getNodeCount(), nodes + 2) << "a fresh wrapper per request";
        two = nullptr;
        EXPECT_EQ(factory()->getDocumentCount(), documents + 1);
    }
    EXPECT_EQ(factory()->getDocumentCount(), documents);
    EXPECT_EQ(factory()->getNodeCount(), nodes);

    // A file that does not load leaves no document behind.
    EXPECT_FALSE(XmlSmartPtr<TrelDOMDocument>(factory()->createDocument(file("missing.xml").c_str())));
    EXPECT_EQ(factory()->getDocumentCount(), documents);
}

TEST_F(DocumentTest, CreatedElementsAreDetachedUntilPlaced) {
    auto doc = newDocument();
    ASSERT_TRUE(doc);
    XmlSmartPtr<TrelDOMElement> plain(doc->createElement(L"e", L"text"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(str(plain->getTag()), L"e");
    EXPECT_EQ(str(plain->getText()), L"text");
    EXPECT_EQ(str(plain->getNamespace()), L"(null)");
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(plain->getParent()));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(doc->getRoot()));

    XmlSmartPtr<TrelDOMElement> inNamespace(doc->createElementNS(L"p:e", L"urn:p"));
    ASSERT_TRUE(inNamespace);
    EXPECT_EQ(str(inNamespace->getTag()), L"p:e");
    EXPECT_EQ(str(inNamespace->getNamespace()), L"urn:p");
    EXPECT_EQ(str(inNamespace->getText()), L"(null)");

    XmlSmartPtr<TrelDOMElement> withText(doc->createElementNS(L"q", L"urn:q", L"t"));
    ASSERT_TRUE(withText);
    EXPECT_EQ(str(withText->getNamespace()), L"urn:q");
    EXPECT_EQ(str(withText->getText()), L"t");

    // The typed forms go through the text form.
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(doc->createElement(L"b", true))->getText()), L"true");
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(doc->createElement(L"l", -7L))->getText()), L"-7");
    EXPECT_EQ(str(XmlSmartPtr<TrelDOMElement>(doc->createElement(L"d", 2.5))->getText()), L"2.5");

    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(doc->createElement(static_cast<wchar_t const*>(nullptr))));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(doc->createElement(L"bad name")));
}

TEST_F(DocumentTest, SetRootMovesTheElementAndRefusesASecondRoot) {
    auto doc = newDocument();
    ASSERT_TRUE(doc);
    EXPECT_FALSE(doc->setRoot(nullptr));
    XmlSmartPtr<TrelDOMElement> first(doc->createElement(L"first"));
    XmlSmartPtr<TrelDOMElement> second(doc->createElement(L"second"));
    ASSERT_TRUE(doc->setRoot(first));
    EXPECT_FALSE(doc->setRoot(second));
    XmlSmartPtr<TrelDOMElement> root(doc->getRoot());
    ASSERT_TRUE(root);
    EXPECT_EQ(str(root->getTag()), L"first");
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(second->getParent()));

    // Two getRoot calls: two wrappers, one interned tag.
    XmlSmartPtr<TrelDOMElement> again(doc->getRoot());
    EXPECT_NE(static_cast<TrelDOMElement*>(root), static_cast<TrelDOMElement*>(again));
    EXPECT_EQ(root->getTag(), again->getTag());
}

// The declaration comes out first and decides the encoding of a flat save.
TEST_F(DocumentTest, DeclarationAndCommentsGoWhereTheyAreAdded) {
    auto doc = newDocument();
    ASSERT_TRUE(doc);
    ASSERT_TRUE(doc->addXMLDeclaration(XmlEncoding::UTF16));
    XmlSmartPtr<TrelDOMElement> root(doc->createElement(L"r"));
    ASSERT_TRUE(doc->setRoot(root));
    ASSERT_TRUE(doc->addComment(L"after"));
    std::wstring const text = textOf(doc);
    EXPECT_EQ(text.rfind(L"<?xml version=\"1.0\"", 0), 0u) << text;
    size_t const rootAt = text.find(L"<r/>");
    size_t const commentAt = text.find(L"<!--after-->");
    ASSERT_NE(rootAt, std::wstring::npos) << text;
    ASSERT_NE(commentAt, std::wstring::npos) << text;
    EXPECT_LT(rootAt, commentAt);

    ASSERT_TRUE(doc->save(file("decl.xml").c_str(), XmlEncoding::UTF8, false));
    std::string const bytes = readBytes(dir() / "decl.xml");
    EXPECT_NE(bytes.find(std::string("e\0n\0c\0o\0d\0i\0n\0g\0", 16)), std::string::npos) << "UTF-16 output";
    XmlSmartPtr<TrelDOMDocument> reloaded(factory()->createDocument(file("decl.xml").c_str()));
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(str(rootOf(reloaded)->getTag()), L"r");
}

TEST_F(DocumentTest, DefaultDeclarationIsUtf8) {
    auto doc = newDocument();
    ASSERT_TRUE(doc->addXMLDeclaration());
    XmlSmartPtr<TrelDOMElement> root(doc->createElement(L"r", L"\u00e9"));
    ASSERT_TRUE(doc->setRoot(root));
    ASSERT_TRUE(doc->save(file("decl.xml").c_str(), XmlEncoding::UTF16, false));
    std::string const bytes = readBytes(dir() / "decl.xml");
    EXPECT_NE(bytes.find("encoding=\"UTF-8\""), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("<r>\xc3\xa9</r>"), std::string::npos) << bytes;
}

TEST_F(DocumentTest, SelectionFromTheDocument) {
    auto doc = parse(L"<r a='1'><c>t</c><c>u</c></r>");
    ASSERT_TRUE(doc);
    XmlSmartPtr<TrelDOMNode> attribute(doc->selectNode(L"/r/@a"));
    ASSERT_TRUE(attribute);
    EXPECT_EQ(attribute->getType(), TREL_ATTRIBUTE_NODE);
    EXPECT_FALSE(XmlSmartPtr<TrelDOMElement>(doc->selectElement(L"/r/@a")));
    EXPECT_TRUE(XmlSmartPtr<TrelDOMAttribute>(doc->selectAttribute(L"/r/@a")));
    EXPECT_EQ(str(doc->getText(L"/r/c[2]")), L"u");
    EXPECT_EQ(str(doc->getText(L"/r/@a")), L"1");
    EXPECT_EQ(str(doc->getText(L"/r/none")), L"(null)");
    EXPECT_FALSE(XmlSmartPtr<TrelDOMNode>(doc->selectNode(L"/nothing")));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMNode>(doc->selectNode(nullptr)));
}

TEST_F(DocumentTest, FailedLoadsReportFalse) {
    auto doc = newDocument();
    ASSERT_TRUE(doc);
    EXPECT_FALSE(doc->load(file("missing.xml").c_str()));
    EXPECT_FALSE(doc->load(nullptr));
    writeBytes(dir() / "bad.xml", "<r><a></r>");
    EXPECT_FALSE(doc->load(file("bad.xml").c_str()));
    EXPECT_FALSE(doc->loadXML(L""));
    EXPECT_FALSE(doc->loadXML(L"<r>"));
    EXPECT_FALSE(doc->loadXML(nullptr));

    // A good load replaces whatever was there.
    writeBytes(dir() / "good.xml", "<first/>");
    ASSERT_TRUE(doc->load(file("good.xml").c_str()));
    ASSERT_TRUE(doc->loadXML(L"<second/>"));
    EXPECT_EQ(str(rootOf(doc)->getTag()), L"second");
}

TEST_F(DocumentTest, LoadingDropsIndentationButKeepsPreservedSpace) {
    writeBytes(dir() / "indented.xml",
               "<r>\n  <a>x</a>\n  <b xml:space='preserve'>\n    <c/>\n  </b>\n</r>\n");
    XmlSmartPtr<TrelDOMDocument> doc(factory()->createDocument(file("indented.xml").c_str()));
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    XmlSmartPtr<TrelDOMElement> first(root->getFirstChild());
    ASSERT_TRUE(first) << "white space between tags is not a first child";
    EXPECT_EQ(str(first->getTag()), L"a");
    EXPECT_EQ(str(at(root, L"b")->getText()), L"\n    ");
}

TEST_F(DocumentTest, ExternalEntitiesAreNotReadByDefault) {
    writeBytes(dir() / "secret.txt", "SECRET");
    std::string const xml = "<!DOCTYPE r [<!ENTITY s SYSTEM \"" + (dir() / "secret.txt").string() +
                            "\">]><r>&s;</r>";
    writeBytes(dir() / "xxe.xml", xml);
    auto doc = newDocument();
    ASSERT_TRUE(doc);
    if (doc->load(file("xxe.xml").c_str())) {
        std::wstring const text = textOf(doc);
        EXPECT_EQ(text.find(L"SECRET"), std::wstring::npos) << text;
    }
}

TEST_F(DocumentTest, EntityBombFailsCleanly) {
    std::string bomb = "<!DOCTYPE r [<!ENTITY a0 \"xxxxxxxxxx\">";
    for (int i = 1; i < 10; ++i) {
        bomb += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) bomb += "&a" + std::to_string(i - 1) + ";";
        bomb += "\">";
    }
    bomb += "]><r>&a9;</r>";
    writeBytes(dir() / "bomb.xml", bomb);
    auto doc = newDocument();
    ASSERT_TRUE(doc);
    EXPECT_FALSE(doc->load(file("bomb.xml").c_str()));
}

}  // namespace
}  // namespace msxmltest
