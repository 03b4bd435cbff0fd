// Loading: the white-space rule, namespaces as attributes, parse errors,
// text as it reads back, and hostile input that must fail or stay inert.
#include "tests/unit/common/engine_objects.h"

using namespace enginetest;

namespace {

TEST(Load, WhiteSpaceOnlyTextIsDroppedOutsidePreserveScopes) {
    auto doc = parse(
        L"<r>\n  <a> </a>\n  <b xml:space='preserve'>  <c/> <d xml:space='default'> <e/> </d></b>\n"
        L"  <f>x <g/> </f>\n  <h>\n   &amp;  </h></r>");
    auto r = rootOf(doc.get());
    // Blank text next to non-blank text is part of that text node.
    for (auto [path, names] :
         {std::pair{L".", L"a b f h"}, {L"a", L""}, {L"b", L"#text c #text d"}, {L"b/d", L"e"}, {L"f", L"#text g"}})
        EXPECT_EQ(names, childNames(select(r.get(), path).get())) << path;
    EXPECT_EQ(L"x ", textOf(select(r.get(), L"f/text()").get()));
    EXPECT_EQ(L"\n   &  ", textOf(select(r.get(), L"h").get()));
}

TEST(Load, NamespaceDeclarationsAreListedAsAttributes) {
    auto doc = parse(L"<r xmlns='urn:d' xmlns:p='urn:p' a='1' p:b='2'><p:c/><e/></r>");
    auto r = rootOf(doc.get());
    ComPtr<IXMLDOMNamedNodeMap> map;
    ASSERT_EQ(S_OK, r->get_attributes(map.put()));
    std::wstring names;
    ComPtr<IXMLDOMNode> item;
    for (long i = 0; map->get_item(i, item.put()) == S_OK; ++i)
        names += nameOf(item.get()) + L"=" + textOf(item.get()) + L";";
    EXPECT_EQ(L"xmlns=urn:d;xmlns:p=urn:p;a=1;p:b=2;", names);
    EXPECT_EQ(S_FALSE, map->getNamedItem(Arg(L"b"), item.put()));  // the qualified name is p:b
    ASSERT_EQ(S_OK, map->getNamedItem(Arg(L"p:b"), item.put()));
    EXPECT_EQ(L"urn:p", uriOf(item.get()));
    // Unprefixed XPath names match no-namespace elements only.
    EXPECT_FALSE(select(r.get(), L"e"));
    EXPECT_TRUE(select(r.get(), L"*[local-name()='e']"));
}

TEST(Load, ParseErrorGivesFirstErrorWithPosition) {
    auto doc = parse(L"<r/>");
    long code = 0, line = 0, column = 0;
    auto position = [&] {
        ComPtr<IXMLDOMParseError> error;
        doc->get_parseError(error.put());
        error->get_errorCode(&code), error->get_line(&line), error->get_linepos(&column);
        return std::to_wstring(code != 0) + L"@" + std::to_wstring(line) + L":" + std::to_wstring(column);
    };
    EXPECT_FALSE(loadXML(doc.get(), L"<r>\n  <a>text</b>\n  <c></r>"));
    EXPECT_FALSE(rootOf(doc.get()));  // a failed load leaves the document empty
    EXPECT_EQ(L"1@2:14", position());
    std::wstring const text = parseReason(doc.get());
    EXPECT_NE(std::wstring::npos, text.find(L"mismatch")) << mx::toUtf8(text.c_str());
    EXPECT_NE(L'\n', text.back());
    // Unpaired surrogates fail with the parser's own position.
    for (wchar_t const* bad : {L"<r>a\xD800</r>", L"<r a='\xDC00'/>", L"<r/><!--\xDFFF-->"})
        EXPECT_FALSE(loadXML(doc.get(), bad));
    EXPECT_EQ(L"1@1:", position().substr(0, 4));
    EXPECT_GT(column, 4);
    EXPECT_TRUE(loadXML(doc.get(), L"<r a='\xE9\x1F600'>\xFFFD</r>"));
    EXPECT_EQ(L"0@0:0", position());
}

// Text handed out as BSTR is sized before it is decoded: the length must
// match the decoded text exactly, for clean, mixed and malformed UTF-8.
TEST(Text, BstrFromUtf8MatchesTheDecodedTextExactly) {
    std::string const inputs[] = {
        "",
        "plain ascii longer than eight bytes",
        "abcdefgh\xC3\xA9xyz",                // multi-byte right after an ASCII word
        "\xF0\x9F\x98\x80 and \xE2\x82\xAC",  // 4- and 3-byte sequences
        "ab\xE2\x82",                         // truncated at the end
        "\x80\xBF lone continuations",
        "\xC0\xAF overlong, \xED\xA0\x80 surrogate, \xF5\x80\x80\x80 too large",
        std::string("nul\0inside", 11),
    };
    for (std::string const& in : inputs) {
        BSTR b = mx::bstrFromUtf8(in.data(), in.size());
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b[SysStringLen(b)], L'\0');
        EXPECT_EQ(take(b), mx::toWide(in.data(), in.size())) << in;
    }
    EXPECT_EQ(mx::toWide("caf\xC3\xA9"), L"caf\u00E9");
}

