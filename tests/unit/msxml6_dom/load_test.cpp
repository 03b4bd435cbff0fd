// Loading: the white-space rule, namespaces as attributes, parse errors,
// and hostile input that must fail or stay inert.
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

TEST_F(Hostile, AbsurdNestingFails) {
    std::string deep;
    for (unsigned i = 0; i <= mx::kMaxTreeDepth; ++i) deep += "<a>";
    for (unsigned i = 0; i <= mx::kMaxTreeDepth; ++i) deep += "</a>";
    writeFile(dir_ / "deep.xml", deep);
    auto doc = newDocument();
    EXPECT_FALSE(loadFile(doc.get(), wide(dir_ / "deep.xml")));
    ComPtr<IXMLDOMParseError> error;
    doc->get_parseError(error.put());
    BSTR reason = nullptr;
    error->get_reason(&reason);
    EXPECT_NE(std::wstring::npos, take(reason).find(L"nested deeper"));
}

// Text handed out as BSTR is sized before it is decoded: the length must
// match the decoded text exactly, for clean, mixed and malformed UTF-8.
TEST(Text, BstrFromUtf8MatchesTheDecodedTextExactly) {
    std::string const inputs[] = {
        "",
        "plain ascii longer than eight bytes",
        "abcdefgh\xC3\xA9xyz",            // multi-byte right after an ASCII word
        "\xF0\x9F\x98\x80 and \xE2\x82\xAC",  // 4- and 3-byte sequences
        "ab\xE2\x82",                      // truncated at the end
        "\x80\xBF lone continuations",
        "\xC0\xAF overlong, \xED\xA0\x80 surrogate, \xF5\x80\x80\x80 too large",
        std::string("nul\0inside", 11),
    };
    for (std::string const& in : inputs) {
        std::wstring const expected = mx::toWide(in.data(), in.size());
        BSTR b = mx::bstrFromUtf8(in.data(), in.size());
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(SysStringLen(b), expected.size()) << in;
        EXPECT_EQ(std::wstring(b, SysStringLen(b)), expected) << in;
        EXPECT_EQ(b[SysStringLen(b)], L'\0');
        SysFreeString(b);
    }
    EXPECT_EQ(mx::toWide("caf\xC3\xA9"), L"caf\u00E9");
}

// Attribute values: the plain single-text case and the ones built from
// references or left empty read the same as their source.
TEST(Text, AttributeValuesReadAsWritten) {
    auto doc = parse(L"<!DOCTYPE r [<!ENTITY e 'E'>]><r a='x&amp;y' b='' c='1&e;2' d='&#x20AC;'/>");
    auto r = rootOf(doc.get());
    ComPtr<IXMLDOMNamedNodeMap> map;
    ASSERT_EQ(S_OK, r->get_attributes(map.put()));
    std::wstring const names[] = {L"a", L"b", L"c", L"d"};
    std::wstring const values[] = {L"x&y", L"", L"1E2", L"\u20AC"};
    for (int i = 0; i < 4; ++i) {
        ComPtr<IXMLDOMNode> item;
        ASSERT_EQ(S_OK, map->getNamedItem(Arg(names[i]), item.put())) << i;
        VARIANT v;
        ASSERT_EQ(S_OK, item->get_nodeValue(&v));
        ASSERT_EQ(v.vt, VT_BSTR);
        EXPECT_EQ(std::wstring(v.bstrVal, SysStringLen(v.bstrVal)), values[i]);
        VariantClear(&v);
    }
}

}  // namespace
