// XSLT templates and processors seen through the COM surface: where results
// go and in what shape, what a transformation must not change, and what a
// style sheet may not do.
#include "tests/unit/common/engine_objects.h"

using namespace enginetest;

namespace {

std::wstring const kInput = L"<list><item>a</item><item>b</item></list>";

std::wstring sheet(std::wstring const& body, std::wstring const& extraNamespaces = L"") {
    return L"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' " + extraNamespaces + L">" +
           body + L"</xsl:stylesheet>";
}

// The style sheet's processor, with `input` set; empty on failure.
ComPtr<IXSLProcessor> processorFor(std::wstring const& sheetText, IXMLDOMDocument3* input) {
    ComPtr<IXSLProcessor> processor;
    auto sheetDoc = parse(sheetText);
    auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
    if (sheetDoc && SUCCEEDED(xslt->putref_stylesheet(sheetDoc.get())) &&
        SUCCEEDED(xslt->createProcessor(processor.put())) && FAILED(processor->put_input(objectVariant(input))))
        processor.reset();
    return processor;
}

bool run(IXSLProcessor* processor, VARIANT output) {
    VARIANT_BOOL done = VARIANT_FALSE;
    return SUCCEEDED(processor->put_output(output)) && SUCCEEDED(processor->transform(&done)) && done;
}

// Writes the result into a file through a stream; the file's bytes, read
// as soon as the run returns.
std::string transformToFile(std::wstring const& sheetText, IXMLDOMDocument3* input, TempDir const& dir) {
    auto processor = processorFor(sheetText, input);
    ComPtr<IStream> stream;
    if (!processor ||
        FAILED(SHCreateStreamOnFileW(dir.file("out.xml").c_str(), STGM_CREATE | STGM_WRITE, stream.put())))
        return "<no processor>";
    return run(processor.get(), objectVariant(stream.get(), VT_UNKNOWN)) ? readFile(dir / "out.xml")
                                                                         : "<transform failed>";
}

// The result document of a run, as XML; "<failed>" when the run fails.
std::wstring transformToString(IXSLProcessor* processor) {
    auto result = newDocument();
    return processor && run(processor, objectVariant(result.get())) ? xmlOf(result.get()) : L"<failed>";
}

}  // namespace

TEST(XsltOutput, StreamFollowsXslOutput) {
    TempDir dir;
    auto input = parse(kInput);
    std::wstring const items =
        L"<xsl:template match='/'><r><xsl:for-each select='list/item'><e>\u00e9\u20ac<xsl:value-of "
        L"select='.'/></e></xsl:for-each></r></xsl:template>";
    std::string const utf8 =
        "<r><e>\xC3\xA9\xE2\x82\xAC"
        "a</e><e>\xC3\xA9\xE2\x82\xAC"
        "b</e></r>\n";
    std::pair<std::wstring, std::string> const cases[] = {
        // Latin-1 bytes, a character reference for what Latin-1 lacks, two-space indentation.
        {L"<xsl:output encoding='ISO-8859-1' indent='yes'/>" + items,
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\n  <e>\xE9&#8364;a</e>\n  <e>\xE9&#8364;b</e>\n</r>\n"},
        {L"<xsl:output encoding='UTF-8'/>" + items, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + utf8},
        {L"<xsl:output method='text'/><xsl:template match='/'><xsl:for-each select='list/item'><xsl:value-of "
         L"select='.'/>,</xsl:for-each></xsl:template>",
         "a,b,"},
        {L"<xsl:output omit-xml-declaration='yes'/>" + items, utf8},
    };
    for (auto const& [body, expected] : cases) EXPECT_EQ(transformToFile(sheet(body), input.get(), dir), expected);
}

TEST(XsltOutput, DocumentTargetIsReplacedByTheResult) {
    auto input = parse(kInput);
    auto target = parse(L"<old><stuff/></old>");
    auto processor = processorFor(sheet(L"<xsl:template match='/'><copy n='{count(//item)}'><xsl:copy-of "
                                        L"select='list/item[2]'/></copy></xsl:template>"),
                                  input.get());
    ASSERT_TRUE(processor && target);
    ASSERT_TRUE(run(processor.get(), objectVariant(target.get())));
    EXPECT_EQ(xmlOf(rootOf(target.get()).get()), L"<copy n=\"2\"><item>b</item></copy>");
    EXPECT_TRUE(select(target.get(), L"/copy/item")) << "the result is an ordinary document";
    EXPECT_FALSE(run(processor.get(), VARIANT{})) << "no target, no run";
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

// Stripping white space, run twice, changes neither the input nor the sheet.
TEST(XsltIntegrity, InputAndSheetStayAsTheyWere) {
    for (wchar_t const* strip : {L"<!-- kept -->", L"<xsl:strip-space elements='*'/>"}) {
        auto input = newDocument();
        input->put_preserveWhiteSpace(VARIANT_TRUE);
        ASSERT_TRUE(loadXML(input.get(), L"<r>\n  <a> </a>\n  <b>x</b>\n</r>"));
        auto sheetDoc =
            parse(sheet(std::wstring(strip) + L"<xsl:template match='/'><n><xsl:value-of "
                                              L"select='count(//text())'/></n><xsl:text> </xsl:text></xsl:template>"));
        std::wstring const inputBefore = xmlOf(input.get()), sheetBefore = xmlOf(sheetDoc.get());
        auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
        ComPtr<IXSLProcessor> processor;
        ASSERT_EQ(xslt->putref_stylesheet(sheetDoc.get()), S_OK);
        ASSERT_EQ(xslt->createProcessor(processor.put()), S_OK);
        ASSERT_EQ(processor->put_input(objectVariant(input.get())), S_OK);
        EXPECT_EQ(transformToString(processor.get()), transformToString(processor.get())) << "the second run differs";
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
        auto reader = processorFor(
            sheet(L"<xsl:template match='/'><o><xsl:copy-of select=\"document('" + uri + L"')\"/></o></xsl:template>"),
            input.get());
        ASSERT_TRUE(reader);
        EXPECT_EQ(transformToString(reader.get()), L"<failed>");
    }
    auto writer = processorFor(sheet(L"<xsl:template match='/'><exsl:document href='" + dir.file("written.xml") +
                                         L"'><x/></exsl:document><o/></xsl:template>",
                                     L"xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'"),
                               input.get());
    ASSERT_TRUE(writer);
    EXPECT_EQ(transformToString(writer.get()), L"<failed>");
    EXPECT_FALSE(std::filesystem::exists(dir / "written.xml"));
    for (wchar_t const* kind : {L"import", L"include"}) {
        auto sheetDoc =
            parse(sheet(std::wstring(L"<xsl:") + kind + L" href='" + other + L"'/><xsl:template match='/'/>"));
        auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
        EXPECT_TRUE(FAILED(xslt->putref_stylesheet(sheetDoc.get()))) << kind;
    }
}
