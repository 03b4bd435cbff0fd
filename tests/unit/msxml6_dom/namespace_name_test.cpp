// Namespace names are any XML text, as the writer accepts them: they need
// not be URIs, and one holding markup characters or line ends reads back
// unchanged from get_xml and from a saved file.
#include "dom_fixture.h"

using namespace domtest;

namespace {

std::wstring uriOf(IXMLDOMNode* node) {
    BSTR s = nullptr;
    node->get_namespaceURI(&s);
    return take(s);
}

ComPtr<IXMLDOMDocument3> documentWithNamespace(std::wstring const& name) {
    auto doc = newDocument();
    ComPtr<IXMLDOMNode> element, appended;
    Arg tag(L"p:e"), uri(name);
    if (FAILED(doc->createNode(intVariant(NODE_ELEMENT), tag, uri, element.put())) ||
        FAILED(doc->appendChild(element.get(), appended.put())))
        return {};
    return doc;
}

}  // namespace

TEST(NamespaceNames, TextThatIsNoUriLoads) {
    for (wchar_t const* text : {L"<p:r xmlns:p='a b'/>", L"<r xmlns='\u00e9t\u00e9'/>", L"<r xmlns='x&amp;y&lt;z'/>",
                                L"<r xmlns='#'><p:e xmlns:p='../rel'/></r>"})
        EXPECT_TRUE(loadXML(newDocument().get(), text)) << testing::PrintToString(mx::toUtf8(text));
}

TEST(NamespaceNames, MarkupCharactersAndLineEndsReadBack) {
    std::wstring const name = L"x<y&z\t1\n2\r3 \"'>";
    auto doc = documentWithNamespace(name);
    ASSERT_TRUE(doc);

    auto fromText = newDocument();
    ASSERT_TRUE(loadXML(fromText.get(), xmlOf(doc.get())));
    EXPECT_EQ(name, uriOf(rootOf(fromText.get()).get()));
    EXPECT_EQ(name, uriOf(rootOf(doc.get()).get())) << "the save changed the document";

    TempDir dir;
    Arg path(wide(dir / "ns.xml"));
    ASSERT_EQ(S_OK, doc->save(textVariant(path)));
    auto fromFile = newDocument();
    ASSERT_TRUE(loadFile(fromFile.get(), wide(dir / "ns.xml")));
    EXPECT_EQ(name, uriOf(rootOf(fromFile.get()).get()));
}

TEST(NamespaceNames, NonCharactersNeverEnter) {
    EXPECT_FALSE(documentWithNamespace(L"a\xFFFE"));
    EXPECT_FALSE(documentWithNamespace(L"a\x01"));
}
