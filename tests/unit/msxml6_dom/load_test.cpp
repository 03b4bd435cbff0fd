// Loading: the white-space rule, namespaces as attributes, parse errors,
// file names, and hostile input that must fail or stay inert.
#include "dom_fixture.h"

using namespace domtest;

namespace {

TEST(Load, WhiteSpaceOnlyTextIsDroppedOutsidePreserveScopes) {
    auto doc = parse(
        L"<r>\n  <a> </a>\n  <b xml:space='preserve'>  <c/> <d xml:space='default'> <e/> </d></b>\n"
        L"  <f>x <g/> </f>\n  <h>\n   &amp;  </h></r>");
    auto r = rootOf(doc.get());
    EXPECT_EQ(L"a b f h", childNames(r.get()));
    EXPECT_EQ(L"", childNames(element(r.get(), L"a").get()));
    EXPECT_EQ(L"#text c #text d", childNames(element(r.get(), L"b").get()));
    EXPECT_EQ(L"e", childNames(element(r.get(), L"b/d").get()));
    // Blank text next to non-blank text is part of that text node.
    EXPECT_EQ(L"#text g", childNames(element(r.get(), L"f").get()));
    EXPECT_EQ(L"x ", textOf(select(r.get(), L"f/text()").get()));
    EXPECT_EQ(L"\n   &  ", textOf(element(r.get(), L"h").get()));
}

TEST(Load, PreserveWhiteSpaceKeepsEverything) {
    auto doc = newDocument();
    doc->put_preserveWhiteSpace(VARIANT_TRUE);
    ASSERT_TRUE(loadXML(doc.get(), L"<r>\n <a> </a>\n</r>"));
    auto r = rootOf(doc.get());
    EXPECT_EQ(L"#text a #text", childNames(r.get()));
    EXPECT_EQ(L"#text", childNames(element(r.get(), L"a").get()));
}

TEST(Load, NamespaceDeclarationsAreListedAsAttributes) {
    auto doc = parse(L"<r xmlns='urn:d' xmlns:p='urn:p' a='1' p:b='2'><p:c/><e/></r>");
    auto r = rootOf(doc.get());
    ComPtr<IXMLDOMNamedNodeMap> map;
    ASSERT_EQ(S_OK, r->get_attributes(map.put()));
    long n = 0;
    map->get_length(&n);
    ASSERT_EQ(4, n);
    std::wstring names;
    for (long i = 0; i < n; ++i) {
        ComPtr<IXMLDOMNode> item;
        ASSERT_EQ(S_OK, map->get_item(i, item.put()));
        DOMNodeType type;
        item->get_nodeType(&type);
        EXPECT_EQ(NODE_ATTRIBUTE, type);
        names += nameOf(item.get()) + L"=" + textOf(item.get()) + L";";
    }
    EXPECT_EQ(L"xmlns=urn:d;xmlns:p=urn:p;a=1;p:b=2;", names);

    ComPtr<IXMLDOMNode> missing;
    EXPECT_EQ(S_FALSE, map->getNamedItem(Arg(L"b"), missing.put()));  // the qualified name is p:b
    ComPtr<IXMLDOMNode> pb;
    ASSERT_EQ(S_OK, map->getNamedItem(Arg(L"p:b"), pb.put()));
    BSTR uri = nullptr;
    EXPECT_EQ(S_OK, pb->get_namespaceURI(&uri));
    EXPECT_EQ(L"urn:p", take(uri));

    ComPtr<IXMLDOMNode> a;
    map->getNamedItem(Arg(L"a"), a.put());
    EXPECT_EQ(S_FALSE, a->get_namespaceURI(&uri));
    EXPECT_EQ(nullptr, uri);

    EXPECT_EQ(L"urn:d", [&] {
        BSTR s = nullptr;
        rootOf(doc.get())->get_namespaceURI(&s);
        return take(s);
    }());
    // Unprefixed XPath names match no-namespace elements only.
    EXPECT_FALSE(select(r.get(), L"e"));
    EXPECT_TRUE(select(r.get(), L"*[local-name()='e']"));
}

TEST(Load, ParseErrorGivesFirstErrorWithPosition) {
    auto doc = parse(L"<r/>");
    EXPECT_FALSE(loadXML(doc.get(), L"<r>\n  <a>text</b>\n  <c></r>"));
    EXPECT_FALSE(rootOf(doc.get()));  // a failed load leaves the document empty
    ComPtr<IXMLDOMParseError> error;
    ASSERT_EQ(S_OK, doc->get_parseError(error.put()));
    long code = 0, line = 0, column = 0;
    error->get_errorCode(&code);
    error->get_line(&line);
    error->get_linepos(&column);
    BSTR reason = nullptr;
    error->get_reason(&reason);
    std::wstring text = take(reason);
    EXPECT_NE(0, code);
    EXPECT_EQ(2, line);
    EXPECT_EQ(14, column);
    EXPECT_NE(std::wstring::npos, text.find(L"mismatch")) << mx::toUtf8(text.c_str());
    EXPECT_NE(L'\n', text.back());

    ASSERT_TRUE(loadXML(doc.get(), L"<ok/>"));
    doc->get_parseError(error.put());
    error->get_errorCode(&code);
    EXPECT_EQ(0, code);
}

TEST(Load, EmptyTextAndUndeclaredPrefixesFail) {
    auto doc = newDocument();
    EXPECT_FALSE(loadXML(doc.get(), L""));
    EXPECT_FALSE(loadXML(doc.get(), L"<p:r/>"));
}

TEST(Load, FileNamesAreTakenLiterallyAndFileUrlsDecoded) {
    TempDir dir;
    auto file = dir / "a b%20c \xC3\xA9.xml";
    writeFile(file, "<?xml version='1.0' encoding='ISO-8859-1'?><r>caf\xE9</r>");
    auto doc = newDocument();
    ASSERT_TRUE(loadFile(doc.get(), wide(file)));
    EXPECT_EQ(L"caf\u00e9", textOf(rootOf(doc.get()).get()));

    std::wstring url = L"file://" + wide(dir.path()) + L"/a%20b%2520c%20%C3%A9.xml";
    ASSERT_TRUE(loadFile(doc.get(), url));
    EXPECT_EQ(L"r", nameOf(rootOf(doc.get()).get()));

    EXPECT_FALSE(loadFile(doc.get(), wide(dir / "missing.xml")));
    EXPECT_FALSE(loadFile(doc.get(), L"http://127.0.0.1:9/r.xml"));
}

TEST(Load, CompressedFilesAreNotDecompressed) {
    TempDir dir;
    // "<r/>" gzip-compressed.
    static unsigned char const gz[] = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xff, 0xb3, 0x29,
                                       0xd2, 0xb7, 0x03, 0x00, 0xfd, 0x01, 0xb1, 0x1f, 0x04, 0x00, 0x00, 0x00};
    writeFile(dir / "r.xml", std::string(reinterpret_cast<char const*>(gz), sizeof gz));
    auto doc = newDocument();
    EXPECT_FALSE(loadFile(doc.get(), wide(dir / "r.xml")));
}

