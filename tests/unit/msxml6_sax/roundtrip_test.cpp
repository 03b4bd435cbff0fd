// DOM document -> SAX reader -> writer -> text -> DOM document: the tree
// comes back unchanged, indented or not, in either encoding; and the
// writer's direct tree path writes exactly what the event path writes.
#include "sax_fixture.h"

using namespace saxtest;

namespace {

// Forwards lexical events to the writer: as a separate object it makes the
// reader take the general event path instead of the writer's direct one.
class ForwardingLexical final : public ISAXLexicalHandler {
public:
    static ComPtr<ForwardingLexical> create(IMXWriter* writer) {
        auto* f = new ForwardingLexical;
        f->to_ = query<ISAXLexicalHandler>(writer, IID_ISAXLexicalHandler);
        return ComPtr<ForwardingLexical>(f);
    }
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_ISAXLexicalHandler) {
            *out = static_cast<ISAXLexicalHandler*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT startDTD(wchar_t const* a, int b, wchar_t const* c, int d, wchar_t const* e, int f) override {
        return to_->startDTD(a, b, c, d, e, f);
    }
    HRESULT endDTD() override { return to_->endDTD(); }
    HRESULT startEntity(wchar_t const* n, int l) override { return to_->startEntity(n, l); }
    HRESULT endEntity(wchar_t const* n, int l) override { return to_->endEntity(n, l); }
    HRESULT startCDATA() override { return to_->startCDATA(); }
    HRESULT endCDATA() override { return to_->endCDATA(); }
    HRESULT comment(wchar_t const* c, int n) override { return to_->comment(c, n); }

private:
    ForwardingLexical() = default;
    ~ForwardingLexical() = default;
    ComPtr<ISAXLexicalHandler> to_;
    ULONG refs_ = 0;
};

std::wstring write(IUnknown* doc, bool indent, bool direct) {
    auto reader = newReader();
    auto writer = writerFor(reader.get(), indent, direct);
    if (!direct) {
        auto forward = ForwardingLexical::create(writer.get());
        Variant v = Variant::object(forward.get());
        reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER, v.get());
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
        static char const* const texts[] = {"x", " spaced  out ", "a&amp;b", "&lt;t&gt;", "\t", "\xC3\xA9\xE2\x82\xAC",
                                            "line\nbreak", "cr&#xD;", "q\"'", "]]&gt;"};
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

}  // namespace

TEST(RoundTrip, RichDocumentThroughStringsIndentedAndFlat) {
    auto doc = loadDocument(kRich);
    ASSERT_TRUE(doc);
    std::string original = dump(doc.get());
    for (bool indent : {true, false}) {
        std::wstring text = write(doc.get(), indent, true);
        auto again = loadDocument(text);
        ASSERT_TRUE(again);
        EXPECT_EQ(original, dump(again.get())) << narrow(text);
    }
}

TEST(RoundTrip, RichDocumentThroughFilesInBothEncodings) {
    TempDir dir;
    auto doc = loadDocument(kRich);
    ASSERT_TRUE(doc);
    std::string original = dump(doc.get());
    for (wchar_t const* encoding : {L"UTF-8", L"UTF-16"}) {
        for (bool indent : {true, false}) {
            std::string path = (dir / "out.xml").string();
            {
                ComPtr<IStream> stream;
                ASSERT_EQ(S_OK, SHCreateStreamOnFileW(wide(path).c_str(), STGM_CREATE | STGM_WRITE, stream.put()));
                auto reader = newReader();
                auto writer = writerFor(reader.get(), indent);
                Variant out = Variant::object(stream.get());
                ASSERT_EQ(S_OK, writer->put_output(out.get()));
                writer->put_standalone(VARIANT_TRUE);
                ASSERT_EQ(S_OK, writer->put_encoding(bstr(encoding).get()));
                ASSERT_EQ(S_OK, parseNode(reader.get(), doc.get()));
                ASSERT_EQ(S_OK, writer->flush());
                ASSERT_EQ(S_OK, stream->Commit(STGC_DEFAULT));  // only then is the file there
            }
            std::string bytes = readFile(path);
            bool utf16 = std::wstring(encoding) == L"UTF-16";
            EXPECT_EQ(utf16 ? std::string("\xFF\xFE<\0", 4) : std::string("<?xm"), bytes.substr(0, 4));
            auto again = loadFile(path);
            ASSERT_TRUE(again);
            EXPECT_EQ(original, dump(again.get())) << narrow(encoding) << (indent ? " indented" : " flat");
        }
    }
}

TEST(RoundTrip, RandomDocumentsComeBackUnchangedAndBothPathsAgree) {
    for (unsigned seed = 1; seed <= 150; ++seed) {
        std::string xml = RandomDocument(seed).make();
        auto doc = loadDocument(wide(xml));
        ASSERT_TRUE(doc) << xml;
        std::string original = dump(doc.get());
        for (bool indent : {true, false}) {
            std::wstring direct = write(doc.get(), indent, true);
            EXPECT_EQ(direct, write(doc.get(), indent, false)) << xml;
            auto again = loadDocument(direct);
            ASSERT_TRUE(again) << narrow(direct);
            EXPECT_EQ(original, dump(again.get())) << xml << "\n" << narrow(direct);
        }
    }
}

TEST(RoundTrip, MixedContentAfterAnElementIsWrittenInline) {
    auto doc = loadDocument(L"<r><m><b>x</b>tail</m><n><i/><j/></n></r>");
    ASSERT_TRUE(doc);
    EXPECT_EQ(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n\t<m><b>x</b>tail</m>\n\t<n>\n\t\t<i/>\n\t\t<j/>\n\t</n>\n</r>\n",
              write(doc.get(), true, true));
}

TEST(RoundTrip, WithoutLexicalHandlerCommentsGoAndCdataBecomesText) {
    auto doc = loadDocument(L"<r><!--c--><![CDATA[a<b]]></r>");
    ASSERT_TRUE(doc);
    auto reader = newReader();
    auto writer = writerFor(reader.get(), false, false);
    ASSERT_EQ(S_OK, parseNode(reader.get(), doc.get()));
    EXPECT_EQ(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>a&lt;b</r>", outputOf(writer.get()));
}

TEST(RoundTrip, DeepTreesDoNotExhaustTheStack) {
    std::wstring xml;
    for (int i = 0; i < 200; ++i) xml += L"<e>";
    for (int i = 0; i < 200; ++i) xml += L"</e>";
    auto doc = loadDocument(xml);
    ASSERT_TRUE(doc);
    std::wstring text = write(doc.get(), true, true);
    // Indentation stops growing at 32 tabs.
    EXPECT_NE(std::wstring::npos, text.find(L"\n" + std::wstring(32, L'\t') + L"<e/>"));
    EXPECT_EQ(std::wstring::npos, text.find(std::wstring(33, L'\t')));
    auto again = loadDocument(text);
    ASSERT_TRUE(again);
    EXPECT_EQ(dump(doc.get()), dump(again.get()));
}