// Attribute values built from references or left empty read as their source.
TEST(Text, AttributeValuesReadAsWritten) {
    auto doc = parse(L"<!DOCTYPE r [<!ENTITY e 'E'>]><r a='x&amp;y' b='' c='1&e;2' d='&#x20AC;'/>");
    for (auto [name, value] : {std::pair{L"a", L"x&y"}, {L"b", L""}, {L"c", L"1E2"}, {L"d", L"\u20AC"}}) {
        VARIANT v;
        ASSERT_EQ(S_OK, select(rootOf(doc.get()).get(), std::wstring(L"@") + name)->get_nodeValue(&v));
        ASSERT_EQ(v.vt, VT_BSTR);
        EXPECT_EQ(take(v.bstrVal), value);
    }
}

// Namespace names are any XML text, not only URIs: one holding markup
// characters or line ends reads back unchanged from get_xml and from a saved
// file; non-characters never enter.
TEST(Text, NamespaceNamesWithMarkupRoundTrip) {
    auto withNamespace = [](std::wstring const& name) {
        auto doc = newDocument();
        auto e = createElement(doc.get(), L"p:e", name);
        return e && append(doc.get(), e.get()) ? doc : ComPtr<IXMLDOMDocument3>();
    };
    EXPECT_FALSE(withNamespace(L"a\xFFFE"));
    EXPECT_FALSE(withNamespace(L"a\x01"));
    std::wstring const name = L"x<y&z\t1\n2\r3 \"'>";
    auto doc = withNamespace(name);
    ASSERT_TRUE(doc);
    auto fromText = parse(xmlOf(doc.get()));
    ASSERT_TRUE(fromText);
    EXPECT_EQ(name, uriOf(rootOf(fromText.get()).get()));
    EXPECT_EQ(name, uriOf(rootOf(doc.get()).get())) << "writing changed the document";
    TempDir dir;
    ASSERT_EQ(S_OK, saveTo(doc.get(), dir / "ns.xml"));
    auto fromFile = newDocument();
    ASSERT_TRUE(loadFile(fromFile.get(), dir.file("ns.xml")));
    EXPECT_EQ(name, uriOf(rootOf(fromFile.get()).get()));
}

// ---- hostile input: what XML forbids fails wherever it sits, from files
// and from text; nothing outside the document is read -------------------------

TEST(Refusal, NulsEntityBombsAndAbsurdNestingFail) {
    using namespace std::string_literals;
    TempDir dir;
    std::string deep;  // in process: the parse keeps no stack per level
    for (unsigned i = 0; i <= mx::kMaxTreeDepth; ++i) deep += "<a>";
    for (unsigned i = 0; i <= mx::kMaxTreeDepth; ++i) deep += "</a>";
    for (std::string const& bytes : {"<r/>\0junk"s, "<a/>\0<b/>"s, "<r>a\0b</r>"s, "<r/>\n\0"s, "\0<r/>"s, laughs(),
                                     quadratic(false), quadratic(true), deep}) {
        auto doc = newDocument();
        EXPECT_FALSE(loadFile(doc.get(), dir.write("in.xml", bytes))) << bytes.substr(0, 20);
        EXPECT_FALSE(loadXML(newDocument().get(), mx::toWide(bytes.data(), bytes.size()))) << bytes.substr(0, 20);
        EXPECT_TRUE(bytes != deep || parseReason(doc.get()).find(L"nested deeper") != std::wstring::npos);
    }
    // Sizes beyond the parser's defaults read back.
    std::string const big(11 * 1000 * 1000, 'y'), name(60000, 'n');
    EXPECT_TRUE(loadFile(newDocument().get(),
                         dir.write("big.xml", "<" + name + " a='" + big + "'>" + big + "</" + name + ">")));
}

TEST(Refusal, ExternalEntitiesAndDtdsStayUnreadButDeclaredDefaultsApply) {
    TempDir dir;
    dir.write("ext.dtd", "<!ATTLIST r outside CDATA 'read'>");
    dir.write("secret.txt", "TOP-SECRET");
    std::string const xxe =
        "<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + (dir / "secret.txt").string() + "'>]><r>[&x;]</r>";
    std::string const text =
        "<!DOCTYPE r SYSTEM 'ext.dtd' [<!ATTLIST r a CDATA 'dflt' b CDATA #FIXED 'fx'>]><r a='own'/>";
    auto doc = newDocument();
    ASSERT_TRUE(loadFile(doc.get(), dir.write("in.xml", text)));
    EXPECT_EQ(L"<r a=\"own\" b=\"fx\"/>", xmlOf(rootOf(doc.get()).get()));
    ASSERT_TRUE(loadXML(doc.get(), mx::toWide(text.c_str())));
    EXPECT_EQ(L"<r a=\"own\" b=\"fx\"/>", xmlOf(rootOf(doc.get()).get()));
    auto leaked = [&] { return textOf(rootOf(doc.get()).get()).find(L"TOP-SECRET") != std::wstring::npos; };
    EXPECT_FALSE(loadXML(doc.get(), mx::toWide(xxe.c_str())) && leaked());
    EXPECT_FALSE(loadFile(doc.get(), dir.write("xxe.xml", xxe)) && leaked());
}

}  // namespace