// ---- hostile input ----------------------------------------------------------------

class Hostile : public ::testing::Test {
protected:
    void SetUp() override { writeFile(secret_, "TOP-SECRET"); }
    std::string xxe() const {
        return "<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret_.string() + "'>]><r>[&x;]</r>";
    }
    TempDir dir_;
    std::filesystem::path secret_ = dir_ / "secret.txt";
};

TEST_F(Hostile, ExternalEntityIsNotReadByDefault) {
    auto doc = newDocument();
    if (loadXML(doc.get(), mx::toWide(xxe().c_str()))) {
        std::wstring text = textOf(rootOf(doc.get()).get());
        EXPECT_EQ(std::wstring::npos, text.find(L"TOP-SECRET"));
    }
    writeFile(dir_ / "doc.xml", xxe());
    if (loadFile(doc.get(), wide(dir_ / "doc.xml"))) {
        EXPECT_EQ(std::wstring::npos, textOf(rootOf(doc.get()).get()).find(L"TOP-SECRET"));
    }
}

TEST_F(Hostile, ResolveExternalsReadsLocalFilesOnly) {
    auto doc = newDocument();
    doc->put_resolveExternals(VARIANT_TRUE);
    ASSERT_TRUE(loadXML(doc.get(), mx::toWide(xxe().c_str())));
    EXPECT_EQ(L"[TOP-SECRET]", textOf(rootOf(doc.get()).get()));
    // Never the network, even when externals are allowed.
    if (loadXML(doc.get(), L"<!DOCTYPE r [<!ENTITY x SYSTEM 'http://127.0.0.1:9/x'>]><r>[&x;]</r>")) {
        EXPECT_EQ(L"[]", textOf(rootOf(doc.get()).get()));
    }
}

