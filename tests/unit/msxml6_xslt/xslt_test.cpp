// XSLT templates and processors seen through the COM surface: where results
// go and in what shape, what a transformation must not change, and what a
// style sheet may not do.
#include <libxml/globals.h>

#include "fixture.h"

using namespace xt;

namespace {

std::wstring const kInput = L"<list><item>a</item><item>b</item></list>";

// Writes the result of `sheetText` on `input` into a file through a stream
// and returns the file's bytes.
std::string transformToFile(std::wstring const& sheetText, IXMLDOMDocument3* input, TempDir const& dir) {
    auto processor = processorFor(sheetText, input);
    if (!processor) return "<no processor>";
    std::wstring path = (dir / "out.xml").wstring();
    {
        ComRef<IStream> stream;
        if (FAILED(SHCreateStreamOnFileW(path.c_str(), STGM_CREATE | STGM_WRITE, stream.put()))) return "<no stream>";
        VARIANT out;
        VariantInit(&out);
        out.vt = VT_UNKNOWN;
        out.punkVal = stream.get();
        VARIANT_BOOL done = VARIANT_FALSE;
        if (FAILED(processor->put_output(out)) || FAILED(processor->transform(&done)) || !done)
            return "<transform failed>";
    }  // the processor committed the file before transform returned
    return readFile(dir / "out.xml");
}

std::wstring transformToString(IXSLProcessor* processor, HRESULT* hr = nullptr) {
    VARIANT_BOOL done = VARIANT_FALSE;
    HRESULT result = processor->transform(&done);
    if (hr) *hr = result;
    if (FAILED(result) || !done) return L"<failed>";
    VARIANT out;
    VariantInit(&out);
    if (FAILED(processor->get_output(&out)) || out.vt != VT_BSTR) return L"<no string>";
    std::wstring text(out.bstrVal, SysStringLen(out.bstrVal));
    VariantClear(&out);
    return text;
}

bool transformFails(IXSLProcessor* processor) {
    VARIANT_BOOL done = VARIANT_TRUE;
    HRESULT hr = processor->transform(&done);
    return FAILED(hr) || !done;
}

}  // namespace


