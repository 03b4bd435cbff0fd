// Document wrappers: declarations, comments and loading.
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
    std::string const bytes = readFile(dir() / "decl.xml");
    EXPECT_NE(bytes.find(std::string("e\0n\0c\0o\0d\0i\0n\0g\0", 16)), std::string::npos) << "UTF-16 output";
    XmlSmartPtr<TrelDOMDocument> reloaded(factory()->createDocument(file("decl.xml").c_str()));
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(str(rootOf(reloaded)->getTag()), L"r");
}

TEST_F(DocumentTest, LoadingDropsIndentationButKeepsPreservedSpace) {
    writeFile(dir() / "indented.xml",
               "<r>\n  <a>x</a>\n  <b xml:space='preserve'>\n    <c/>\n  </b>\n</r>\n");
    XmlSmartPtr<TrelDOMDocument> doc(factory()->createDocument(file("indented.xml").c_str()));
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    XmlSmartPtr<TrelDOMElement> first(root->getFirstChild());
    ASSERT_TRUE(first) << "white space between tags is not a first child";
    EXPECT_EQ(str(first->getTag()), L"a");
    EXPECT_EQ(str(at(root, L"b")->getText()), L"\n    ");
}

}  // namespace
}  // namespace msxmltest
