// Saving and loading: both encodings, indented and not, to files and strings.
#include "platform/host/ux_string.h"
#include "support.h"

namespace msxmltest {
namespace {

class SaveLoadTest : public BackendTest {
protected:
    // A tree with what tends to break on the way out and back in: namespaces
    // (default and prefixed), escaping, non-ASCII and non-BMP text, empty
    // elements, comments, leading and trailing blanks in text.
    XmlSmartPtr<TrelDOMDocument> sample() const {
        return parse(
            L"<model xmlns='urn:m' xmlns:q='urn:q' version='2'>"
            L"<header name='caf\u00e9 &amp; &lt;bar&gt;' q:id='\U0001F600'>"
            L"<description>  spaced text  </description>"
            L"<note>a &amp; b &lt; c &gt; d \"quoted\" 'single'</note>"
            L"</header>"
            L"<!-- a comment -->"
            L"<q:meta><q:item k=''/><q:item k='tab\tnl'/></q:meta>"
            L"<part id='1'><label>\u65e5\u672c\u8a9e</label><empty/></part>"
            L"</model>");
    }
};

struct SaveCase {
    XmlEncoding const* encoding;
    bool indent;
};

std::wstring caseName(SaveCase const& c) {
    return std::wstring(c.encoding->toString()) + (c.indent ? L" indented" : L" flat");
}

TEST_F(SaveLoadTest, FilesRoundTripInBothEncodingsIndentedOrNot) {
    auto original = sample();
    ASSERT_TRUE(original);
    std::wstring const expected = describe(rootOf(original));
    SaveCase const cases[] = {
        {&XmlEncoding::UTF8, false}, {&XmlEncoding::UTF8, true}, {&XmlEncoding::UTF16, false}, {&XmlEncoding::UTF16, true}};
    int n = 0;
    for (SaveCase const& c : cases) {
        std::wstring const path = file(("saved" + std::to_string(n++) + ".xml").c_str());
        ASSERT_TRUE(original->save(path.c_str(), *c.encoding, c.indent)) << caseName(c);
        XmlSmartPtr<TrelDOMDocument> reloaded(factory()->createDocument(path.c_str()));
        ASSERT_TRUE(reloaded) << caseName(c);
        EXPECT_EQ(describe(rootOf(reloaded)), expected) << caseName(c);
    }
}

TEST_F(SaveLoadTest, StringsRoundTripIndentedOrNot) {
    auto original = sample();
    ASSERT_TRUE(original);
    std::wstring const expected = describe(rootOf(original));
    for (bool indent : {false, true}) {
        wchar_t* text = nullptr;
        ASSERT_TRUE(original->saveXML(&text, indent));
        ASSERT_TRUE(text);
        auto reloaded = parse(text);
        ux_strfree(text);
        ASSERT_TRUE(reloaded) << indent;
        EXPECT_EQ(describe(rootOf(reloaded)), expected) << indent;
    }
}

TEST_F(SaveLoadTest, IndentedOutputIsIndentedAndDeclaresItself) {
    auto doc = parse(L"<r><a><b>t</b></a></r>");
    ASSERT_TRUE(doc);
    wchar_t* indented = nullptr;
    ASSERT_TRUE(doc->saveXML(&indented, true));
    std::wstring const text(indented);
    ux_strfree(indented);
    EXPECT_EQ(text.rfind(L"<?xml", 0), 0u) << text;
    EXPECT_NE(text.find(L"standalone=\"yes\""), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"<b>t</b>"), std::wstring::npos) << "text-only elements stay on one line: " << text;

