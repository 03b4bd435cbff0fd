// The XML writer: shapes, escaping, namespaces, encodings, outputs.
#include "sax_fixture.h"

using namespace saxtest;

namespace {

// XML text through the reader into a writer collecting a string.
std::wstring rewrite(std::wstring const& xml, bool indent) {
    auto reader = newReader();
    auto writer = writerFor(reader.get(), indent);
    EXPECT_EQ(S_OK, parseText(reader.get(), xml));
    return outputOf(writer.get());
}

Events reparse(std::wstring const& xml, std::string const& kind) {
    auto reader = newReader();
    auto rec = record(reader.get());
    EXPECT_EQ(S_OK, parseText(reader.get(), xml)) << narrow(xml);
    return rec->matching(kind);
}

}  // namespace

TEST(WriterShape, IndentedElementContentFlatLeavesAndEmptyElements) {
    std::wstring in = L"<r><a><b/></a><t>x</t><m>a<b>c</b>d</m><e></e><!--c--><?p d?></r>";
    EXPECT_EQ(
        kDecl + L"<r>\n\t<a>\n\t\t<b/>\n\t</a>\n\t<t>x</t>\n\t<m>a<b>c</b>d</m>\n\t<e/>\n\t<!--c-->\n\t<?p d?>\n</r>\n",
        rewrite(in, true));
    EXPECT_EQ(kDecl + L"<r><a><b/></a><t>x</t><m>a<b>c</b>d</m><e/><!--c--><?p d?></r>", rewrite(in, false));
}

TEST(WriterShape, MixedContentIsNeverReflowed) {
    // The subtree of an element with text is written as it is, markup and all.
    EXPECT_EQ(kDecl + L"<r>\n\t<p>x <b><i>y</i><j/></b> z</p>\n</r>\n",
              rewrite(L"<r><p>x <b><i>y</i><j/></b> z</p></r>", true));
    // Text after element children (a stream gives no warning): nothing more
    // is added in that element, only white space the loader drops again.
    EXPECT_EQ(kDecl + L"<r>\n\t<m>\n\t\t<b>x</b>tail<c/></m>\n</r>\n",
              rewrite(L"<r><m><b>x</b>tail<c/></m></r>", true));
    // From a tree the writer knows the whole element: written inline.
    auto doc = parse(L"<r><m><b>x</b>tail</m><n><i/><j/></n></r>");
    auto reader = newReader();
    auto writer = writerFor(reader.get(), true);
    ASSERT_EQ(S_OK, parseNode(reader.get(), doc.get()));
    EXPECT_EQ(kDecl + L"<r>\n\t<m><b>x</b>tail</m>\n\t<n>\n\t\t<i/>\n\t\t<j/>\n\t</n>\n</r>\n", outputOf(writer.get()));
    // White space of the input is content and stays.
    EXPECT_EQ(kDecl + L"<r>\n  <a/>\n</r>\n", rewrite(L"<r>\n  <a/>\n</r>", true));
    EXPECT_EQ(kDecl + L"<r>\n\t<s xml:space=\"preserve\"><a><b/></a></s>\n</r>\n",
              rewrite(L"<r><s xml:space='preserve'><a><b/></a></s></r>", true));
}

TEST(WriterEscaping, TextAndAttributeValuesSurviveReparsing) {
    std::wstring attr = L"a&amp;b&lt;c&gt;d&quot;e'f&#xD;&#x9;g&#xA;h]]&gt;i&#x85;j\u00e9\U0001D11E";
    std::wstring text = L"a&amp;b&lt;c&gt;d\"e'f&#xD;\tg\nh]]&gt;i&#x85;j\u00e9\U0001D11E";
    std::wstring out = rewrite(L"<r v=\"" + attr + L"\">" + text + L"</r>", false);
    EXPECT_NE(std::wstring::npos, out.find(L"v=\"" + attr));
    EXPECT_NE(std::wstring::npos, out.find(L">" + text));
    std::string expected = "a&b<c>d\"e'f\r\tg\nh]]>i\xC2\x85j\xC3\xA9\xF0\x9D\x84\x9E";
    EXPECT_EQ((Events{"start |r|r @|v|v=" + expected}), reparse(out, "start "));
    EXPECT_EQ((Events{"chars " + expected}), reparse(out, "chars"));
}

// Prefix mappings become declarations.
TEST(WriterShape, NamespaceDeclarationsComeFromPrefixMappings) {
    EXPECT_EQ(kDecl + L"<p:r xmlns:p=\"urn:p\" xmlns=\"urn:d\" p:a=\"1\"><e xmlns=\"\"/></p:r>",
              rewrite(L"<p:r xmlns:p='urn:p' xmlns='urn:d' p:a='1'><e xmlns=''/></p:r>", false));
}

TEST(WriterEncoding, StreamsGetUtf16WithByteOrderMarkAndUtf8) {
    auto run = [](wchar_t const* encoding) {
        auto stream = MemoryStream::create();
        auto reader = newReader();
        auto w = writerFor(reader.get(), false);
        EXPECT_EQ(S_OK, w->put_output(streamVariant(stream.get())));
        w->put_encoding(Arg(encoding));
        EXPECT_EQ(S_OK, parseText(reader.get(), L"<r>\u00e9\U0001D11E</r>"));
        return stream->data;
    };
    std::string utf16 = run(L"UTF-16");
    ASSERT_GE(utf16.size(), 6u);
    EXPECT_EQ(std::string("\xFF\xFE<\0?\0", 6), utf16.substr(0, 6));
    EXPECT_NE(std::string::npos, utf16.find(std::string(">\0\xE9\0\x34\xD8\x1E\xDD<\0", 10)));
    std::string utf8 = run(L"UTF-8");
    EXPECT_EQ(narrow(kDecl + L"<r>\u00e9\U0001D11E</r>"), utf8);

    // What was written loads back.
    auto reader = newReader();
    auto rec = record(reader.get());
    EXPECT_EQ(S_OK, parseBytes(reader.get(), utf16));
    EXPECT_EQ((Events{"chars \xC3\xA9\xF0\x9D\x84\x9E"}), rec->matching("chars"));
}

TEST(WriterOutput, StreamFailureIsReportedAndStreamIsHandedBack) {
    auto stream = MemoryStream::create();
    stream->writeLimit = 100;
    auto w = newWriter();
    ASSERT_EQ(S_OK, w->put_output(streamVariant(stream.get())));
    VARIANT back;
    ASSERT_EQ(S_OK, w->get_output(&back));
    EXPECT_TRUE(back.vt == VT_UNKNOWN && back.punkVal == static_cast<IStream*>(stream.get()));
    VariantClear(&back);

    auto reader = newReader();
    reader->putContentHandler(query<ISAXContentHandler>(w.get(), IID_ISAXContentHandler).get());
    std::string big = "<r>" + std::string(1 << 20, 'x') + "</r>";
    EXPECT_EQ(STG_E_MEDIUMFULL, parseBytes(reader.get(), big));
}
