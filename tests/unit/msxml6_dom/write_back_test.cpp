// What the DOM lets in can be written and read back: characters and markup
// refused where they enter, prefixes bound, namespaces kept by removed
// subtrees, and saves that fail (keeping the old file) when the declared
// encoding cannot carry the document.
#include "dom_fixture.h"

using namespace domtest;

#define EXPECT_FAILED_HR(expr) EXPECT_TRUE(FAILED(expr))

namespace {

HRESULT saveTo(IXMLDOMDocument3* doc, std::filesystem::path const& path) {
    Arg p(wide(path));
    return doc->save(textVariant(p));
}

// A document holding a declaration with `encoding` and the root `root`.
ComPtr<IXMLDOMDocument3> declared(std::wstring const& encoding, std::wstring const& root) {
    auto doc = newDocument();
    Arg target(L"xml"), data(L"version='1.0' encoding='" + encoding + L"'"), name(root);
    ComPtr<IXMLDOMProcessingInstruction> decl;
    EXPECT_EQ(S_OK, doc->createProcessingInstruction(target, data, decl.put()));
    ComPtr<IXMLDOMElement> element;
    EXPECT_EQ(S_OK, doc->createElement(name, element.put()));
    ComPtr<IXMLDOMNode> out;
    EXPECT_EQ(S_OK, doc->appendChild(decl.get(), out.put()));
    EXPECT_EQ(S_OK, doc->appendChild(element.get(), out.put()));
    return doc;
}

TEST(WriteBack, CharacterDataXmlCannotHoldIsRefused) {
    auto doc = parse(L"<r a='v'>t<!--c--><?p d?></r>");
    auto root = rootOf(doc.get());
    for (std::wstring bad : {std::wstring(L"a\x01"), std::wstring(L"\x0B"), std::wstring(L"x\xFFFE"),
                             std::wstring(L"\xFFFF")}) {
        Arg text(bad);
        ComPtr<IXMLDOMText> t;
        EXPECT_EQ(E_INVALIDARG, doc->createTextNode(text, t.put()));
        Arg name(L"a");
        EXPECT_FAILED_HR(root->setAttribute(name, textVariant(text)));
        EXPECT_FAILED_HR(select(root.get(), L"text()")->put_nodeValue(textVariant(text)));
        EXPECT_FAILED_HR(select(root.get(), L"@a")->put_nodeValue(textVariant(text)));
    }
    // Comments and PIs take nothing that would end them early.
    for (wchar_t const* bad : {L"a--b", L"ends-"}) {
        Arg text(bad);
        ComPtr<IXMLDOMComment> c;
        EXPECT_EQ(E_INVALIDARG, doc->createComment(text, c.put()));
        EXPECT_FAILED_HR(select(root.get(), L"comment()")->put_nodeValue(textVariant(text)));
    }
    Arg target(L"p"), data(L"a?>b");
    ComPtr<IXMLDOMProcessingInstruction> pi;
    EXPECT_EQ(E_INVALIDARG, doc->createProcessingInstruction(target, data, pi.put()));
    EXPECT_EQ(L"<r a=\"v\">t<!--c--><?p d?></r>", xmlOf(root.get()));
}

TEST(WriteBack, PrefixesBindWhereTheyAreDeclared) {
    auto doc = parse(L"<r><s xmlns:p='urn:p'/></r>");
    auto root = rootOf(doc.get());
    Arg xmlnsName(L"xmlns:x"), prefixed(L"p:x");
    ComPtr<IXMLDOMElement> refused, loose;
    EXPECT_FAILED_HR(doc->createElement(xmlnsName, refused.put()));
    ASSERT_EQ(S_OK, doc->createElement(prefixed, loose.put()));
    ComPtr<IXMLDOMNode> out;
    EXPECT_EQ(E_INVALIDARG, root->appendChild(loose.get(), out.put())) << "p is not declared on r";
    Arg attr(L"p:a"), one(L"1");
    EXPECT_EQ(E_INVALIDARG, root->setAttribute(attr, textVariant(one)));
    ASSERT_EQ(S_OK, select(root.get(), L"s")->appendChild(loose.get(), out.put()));
    BSTR uri = nullptr;
    ASSERT_EQ(S_OK, loose->get_namespaceURI(&uri));
    EXPECT_EQ(L"urn:p", take(uri));
    EXPECT_EQ(S_OK, loose->setAttribute(attr, textVariant(one)));
    EXPECT_EQ(L"<r><s xmlns:p=\"urn:p\"><p:x p:a=\"1\"/></s></r>", xmlOf(root.get()));
    // A declaration takes in what it covers, as reading the output would.
    auto nested = parse(L"<r xmlns:p='urn:1'><c><p:x p:a='1'/></c><p:y/></r>");
    ASSERT_EQ(S_OK, element(rootOf(nested.get()).get(), L"c")->setAttribute(Arg(L"xmlns:p"), textVariant(Arg(L"urn:2"))));
    for (auto [path, expected] : {std::pair{L"c/*", L"urn:2"}, std::pair{L"c/*/@*", L"urn:2"}, std::pair{L"*[2]", L"urn:1"}}) {
        ASSERT_EQ(S_OK, select(rootOf(nested.get()).get(), path)->get_namespaceURI(&uri));
        EXPECT_EQ(expected, take(uri)) << path;
    }
    // Bound late, p:a and q:a may turn out to be one name: then nothing is written.
    auto same = parse(L"<r xmlns:p='urn:u' xmlns:q='urn:u'/>");
    ComPtr<IXMLDOMElement> e;
    ASSERT_EQ(S_OK, same->createElement(Arg(L"e"), e.put()));
    EXPECT_EQ(S_OK, e->setAttribute(attr, textVariant(one)));
    EXPECT_EQ(S_OK, e->setAttribute(Arg(L"q:a"), textVariant(one)));
    ASSERT_EQ(S_OK, rootOf(same.get())->appendChild(e.get(), out.put()));
    TempDir dir;
    Arg path(wide(dir / "out.xml"));
    EXPECT_FAILED_HR(same->save(textVariant(path)));
    BSTR xml = nullptr;
    EXPECT_FAILED_HR(same->get_xml(&xml));
}

// Removing p:b and then the declaration of p from its old parent leaves b
// with a declaration of its own.
TEST(WriteBack, RemovedSubtreeKeepsItsNamespaces) {
    auto doc = parse(L"<r xmlns:p='urn:p'><p:b p:a='1'><p:c/></p:b></r>");
    auto root = rootOf(doc.get());
    ComPtr<IXMLDOMNode> b = select(root.get(), L"*");
    ComPtr<IXMLDOMNode> gone;
    ASSERT_EQ(S_OK, root->removeChild(b.get(), gone.put()));
    Arg decl(L"xmlns:p");
    ASSERT_EQ(S_OK, root->removeAttribute(decl));
    EXPECT_EQ(L"<r/>", xmlOf(root.get()));
    BSTR uri = nullptr;
    ASSERT_EQ(S_OK, b->get_namespaceURI(&uri));
    EXPECT_EQ(L"urn:p", take(uri));
    EXPECT_EQ(L"<p:b xmlns:p=\"urn:p\" p:a=\"1\"><p:c/></p:b>", xmlOf(b.get()));
    // A removed attribute keeps its prefix in its name.
    auto again = parse(L"<r xmlns:p='urn:p' p:a='1'/>");
    auto r = rootOf(again.get());
    Arg attr(L"p:a");
    ComPtr<IXMLDOMAttribute> a;
    ASSERT_EQ(S_OK, r->getAttributeNode(attr, a.put()));
    ASSERT_EQ(S_OK, r->removeAttribute(attr));
    ASSERT_EQ(S_OK, r->removeAttribute(decl));
    EXPECT_EQ(L"p:a", nameOf(a.get()));
}

TEST(WriteBack, SavesInAnEncodingThatCannotCarryTheDocumentFail) {
    TempDir dir;
    auto target = dir / "out.xml";
    writeFile(target, "<old/>");
    for (wchar_t const* encoding : {L"UTF-7", L"UTF-32", L"UTF-32LE", L"EBCDIC-US"})
        EXPECT_FAILED_HR(saveTo(declared(encoding, L"r").get(), target)) << encoding;
    // Latin-1: texts and values take references, names and CDATA cannot.
    EXPECT_FAILED_HR(saveTo(declared(L"ISO-8859-1", L"\x6F22").get(), target));
    auto cdata = parse(L"<?xml version='1.0' encoding='ISO-8859-1'?><r><![CDATA[\x6F22]]></r>");
    EXPECT_FAILED_HR(saveTo(cdata.get(), target));
    EXPECT_EQ("<old/>", readFile(target));
    auto fine = parse(L"<?xml version='1.0' encoding='US-ASCII'?><r a='\x6F22'>\x1F600<![CDATA[a]]></r>");
    ASSERT_EQ(S_OK, saveTo(fine.get(), target));
    auto back = newDocument();
    ASSERT_TRUE(loadFile(back.get(), wide(target)));
    EXPECT_EQ(L"\x1F600" L"a", textOf(rootOf(back.get()).get()));
    VARIANT value;
    ASSERT_EQ(S_OK, rootOf(back.get())->getAttribute(Arg(L"a"), &value));
    EXPECT_EQ(L"\x6F22", take(value.bstrVal));
    for (wchar_t const* encoding : {L"UTF-16BE", L"UTF-16LE", L"windows-1252"}) {
        ASSERT_EQ(S_OK, saveTo(declared(encoding, L"\xE9").get(), target)) << encoding;
        ASSERT_TRUE(loadFile(back.get(), wide(target))) << encoding;
        EXPECT_EQ(L"\xE9", nameOf(rootOf(back.get()).get())) << encoding;
    }
    // Nothing at all to read back: no root element.
    EXPECT_FAILED_HR(saveTo(newDocument().get(), target));
}

}  // namespace
