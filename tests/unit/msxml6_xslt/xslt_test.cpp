// XSLT templates and processors seen through the COM surface: where results
// go and in what shape, what a transformation must not change, and what a
// style sheet may not do.
#include "fixture.h"

using namespace xt;

namespace {

std::wstring const kInput = L"<list><item>a</item><item>b</item></list>";

// Writes the result into a file through a stream; the file's bytes.
std::string transformToFile(std::wstring const& sheetText, IXMLDOMDocument3* input, TempDir const& dir) {
    auto processor = processorFor(sheetText, input);
    if (!processor) return "<no processor>";
    ComPtr<IStream> stream;
    if (FAILED(SHCreateStreamOnFileW(dir.file("out.xml").c_str(), STGM_CREATE | STGM_WRITE, stream.put())))
        return "<no stream>";
    VARIANT_BOOL done = VARIANT_FALSE;
    if (FAILED(processor->put_output(objectVariant(stream.get(), VT_UNKNOWN))) || FAILED(processor->transform(&done)) ||
        !done)
        return "<transform failed>";
    return readFile(dir / "out.xml");  // committed before transform returned
}

// The result document of a run, as XML; "<failed>" when the run fails.
std::wstring transformToString(IXSLProcessor* processor) {
    VARIANT_BOOL done = VARIANT_FALSE;
    auto result = newDocument();
    if (FAILED(processor->put_output(objectVariant(result.get()))) || FAILED(processor->transform(&done)) || !done)
        return L"<failed>";
    return xmlOf(result.get());
}

}  // namespace

