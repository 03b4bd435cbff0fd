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

TEST_F(SaveLoadTest, FlatSaveFollowsTheDeclarationNotTheArgument) {
    auto doc = parse(L"<r>\u00e9</r>");
    ASSERT_TRUE(doc);
    ASSERT_TRUE(doc->save(file("flat.xml").c_str(), XmlEncoding::UTF16, false));
    std::string const bytes = readFile(dir() / "flat.xml");
    EXPECT_NE(bytes.find("<r>\xc3\xa9</r>"), std::string::npos) << "no declaration: UTF-8";
}

}  // namespace
}  // namespace msxmltest