TEST(XsltOutput, StreamFollowsXslOutput) {
    TempDir dir;
    auto input = parse(kInput);
    ASSERT_TRUE(input);
    std::wstring items = L"<xsl:template match='/'><r><xsl:for-each select='list/item'><e>\u00e9\u20ac<xsl:value-of "
                         L"select='.'/></e></xsl:for-each></r></xsl:template>";

    // Encoding and indentation: Latin-1 bytes, a character reference for
    // what Latin-1 lacks, two-space indentation.
    EXPECT_EQ(transformToFile(sheet(L"<xsl:output encoding='ISO-8859-1' indent='yes'/>" + items), input.get(), dir),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\n  <e>\xE9&#8364;a</e>\n  <e>\xE9&#8364;b</e>\n</r>\n");
    // UTF-8 without indentation.
    EXPECT_EQ(transformToFile(sheet(L"<xsl:output encoding='UTF-8'/>" + items), input.get(), dir),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><e>\xC3\xA9\xE2\x82\xAC" "a</e><e>\xC3\xA9\xE2\x82\xAC" "b</e></r>\n");
    // Text: the bare characters, no declaration, no markup.
    EXPECT_EQ(transformToFile(sheet(L"<xsl:output method='text'/><xsl:template match='/'><xsl:for-each "
                                    L"select='list/item'><xsl:value-of select='.'/>,</xsl:for-each></xsl:template>"),
                              input.get(), dir),
              "a,b,");
    // No declaration when asked.
    std::string bare = transformToFile(sheet(L"<xsl:output omit-xml-declaration='yes'/>" + items), input.get(), dir);
    EXPECT_EQ(bare.rfind("<r><e>", 0), 0u) << bare;
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
    ComRef<IXMLDOMElement> root;
    ASSERT_EQ(target->get_documentElement(root.put()), S_OK);
    EXPECT_EQ(xmlOf(root.get()), L"<copy n=\"2\"><item>b</item></copy>");

    // The result is an ordinary document: it can be edited and queried.
    ComRef<IXMLDOMNode> item;
    EXPECT_EQ(target->selectSingleNode(bstr(L"/copy/item").get(), item.put()), S_OK);

    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(processor->get_output(&out), S_OK);
    EXPECT_EQ(out.vt, VT_DISPATCH);
    VariantClear(&out);
}

TEST(XsltOutput, StringIsCollectedAndRenewedOnEachRun) {
    auto input = parse(kInput);
    auto processor = processorFor(
        sheet(L"<xsl:output encoding='ISO-8859-1'/><xsl:template match='/'><r>\u00e9<xsl:value-of "
              L"select='count(//item)'/></r></xsl:template>"),
        input.get());
    ASSERT_TRUE(processor);
    // Unicode text, so the declaration names UTF-16 whatever the sheet declares.
    EXPECT_EQ(transformToString(processor.get()), L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r>\u00e92</r>\n");

    auto bigger = parse(L"<list><item/><item/><item/></list>");
    ASSERT_EQ(processor->put_input(objectVariant(bigger.get())), S_OK);
    EXPECT_EQ(transformToString(processor.get()), L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r>\u00e93</r>\n");
}


TEST(XsltIntegrity, InputAndSheetStayAsTheyWere) {
    struct Case {
        char const* name;
        std::wstring sheetText;
    } const cases[] = {
        {"plain", sheet(L"<!-- kept --><xsl:template match='/'><n><xsl:value-of select='count(//text())'/></n>"
                        L"<xsl:text> </xsl:text></xsl:template>")},
        {"strip-space", sheet(L"<xsl:strip-space elements='*'/><xsl:template match='/'><n><xsl:value-of "
                              L"select='count(//text())'/></n></xsl:template>")},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        auto input = newDocument();
        ASSERT_TRUE(input);
        input->put_preserveWhiteSpace(VARIANT_TRUE);
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(input->loadXML(bstr(L"<r>\n  <a> </a>\n  <b>x</b>\n</r>").get(), &ok), S_OK);
        auto sheetDoc = parse(c.sheetText);
        ASSERT_TRUE(sheetDoc);
        std::wstring inputBefore = xmlOf(input.get());
        std::wstring sheetBefore = xmlOf(sheetDoc.get());

        auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
        ASSERT_EQ(xslt->putref_stylesheet(sheetDoc.get()), S_OK);
        ComRef<IXSLProcessor> processor;
        ASSERT_EQ(xslt->createProcessor(processor.put()), S_OK);
        ASSERT_EQ(processor->put_input(objectVariant(input.get())), S_OK);
        std::wstring first = transformToString(processor.get());
        std::wstring second = transformToString(processor.get());

        EXPECT_EQ(first, second) << "a second run sees the same input";
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
    EXPECT_EQ(transformToString(processor.get()),
              L"<?xml version=\"1.0\"?>\n<r ms=\"2\" ex=\"2\" max=\"7\" up=\"---\"/>\n");
}


TEST(XsltSecurity, NoFileIsReadOrWritten) {
    TempDir dir;
    writeFile(dir / "secret.xml", "<secret>hunter2</secret>");
    std::wstring secret = (dir / "secret.xml").wstring();
    std::wstring written = (dir / "written.xml").wstring();
    auto input = parse(kInput);

    for (std::wstring const& uri : {secret, L"file://" + secret}) {
        SCOPED_TRACE(std::string(uri.begin(), uri.end()));
        auto processor = processorFor(
            sheet(L"<xsl:template match='/'><o><xsl:copy-of select=\"document('" + uri + L"')\"/></o></xsl:template>"),
            input.get());
        ASSERT_TRUE(processor);
        EXPECT_TRUE(transformFails(processor.get()));
        VARIANT out;
        VariantInit(&out);
        processor->get_output(&out);
        if (out.vt == VT_BSTR) {
            EXPECT_EQ(std::wstring(out.bstrVal).find(L"hunter2"), std::wstring::npos);
        }
        VariantClear(&out);
    }

    auto writer = processorFor(sheet(L"<xsl:template match='/'><exsl:document href='" + written +
                                         L"'><x/></exsl:document><o/></xsl:template>",
                                     L"xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'"),
                               input.get());
    ASSERT_TRUE(writer);
    EXPECT_TRUE(transformFails(writer.get()));
    EXPECT_FALSE(std::filesystem::exists(dir / "written.xml"));
}

TEST(XsltSecurity, SheetsPullingInOtherFilesAreRefused) {
    TempDir dir;
    writeFile(dir / "other.xsl", "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'/>");
    std::wstring other = (dir / "other.xsl").wstring();
    for (wchar_t const* kind : {L"import", L"include"}) {
        auto sheetDoc = parse(sheet(std::wstring(L"<xsl:") + kind + L" href='" + other + L"'/><xsl:template match='/'/>"));
        auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
        ASSERT_TRUE(sheetDoc && xslt);
        EXPECT_TRUE(FAILED(xslt->putref_stylesheet(sheetDoc.get()))) << kind;
    }
}