TEST(XsltOutput, StreamFollowsXslOutput) {
    TempDir dir;
    auto input = parse(kInput);
    std::wstring const items = L"<xsl:template match='/'><r><xsl:for-each select='list/item'><e>\u00e9\u20ac<xsl:value-of "
                               L"select='.'/></e></xsl:for-each></r></xsl:template>";
    struct Case {
        std::wstring sheetBody;
        std::string expected;
    } const cases[] = {
        // Latin-1 bytes, a character reference for what Latin-1 lacks, two-space indentation.
        {L"<xsl:output encoding='ISO-8859-1' indent='yes'/>" + items,
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\n  <e>\xE9&#8364;a</e>\n  <e>\xE9&#8364;b</e>\n</r>\n"},
        {L"<xsl:output encoding='UTF-8'/>" + items,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><e>\xC3\xA9\xE2\x82\xAC" "a</e><e>\xC3\xA9\xE2\x82\xAC" "b</e></r>\n"},
        {L"<xsl:output method='text'/><xsl:template match='/'><xsl:for-each select='list/item'><xsl:value-of "
         L"select='.'/>,</xsl:for-each></xsl:template>",
         "a,b,"},
        {L"<xsl:output omit-xml-declaration='yes'/>" + items,
         "<r><e>\xC3\xA9\xE2\x82\xAC" "a</e><e>\xC3\xA9\xE2\x82\xAC" "b</e></r>\n"},
    };
    for (Case const& c : cases) EXPECT_EQ(transformToFile(sheet(c.sheetBody), input.get(), dir), c.expected);
}

TEST(XsltOutput, DocumentTargetIsReplacedByTheResult) {
    auto input = parse(kInput);
    auto target = parse(L"<old><stuff/></old>");
    auto processor = processorFor(
        sheet(L"<xsl:template match='/'><copy n='{count(//item)}'><xsl:copy-of select='list/item[2]'/></copy></xsl:template>"),
        input.get());
    ASSERT_TRUE(processor && target);
    ASSERT_EQ(processor->put_output(objectVariant(target.get())), S_OK);
    VARIANT_BOOL done = VARIANT_FALSE;
    ASSERT_EQ(processor->transform(&done), S_OK);
    EXPECT_EQ(done, VARIANT_TRUE);
    EXPECT_EQ(xmlOf(rootOf(target.get()).get()), L"<copy n=\"2\"><item>b</item></copy>");
    EXPECT_TRUE(select(target.get(), L"/copy/item")) << "the result is an ordinary document";
    ASSERT_EQ(processor->put_output(VARIANT{}), S_OK);
    EXPECT_EQ(processor->transform(&done), E_FAIL) << "no target, no run";
}

// A result holding a character XML forbids is no document: the run fails
// and the target file keeps what it had.
TEST(XsltOutput, CharactersXmlCannotHoldFailTheRun) {
    TempDir dir;
    auto input = parse(kInput);
    auto decoding = [](wchar_t const* encoded) {
        return sheet(L"<xsl:template match='/'><out><xsl:value-of select=\"str:decode-uri('" + std::wstring(encoded) +
                         L"')\"/></out></xsl:template>",
                     L"xmlns:str='http://exslt.org/strings'");
    };
    writeFile(dir / "out.xml", "<old/>");
    EXPECT_EQ(transformToFile(decoding(L"a%01b"), input.get(), dir), "<transform failed>");
    EXPECT_EQ(readFile(dir / "out.xml"), "<old/>");
    EXPECT_NE(transformToFile(decoding(L"a%41b"), input.get(), dir).find(">aAb</out>"), std::string::npos);
}

TEST(XsltIntegrity, InputAndSheetStayAsTheyWere) {
    for (wchar_t const* strip : {L"<!-- kept -->", L"<xsl:strip-space elements='*'/>"}) {
        auto input = newDocument();
        input->put_preserveWhiteSpace(VARIANT_TRUE);
        ASSERT_TRUE(loadXML(input.get(), L"<r>\n  <a> </a>\n  <b>x</b>\n</r>"));
        auto sheetDoc = parse(sheet(std::wstring(strip) + L"<xsl:template match='/'><n><xsl:value-of "
                                                          L"select='count(//text())'/></n><xsl:text> </xsl:text></xsl:template>"));
        std::wstring const inputBefore = xmlOf(input.get()), sheetBefore = xmlOf(sheetDoc.get());
        auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
        ASSERT_EQ(xslt->putref_stylesheet(sheetDoc.get()), S_OK);
        ComPtr<IXSLProcessor> processor;
        ASSERT_EQ(xslt->createProcessor(processor.put()), S_OK);
        ASSERT_EQ(processor->put_input(objectVariant(input.get())), S_OK);
        std::wstring const first = transformToString(processor.get());
        EXPECT_EQ(first, transformToString(processor.get())) << "a second run sees the same input";
        EXPECT_EQ(xmlOf(input.get()), inputBefore);
        EXPECT_EQ(xmlOf(sheetDoc.get()), sheetBefore);
    }
}

TEST(XsltExtensions, NodeSetAndExsltFunctionsWork) {
    auto input = parse(kInput);
    auto processor = processorFor(
        sheet(L"<xsl:variable name='v'><i>3</i><i>7</i></xsl:variable>"
              L"<xsl:template match='/'><r ms='{count(msxsl:node-set($v)/i)}' ex='{count(exsl:node-set($v)/i)}' "
              L"max='{math:max(msxsl:node-set($v)/i)}' up='{str:padding(3, \"-\")}'/></xsl:template>",
              L"xmlns:msxsl='urn:schemas-microsoft-com:xslt' xmlns:exsl='http://exslt.org/common' "
              L"xmlns:math='http://exslt.org/math' xmlns:str='http://exslt.org/strings' "
              L"exclude-result-prefixes='msxsl exsl math str'"),
        input.get());
    ASSERT_TRUE(processor);
    EXPECT_EQ(transformToString(processor.get()), L"<r ms=\"2\" ex=\"2\" max=\"7\" up=\"---\"/>\n");
}

// document() reads no file, exsl:document writes none, and sheets that
// import or include another file are refused.
TEST(XsltSecurity, NoFileIsReadOrWritten) {
    TempDir dir;
    std::wstring const secret = dir.write("secret.xml", "<secret>hunter2</secret>");
    std::wstring const other = dir.write("other.xsl", mx::toUtf8(sheet(L"").c_str()));
    auto input = parse(kInput);
    for (std::wstring const& uri : {secret, L"file://" + secret}) {
        auto processor = processorFor(
            sheet(L"<xsl:template match='/'><o><xsl:copy-of select=\"document('" + uri + L"')\"/></o></xsl:template>"),
            input.get());
        ASSERT_TRUE(processor);
        std::wstring const out = transformToString(processor.get());
        EXPECT_EQ(out, L"<failed>");
    }
    auto writer = processorFor(sheet(L"<xsl:template match='/'><exsl:document href='" + dir.file("written.xml") +
                                         L"'><x/></exsl:document><o/></xsl:template>",
                                     L"xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'"),
                               input.get());
    ASSERT_TRUE(writer);
    EXPECT_EQ(transformToString(writer.get()), L"<failed>");
    EXPECT_FALSE(std::filesystem::exists(dir / "written.xml"));
    for (wchar_t const* kind : {L"import", L"include"}) {
        auto sheetDoc = parse(sheet(std::wstring(L"<xsl:") + kind + L" href='" + other + L"'/><xsl:template match='/'/>"));
        auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
        EXPECT_TRUE(FAILED(xslt->putref_stylesheet(sheetDoc.get()))) << kind;
    }
}
