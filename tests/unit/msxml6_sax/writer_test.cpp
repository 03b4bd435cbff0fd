// The XML writer: shapes, escaping, declarations, encodings, outputs.
#include "sax_fixture.h"

using namespace saxtest;

namespace {

using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

// The writer must take attributes from any implementation: a plain list
// of qualified names and values.
class ListAttributes final : public ISAXAttributes {
public:
    static ComPtr<ListAttributes> create(Pairs pairs) {
        auto* a = new ListAttributes;
        a->pairs_ = std::move(pairs);
        return ComPtr<ListAttributes>(a);
    }
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_ISAXAttributes) {
            *out = static_cast<ISAXAttributes*>(this);
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
    HRESULT getLength(int* n) override {
        *n = static_cast<int>(pairs_.size());
        return S_OK;
    }
    HRESULT getURI(int, wchar_t const** s, int* n) override { return give(L"", s, n); }
    HRESULT getLocalName(int i, wchar_t const** s, int* n) override { return getQName(i, s, n); }
    HRESULT getQName(int i, wchar_t const** s, int* n) override { return give(pairs_.at(size_t(i)).first, s, n); }
    HRESULT getIndexFromName(wchar_t const*, int, wchar_t const*, int, int*) override { return E_NOTIMPL; }
    HRESULT getIndexFromQName(wchar_t const*, int, int*) override { return E_NOTIMPL; }
    HRESULT getValue(int i, wchar_t const** s, int* n) override { return give(pairs_.at(size_t(i)).second, s, n); }
    HRESULT getValueFromName(wchar_t const*, int, wchar_t const*, int, wchar_t const**, int*) override {
        return E_NOTIMPL;
    }
    HRESULT getValueFromQName(wchar_t const*, int, wchar_t const**, int*) override { return E_NOTIMPL; }

private:
    ListAttributes() = default;
    ~ListAttributes() = default;
    static HRESULT give(std::wstring const& v, wchar_t const** s, int* n) {
        *s = v.data();
        *n = static_cast<int>(v.size());
        return S_OK;
    }
    Pairs pairs_;
    ULONG refs_ = 0;
};

// Drives a writer through its handler interfaces.
class Feed {
public:
    explicit Feed(IMXWriter* writer)
        : content_(query<ISAXContentHandler>(writer, IID_ISAXContentHandler)),
          lexical_(query<ISAXLexicalHandler>(writer, IID_ISAXLexicalHandler)) {}

    HRESULT startDocument() { return content_->startDocument(); }
    HRESULT endDocument() { return content_->endDocument(); }
    HRESULT start(std::wstring const& qname, Pairs const& attrs = {}) {
        auto list = ListAttributes::create(attrs);
        return content_->startElement(L"", 0, qname.data(), int(qname.size()), qname.data(), int(qname.size()),
                                      list.get());
    }
    HRESULT end(std::wstring const& qname) {
        return content_->endElement(L"", 0, qname.data(), int(qname.size()), qname.data(), int(qname.size()));
    }
    HRESULT text(std::wstring const& s) { return content_->characters(s.data(), int(s.size())); }
    HRESULT prefix(std::wstring const& p, std::wstring const& uri) {
        return content_->startPrefixMapping(p.data(), int(p.size()), uri.data(), int(uri.size()));
    }
    HRESULT cdata(std::vector<std::wstring> const& pieces) {
        HRESULT hr = lexical_->startCDATA();
        for (auto const& p : pieces) hr = FAILED(hr) ? hr : text(p);
        return FAILED(hr) ? hr : lexical_->endCDATA();
    }
    HRESULT comment(std::wstring const& s) { return lexical_->comment(s.data(), int(s.size())); }
    HRESULT pi(std::wstring const& t, std::wstring const& d) {
        return content_->processingInstruction(t.data(), int(t.size()), d.data(), int(d.size()));
    }

private:
    ComPtr<ISAXContentHandler> content_;
    ComPtr<ISAXLexicalHandler> lexical_;
};

ComPtr<IMXWriter> stringWriter(bool indent = false) {
    auto w = newWriter();
    Variant empty;
    w->put_output(empty.get());
    w->put_indent(indent ? VARIANT_TRUE : VARIANT_FALSE);
    return w;
}

// XML text through the reader into a writer collecting a string.
std::wstring rewrite(std::wstring const& xml, bool indent) {
    auto reader = newReader();
    auto writer = writerFor(reader.get(), indent);
    EXPECT_EQ(S_OK, parseText(reader.get(), xml));
    return outputOf(writer.get());
}

std::vector<std::string> reparse(std::wstring const& xml, std::string const& kind) {
    auto reader = newReader();
    auto rec = record(reader.get());
    EXPECT_EQ(S_OK, parseText(reader.get(), xml)) << narrow(xml);
    return rec->matching(kind);
}

constexpr wchar_t const* kDecl = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

}  // namespace

