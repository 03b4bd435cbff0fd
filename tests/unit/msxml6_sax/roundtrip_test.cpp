// DOM document -> SAX reader -> writer -> text -> DOM document: the tree
// comes back unchanged, indented or not; and the writer's direct tree path
// writes exactly what the event path writes. (Encoded output: the writer
// tests; into files: the object model's indented save.)
#include <random>

#include "sax_fixture.h"

using namespace saxtest;

namespace {

std::wstring write(IUnknown* doc, bool indent, bool direct) {
    auto reader = newReader();
    auto writer = writerFor(reader.get(), indent, direct);
    if (!direct) {  // a separate lexical handler: the general event path
        auto forward = Recorder::create();
        forward->forward = query<ISAXLexicalHandler>(writer.get(), IID_ISAXLexicalHandler);
        reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER,
                            objectVariant(static_cast<ISAXLexicalHandler*>(forward.get()), VT_UNKNOWN));
    }
    EXPECT_EQ(S_OK, parseNode(reader.get(), doc));
    return outputOf(writer.get());
}

// A random document with everything that can go wrong in a rewrite: mixed
// content in any order, white space, preserved white space, CDATA,
// comments, PIs, escapes, namespaces, empty elements.
class RandomDocument {
public:
    explicit RandomDocument(unsigned seed) : rng_(seed) {}

    std::string make() {
        std::string s = "<r xmlns:p='urn:p'" + std::string(pick(2) ? " xmlns='urn:d'" : "") + ">";
        children(s, 0);
        return s + "</r>";
    }

private:
    unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }
    template <size_t N>
    char const* any(char const* const (&pool)[N]) {
        return pool[pick(N)];
    }

    void children(std::string& s, int depth) {
        static char const* const texts[] = {
            "x",           " spaced  out ", "a&amp;b", "&lt;t&gt;", "\t", "\xC3\xA9\xE2\x82\xAC",
            "line\nbreak", "cr&#xD;",       "q\"'",    "]]&gt;"};
        static char const* const blanks[] = {"  ", "\n\t", " \n  "};
        unsigned n = pick(5);
        for (unsigned i = 0; i < n; ++i) {
            switch (pick(depth < 5 ? 8 : 5)) {
            case 0: s += any(texts); break;
            case 1: s += any(blanks); break;
            case 2: s += "<![CDATA[" + std::string(pick(2) ? "c<&" : "") + "]]>"; break;
            case 3: s += pick(2) ? "<!--n-->" : "<?pi d?>"; break;
            case 4: s += "<e/>"; break;
            default: element(s, depth + 1); break;
            }
        }
    }

    void element(std::string& s, int depth) {
        static char const* const names[] = {"a", "b", "p:c", "d"};
        static char const* const values[] = {"1", "&quot;q&quot;", "t&#x9;l&#xA;n", "&lt;&amp;&gt;", ""};
        std::string name = any(names);
        s += "<" + name;
        if (pick(6) == 0) s += " xml:space='preserve'";
        if (pick(8) == 0) s += " xmlns=''";
        for (unsigned k = pick(3); k > 0; --k) s += " " + std::string(k == 1 ? "p:k" : "k") + "='" + any(values) + "'";
        s += ">";
        children(s, depth);
        s += "</" + name + ">";
    }

    std::mt19937 rng_;
};

constexpr wchar_t const* kRich =
    L"<?xml version='1.0'?><!--lead--><?app go?>"
    L"<r xmlns='urn:d' xmlns:p='urn:p' p:id='7' note='a&amp;b &lt;c&gt; &quot;d&quot; t&#x9;l&#xA;n&#xD;'>"
    L"<empty/><p:text>hello &lt;world&gt; \u00e9\u20ac\U0001D11E</p:text>"
    L"<mixed>a <b>bold</b> c</mixed><late><x/>tail</late>"
    L"<pre xml:space='preserve'>  <a> <b/> </a>  </pre>"
    L"<cd><![CDATA[x<y]]></cd><bare xmlns=''><in/></bare>"
    L"<deep><d1><d2><d3><d4>end</d4></d3></d2></d1></deep><!--tail--></r>";

// Written both ways, indented and flat: the texts agree and read back as
// the tree.
void expectRoundTrip(std::wstring const& xml) {
    auto doc = parse(xml);
    ASSERT_TRUE(doc);
    std::string const original = dump(doc.get());
    for (bool indent : {true, false}) {
        std::wstring direct = write(doc.get(), indent, true);
        EXPECT_EQ(direct, write(doc.get(), indent, false)) << narrow(xml);
        auto again = parse(direct);
        ASSERT_TRUE(again) << narrow(direct);
        EXPECT_EQ(original, dump(again.get())) << narrow(xml) << "\n" << narrow(direct);
    }
}

TEST(RoundTrip, RichAndRandomDocumentsComeBackUnchangedAndBothPathsAgree) {
    expectRoundTrip(kRich);
    for (unsigned seed = 1; seed <= 150; ++seed) expectRoundTrip(wide(RandomDocument(seed).make()));
}

}  // namespace

TEST(RoundTrip, WithoutLexicalHandlerCommentsGoAndCdataBecomesText) {
    auto doc = parse(L"<r><!--c--><![CDATA[a<b]]></r>");
    auto reader = newReader();
    auto writer = writerFor(reader.get(), false, false);
    ASSERT_EQ(S_OK, parseNode(reader.get(), doc.get()));
    EXPECT_EQ(kDecl + L"<r>a&lt;b</r>", outputOf(writer.get()));
}

// Indentation stops growing at 32 tabs; the text still reads back as the tree.
TEST(RoundTrip, IndentationStopsGrowingAt32Levels) {
    std::wstring xml;
    for (int i = 0; i < 200; ++i) xml += L"<e>";
    for (int i = 0; i < 200; ++i) xml += L"</e>";
    expectRoundTrip(xml);
    std::wstring text = write(parse(xml).get(), true, true);
    EXPECT_NE(std::wstring::npos, text.find(L"\n" + std::wstring(32, L'\t') + L"<e/>"));
    EXPECT_EQ(std::wstring::npos, text.find(std::wstring(33, L'\t')));
}
