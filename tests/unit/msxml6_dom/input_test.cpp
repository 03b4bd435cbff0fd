// Input refusal: what XML forbids fails the load wherever it sits in the
// input, the sizes the module writes read back, and entity bombs still fail
// although the size limits are lifted.
#include "dom_fixture.h"

using namespace domtest;

namespace {

std::string laughs() {
    std::string s = "<!DOCTYPE r [<!ENTITY a0 'lol'>";
    for (int i = 1; i < 10; ++i) {
        s += "<!ENTITY a" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) s += "&a" + std::to_string(i - 1) + ";";
        s += "'>";
    }
    return s + "]><r>&a9;</r>";
}

// 50 KB referenced 20 000 times: 1 GB once expanded, in text or attribute.
std::string quadratic(bool inAttribute) {
    std::string s = "<!DOCTYPE r [<!ENTITY a '" + std::string(50000, 'x') + "'>]>";
    s += inAttribute ? "<r v='" : "<r>";
    for (int i = 0; i < 20000; ++i) s += "&a;";
    return s + (inAttribute ? "'/>" : "</r>");
}

class InputRefusal : public ::testing::Test {
protected:
    bool loads(std::string const& bytes) {
        writeFile(dir_ / "in.xml", bytes);
        auto doc = newDocument();
        return loadFile(doc.get(), wide(dir_ / "in.xml"));
    }
    TempDir dir_;
};

TEST_F(InputRefusal, NulAnywhereFailsFilesAndText) {
    using namespace std::string_literals;
    for (std::string const& bytes : {"<r/>\0junk"s, "<a/>\0<b/>"s, "<r>a\0b</r>"s, "<r/>\n\0"s, "\0<r/>"s}) {
        EXPECT_FALSE(loads(bytes)) << testing::PrintToString(bytes);
        EXPECT_FALSE(loadXML(newDocument().get(), mx::toWide(bytes.data(), bytes.size())));
    }
    EXPECT_TRUE(loads("<r/>\n"));
}

TEST_F(InputRefusal, UnpairedSurrogatesInTextFailWithTheParsersPosition) {
    auto doc = newDocument();
    for (wchar_t const* text : {L"<r>a\xD800</r>", L"<r a='\xDC00'/>", L"<r/><!--\xDFFF-->"})
        EXPECT_FALSE(loadXML(doc.get(), text));
    ComPtr<IXMLDOMParseError> error;
    doc->get_parseError(error.put());
    long line = 0, column = 0;
    error->get_line(&line);
    error->get_linepos(&column);
    EXPECT_EQ(1, line);
    EXPECT_GT(column, 4);
    EXPECT_TRUE(loadXML(doc.get(), L"<r a='\xE9\x1F600'>\xFFFD</r>"));
}

TEST_F(InputRefusal, SizesBeyondTheParsersDefaultsReadBack) {
    std::string big(11 * 1000 * 1000, 'y');
    std::string name(60000, 'n');
    EXPECT_TRUE(loads("<" + name + " a='" + big + "'>" + big + "</" + name + ">"));
}

TEST_F(InputRefusal, EntityBombsFailFromFilesAndText) {
    for (std::string const& bomb : {laughs(), quadratic(false), quadratic(true)}) {
        EXPECT_FALSE(loads(bomb));
        EXPECT_FALSE(loadXML(newDocument().get(), mx::toWide(bomb.c_str())));
    }
}

TEST_F(InputRefusal, DeclaredDefaultsApplyButAnExternalDtdStaysUnread) {
    writeFile(dir_ / "ext.dtd", "<!ATTLIST r outside CDATA 'read'>");
    std::string text = "<!DOCTYPE r SYSTEM 'ext.dtd' [<!ATTLIST r a CDATA 'dflt' b CDATA #FIXED 'fx'>]><r a='own'/>";
    ASSERT_TRUE(loads(text));
    auto doc = newDocument();
    ASSERT_TRUE(loadFile(doc.get(), wide(dir_ / "in.xml")));
    EXPECT_EQ(L"<r a=\"own\" b=\"fx\"/>", xmlOf(rootOf(doc.get()).get()));
    ASSERT_TRUE(loadXML(doc.get(), mx::toWide(text.c_str())));
    EXPECT_EQ(L"<r a=\"own\" b=\"fx\"/>", xmlOf(rootOf(doc.get()).get()));
}

}  // namespace