// ---- shapes -----------------------------------------------------------------------------

TEST(WriterShape, IndentedElementContentFlatLeavesAndEmptyElements) {
    std::wstring in = L"<r><a><b/></a><t>x</t><m>a<b>c</b>d</m><e></e><!--c--><?p d?></r>";
    EXPECT_EQ(std::wstring(kDecl) +
                  L"<r>\n\t<a>\n\t\t<b/>\n\t</a>\n\t<t>x</t>\n\t<m>a<b>c</b>d</m>\n\t<e/>\n\t<!--c-->\n\t<?p d?>\n</r>\n",
              rewrite(in, true));
    EXPECT_EQ(std::wstring(kDecl) + L"<r><a><b/></a><t>x</t><m>a<b>c</b>d</m><e/><!--c--><?p d?></r>",
              rewrite(in, false));
}

TEST(WriterShape, MixedContentIsNeverReflowed) {
    // The subtree of an element with text is written as it is, markup and all.
    EXPECT_EQ(std::wstring(kDecl) + L"<r>\n\t<p>x <b><i>y</i><j/></b> z</p>\n</r>\n",
              rewrite(L"<r><p>x <b><i>y</i><j/></b> z</p></r>", true));
    // Text after element children (a stream gives no warning): nothing more
    // is added in that element, only white space the loader drops again.
    EXPECT_EQ(std::wstring(kDecl) + L"<r>\n\t<m>\n\t\t<b>x</b>tail<c/></m>\n</r>\n",
              rewrite(L"<r><m><b>x</b>tail<c/></m></r>", true));
    // White space of the input is content and stays.
    EXPECT_EQ(std::wstring(kDecl) + L"<r>\n  <a/>\n</r>\n", rewrite(L"<r>\n  <a/>\n</r>", true));
    EXPECT_EQ(std::wstring(kDecl) + L"<r>\n\t<s xml:space=\"preserve\"><a><b/></a></s>\n</r>\n",
              rewrite(L"<r><s xml:space='preserve'><a><b/></a></s></r>", true));
}

TEST(WriterShape, TopLevelNodesAndDoctype) {
    EXPECT_EQ(std::wstring(kDecl) + L"<!DOCTYPE r SYSTEM \"r.dtd\">\n<!--a-->\n<r/>\n<?z?>\n",
              rewrite(L"<!DOCTYPE r SYSTEM 'r.dtd'><!--a--><r/><?z?>", true));
    EXPECT_EQ(std::wstring(kDecl) + L"<!DOCTYPE r PUBLIC \"-//p\" \"r.dtd\"><r/>",
              rewrite(L"<!DOCTYPE r PUBLIC '-//p' 'r.dtd' [<!-- inside -->]><r/>", false));
}

// ---- escaping ---------------------------------------------------------------------------

TEST(WriterEscaping, TextAndAttributeValuesSurviveReparsing) {
    std::wstring nasty = L"a&b<c>d\"e'f\r\tg\nh]]>i\u0085j\u00e9\U0001D11E";
    auto w = stringWriter();
    Feed f(w.get());
    f.startDocument();
    f.start(L"r", {{L"v", nasty}});
    f.text(nasty);
    f.end(L"r");
    f.endDocument();
    std::wstring out = outputOf(w.get());
    EXPECT_NE(std::wstring::npos, out.find(L"v=\"a&amp;b&lt;c&gt;d&quot;e'f&#xD;&#x9;g&#xA;h]]&gt;i&#x85;j\u00e9"));
    EXPECT_NE(std::wstring::npos, out.find(L">a&amp;b&lt;c&gt;d\"e'f&#xD;\tg\nh]]&gt;i&#x85;j\u00e9"));
    std::string expected = narrow(nasty);
    EXPECT_EQ((std::vector<std::string>{"start |r|r @|v|v=" + expected}), reparse(out, "start "));
    EXPECT_EQ((std::vector<std::string>{"chars " + expected}), reparse(out, "chars"));
}