TEST_F(Hostile, ExternalDtdIsNotLoadedByDefault) {
    std::filesystem::create_directory(dir_ / "sub dir");
    auto file = dir_ / "sub dir" / "doc.xml";
    writeFile(dir_ / "sub dir" / "ext.dtd", "<!ENTITY e 'from-dtd'>");
    writeFile(file, "<!DOCTYPE r SYSTEM 'ext.dtd'><r>&e;</r>");
    auto doc = newDocument();
    if (loadFile(doc.get(), wide(file))) {
        EXPECT_EQ(L"", textOf(rootOf(doc.get()).get()));
    }
    doc->put_resolveExternals(VARIANT_TRUE);  // relative to the document, in a folder with a space
    ASSERT_TRUE(loadFile(doc.get(), wide(file)));
    EXPECT_EQ(L"from-dtd", textOf(rootOf(doc.get()).get()));
}

TEST_F(Hostile, EntityBombsFail) {
    std::string laughs = "<!DOCTYPE r [<!ENTITY a0 'lol'>";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY a" + std::to_string(i) + " '" + [&] {
            std::string s;
            for (int k = 0; k < 10; ++k) s += "&a" + std::to_string(i - 1) + ";";
            return s;
        }() + "'>";
    laughs += "]><r>&a9;</r>";
    auto doc = newDocument();
    EXPECT_FALSE(loadXML(doc.get(), mx::toWide(laughs.c_str())));

    // Quadratic blow-up: one large entity referenced many times.
    std::string big(50000, 'x');
    std::string quadratic = "<!DOCTYPE r [<!ENTITY a '" + big + "'>]><r>";
    for (int i = 0; i < 20000; ++i) quadratic += "&a;";
    quadratic += "</r>";
    EXPECT_FALSE(loadXML(doc.get(), mx::toWide(quadratic.c_str())));
}

TEST_F(Hostile, AbsurdNestingFails) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    for (int i = 0; i < 100000; ++i) deep += "</a>";
    writeFile(dir_ / "deep.xml", deep);
    auto doc = newDocument();
    EXPECT_FALSE(loadFile(doc.get(), wide(dir_ / "deep.xml")));
    ComPtr<IXMLDOMParseError> error;
    doc->get_parseError(error.put());
    BSTR reason = nullptr;
    error->get_reason(&reason);
    EXPECT_NE(std::wstring::npos, take(reason).find(L"depth"));
}

TEST(Load, DtdValidationOnlyWhenAsked) {
    std::wstring text = L"<!DOCTYPE r [<!ELEMENT r (a)><!ELEMENT a EMPTY><!ELEMENT b EMPTY>]><r><b/></r>";
    auto doc = newDocument();
    EXPECT_TRUE(loadXML(doc.get(), text));
    doc->put_validateOnParse(VARIANT_TRUE);
    EXPECT_FALSE(loadXML(doc.get(), text));
    ComPtr<IXMLDOMParseError> error;
    doc->get_parseError(error.put());
    BSTR reason = nullptr;
    error->get_reason(&reason);
    EXPECT_NE(std::wstring::npos, take(reason).find(L"does not follow the DTD"));
    EXPECT_TRUE(loadXML(doc.get(), L"<!DOCTYPE r [<!ELEMENT r (a)><!ELEMENT a EMPTY>]><r><a/></r>"));
}

TEST(Load, ProhibitDtdRefusesAnyDoctype) {
    auto doc = newDocument();
    VARIANT on;
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    ASSERT_EQ(S_OK, doc->setProperty(Arg(L"ProhibitDTD"), on));
    EXPECT_FALSE(loadXML(doc.get(), L"<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e;</r>"));
    EXPECT_TRUE(loadXML(doc.get(), L"<r/>"));
}

}  // namespace