    wchar_t* flat = nullptr;
    ASSERT_TRUE(doc->saveXML(&flat, false));
    EXPECT_NE(std::wstring(flat).find(L"<r><a><b>t</b></a></r>"), std::wstring::npos) << flat;
    ux_strfree(flat);
}

TEST_F(SaveLoadTest, IndentedFilesAreEncodedAsAsked) {
    auto doc = parse(L"<r>\u00e9</r>");
    ASSERT_TRUE(doc);
    ASSERT_TRUE(doc->save(file("u8.xml").c_str(), XmlEncoding::UTF8, true));
    ASSERT_TRUE(doc->save(file("u16.xml").c_str(), XmlEncoding::UTF16, true));
    std::string const u8 = readBytes(dir() / "u8.xml");
    std::string const u16 = readBytes(dir() / "u16.xml");
    EXPECT_NE(u8.find("encoding=\"UTF-8\""), std::string::npos) << u8;
    EXPECT_NE(u8.find("\xc3\xa9"), std::string::npos);
    ASSERT_GE(u16.size(), 4u);
    // UTF-16: every ASCII character is followed (or preceded) by a zero byte.
    EXPECT_TRUE(u16.find(std::string("<\0r\0>\0", 6)) != std::string::npos ||
                u16.find(std::string("\0<\0r\0>", 6)) != std::string::npos);
    // The default save path is UTF-8 as well.
    ASSERT_TRUE(doc->save(file("default.xml").c_str(), true));
    EXPECT_EQ(readBytes(dir() / "default.xml"), u8);
}

TEST_F(SaveLoadTest, FlatSaveFollowsTheDeclarationNotTheArgument) {
    auto doc = parse(L"<r>\u00e9</r>");
    ASSERT_TRUE(doc);
    ASSERT_TRUE(doc->save(file("flat.xml").c_str(), XmlEncoding::UTF16, false));
    std::string const bytes = readBytes(dir() / "flat.xml");
    EXPECT_NE(bytes.find("<r>\xc3\xa9</r>"), std::string::npos) << "no declaration: UTF-8";
}

TEST_F(SaveLoadTest, BadTargetsFailWithoutWriting) {
    auto doc = parse(L"<r/>");
    ASSERT_TRUE(doc);
    std::wstring const missing = file("no/such/folder/out.xml");
    EXPECT_FALSE(doc->save(missing.c_str(), XmlEncoding::UTF8, true));
    EXPECT_FALSE(doc->save(missing.c_str(), XmlEncoding::UTF8, false));
    EXPECT_FALSE(doc->save(nullptr, XmlEncoding::UTF8, true));
    EXPECT_FALSE(doc->save(nullptr, XmlEncoding::UTF8, false));
    EXPECT_FALSE(doc->saveXML(nullptr, true));
}

TEST_F(SaveLoadTest, SavingOverAFileReplacesIt) {
    writeBytes(dir() / "out.xml", std::string(10000, 'x'));
    auto doc = parse(L"<r/>");
    ASSERT_TRUE(doc);
    for (bool indent : {true, false}) {
        ASSERT_TRUE(doc->save(file("out.xml").c_str(), indent));
        XmlSmartPtr<TrelDOMDocument> reloaded(factory()->createDocument(file("out.xml").c_str()));
        ASSERT_TRUE(reloaded) << indent;
        EXPECT_EQ(str(rootOf(reloaded)->getTag()), L"r");
    }
}

TEST_F(SaveLoadTest, AFailedSaveLeavesTheEarlierFileAsItWas) {
    std::string const earlier = "<earlier/>";
    writeBytes(dir() / "keep.xml", earlier);
    auto doc = parse(L"<r/>");
    ASSERT_TRUE(doc);
    XmlEncoding const unknown(L"no-such-encoding");
    EXPECT_FALSE(doc->save(file("keep.xml").c_str(), unknown, true));
    EXPECT_EQ(readBytes(dir() / "keep.xml"), earlier);
}

TEST_F(SaveLoadTest, PathsWithSpacesAndNonAsciiNames) {
    auto doc = parse(L"<r/>");
    ASSERT_TRUE(doc);
    std::wstring const path = dir().wstring() + L"/a b%20\u00e9.xml";
    ASSERT_TRUE(doc->save(path.c_str(), true));
    XmlSmartPtr<TrelDOMDocument> reloaded(factory()->createDocument(path.c_str()));
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(str(rootOf(reloaded)->getTag()), L"r");
}

}  // namespace
}  // namespace msxmltest