TEST(WriterEscaping, CharactersXmlCannotHoldAreReplaced) {
    auto w = stringWriter();
    Feed f(w.get());
    f.start(L"r", {{L"v", std::wstring(L"a\x01" L"b\uFFFE", 4)}});
    f.text(std::wstring(L"x\0y\x1Fz\uFFFF", 6));
    f.end(L"r");
    std::wstring out = outputOf(w.get());
    EXPECT_EQ((std::vector<std::string>{"start |r|r @|v|v=a\xEF\xBF\xBD" "b\xEF\xBF\xBD"}), reparse(out, "start "));
    EXPECT_EQ((std::vector<std::string>{"chars x\xEF\xBF\xBDy\xEF\xBF\xBDz\xEF\xBF\xBD"}), reparse(out, "chars"));
}

TEST(WriterEscaping, CdataTerminatorIsSplitEvenAcrossCalls) {
    auto w = stringWriter();
    Feed f(w.get());
    f.start(L"r");
    f.cdata({L"a]]>b]", L"]", L">c]]"});
    f.end(L"r");
    std::wstring out = outputOf(w.get());
    EXPECT_EQ(std::wstring::npos, out.find(L"]]>b"));
    std::string all;
    for (auto const& c : reparse(out, "chars")) all += c.substr(6);
    EXPECT_EQ("a]]>b]]>c]]", all);
}

TEST(WriterEscaping, CommentsAndProcessingInstructionsStayWellFormed) {
    auto w = stringWriter();
    Feed f(w.get());
    f.start(L"r");
    f.comment(L"a--b---c-");
    f.pi(L"t", L"x?>y");
    f.end(L"r");
    std::wstring out = outputOf(w.get());
    auto comments = reparse(out, "comment");
    ASSERT_EQ(1u, comments.size());
    EXPECT_EQ(std::string::npos, comments[0].find("--"));
    EXPECT_EQ((std::vector<std::string>{"pi t|x? >y"}), reparse(out, "pi"));
}

TEST(WriterEscaping, DisabledEscapingWritesTextAsGiven) {
    auto w = stringWriter();
    w->put_disableOutputEscaping(VARIANT_TRUE);
    Feed f(w.get());
    f.start(L"r", {{L"a", L"<"}});
    f.text(L"<b>&amp;</b>");
    f.end(L"r");
    EXPECT_EQ(std::wstring(kDecl) + L"<r a=\"&lt;\"><b>&amp;</b></r>", outputOf(w.get()));
}

// ---- namespaces -------------------------------------------------------------------------

TEST(WriterNamespaces, PrefixMappingsBecomeDeclarationsOnce) {
    auto w = stringWriter();
    Feed f(w.get());
    f.prefix(L"p", L"urn:p");
    f.prefix(L"", L"urn:d");
    f.start(L"p:r", {{L"xmlns:p", L"urn:p"}, {L"p:a", L"1"}});  // declared twice: written once
    f.prefix(L"", L"");
    f.start(L"e");
    f.end(L"e");
    f.end(L"p:r");
    EXPECT_EQ(std::wstring(kDecl) + L"<p:r xmlns:p=\"urn:p\" xmlns=\"urn:d\" p:a=\"1\"><e xmlns=\"\"/></p:r>",
              outputOf(w.get()));
}

// ---- declaration and encodings --------------------------------------------------------------

TEST(WriterDeclaration, NamesEncodingAndStandaloneOrIsLeftOut) {
    auto w = stringWriter();
    w->put_encoding(bstr(L"utf-16").get());
    w->put_standalone(VARIANT_TRUE);
    Feed f(w.get());
    f.startDocument();
    f.start(L"r");
    f.end(L"r");
    f.endDocument();
    EXPECT_EQ(L"<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"yes\"?>\n<r/>", outputOf(w.get()));

    auto bare = stringWriter();
    bare->put_omitXMLDeclaration(VARIANT_TRUE);
    Feed g(bare.get());
    g.startDocument();
    g.start(L"r");
    g.end(L"r");
    g.endDocument();
    EXPECT_EQ(L"<r/>", outputOf(bare.get()));

    BSTR name = nullptr;
    EXPECT_EQ(S_OK, w->get_encoding(&name));
    EXPECT_EQ(std::wstring(L"UTF-16"), name);
    SysFreeString(name);
    EXPECT_EQ(E_INVALIDARG, w->put_encoding(bstr(L"ISO-8859-1").get()));
}

TEST(WriterEncoding, StreamsGetUtf16WithByteOrderMarkOrUtf8) {
    auto run = [](wchar_t const* encoding, bool bom) {
        auto stream = MemoryStream::create();
        auto w = newWriter();
        Variant out = Variant::object(static_cast<IStream*>(stream.get()));
        EXPECT_EQ(S_OK, w->put_output(out.get()));
        w->put_encoding(bstr(encoding).get());
        if (!bom) w->put_byteOrderMark(VARIANT_FALSE);
        Feed f(w.get());
        f.startDocument();
        f.start(L"r");
        f.text(L"\u00e9\U0001D11E");
        f.end(L"r");
        EXPECT_EQ(S_OK, f.endDocument());
        return stream->data;
    };
    std::string utf16 = run(L"UTF-16", true);
    ASSERT_GE(utf16.size(), 6u);
    EXPECT_EQ(std::string("\xFF\xFE<\0?\0", 6), utf16.substr(0, 6));
    EXPECT_NE(std::string::npos, utf16.find(std::string(">\0\xE9\0\x34\xD8\x1E\xDD<\0", 10)));
    EXPECT_EQ(std::string("<\0", 2), run(L"UTF-16", false).substr(0, 2));
    std::string utf8 = run(L"UTF-8", true);
    EXPECT_EQ(narrow(std::wstring(kDecl) + L"<r>\u00e9\U0001D11E</r>"), utf8);

    // What was written loads back.
    auto reader = newReader();
    auto rec = record(reader.get());
    EXPECT_EQ(S_OK, parseBytes(reader.get(), utf16));
    EXPECT_EQ((std::vector<std::string>{"chars \xC3\xA9\xF0\x9D\x84\x9E"}), rec->matching("chars"));
}

TEST(WriterOutput, StreamFailureIsReportedAndStreamIsHandedBack) {
    auto stream = MemoryStream::create();
    stream->writeLimit = 100;
    auto w = newWriter();
    Variant out = Variant::object(static_cast<IStream*>(stream.get()));
    ASSERT_EQ(S_OK, w->put_output(out.get()));
    Variant back;
    ASSERT_EQ(S_OK, w->get_output(back.out()));
    EXPECT_EQ(VT_UNKNOWN, back.get().vt);
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<IStream*>(stream.get())), back.get().punkVal);

    auto reader = newReader();
    auto content = query<ISAXContentHandler>(w.get(), IID_ISAXContentHandler);
    reader->putContentHandler(content.get());
    std::string big = "<r>" + std::string(1 << 20, 'x') + "</r>";
    EXPECT_EQ(STG_E_MEDIUMFULL, parseBytes(reader.get(), big));
}

TEST(WriterOutput, NewOutputStartsAfreshAndBadOutputsAreRefused) {
    auto w = stringWriter();
    Feed f(w.get());
    f.start(L"a");
    f.end(L"a");
    Variant empty;
    w->put_output(empty.get());
    f.start(L"b");
    f.end(L"b");
    EXPECT_EQ(std::wstring(kDecl) + L"<b/>", outputOf(w.get()));
    Variant text = Variant::text(L"x");
    EXPECT_EQ(E_INVALIDARG, w->put_output(text.get()));
    auto reader = newReader();  // an object that is no stream
    Variant notStream = Variant::object(reader.get());
    EXPECT_EQ(E_INVALIDARG, w->put_output(notStream.get()));
    auto content = query<ISAXContentHandler>(w.get(), IID_ISAXContentHandler);
    EXPECT_TRUE(FAILED(content->endElement(L"", 0, L"z", 1, L"z", 1)));  // nothing open
}
