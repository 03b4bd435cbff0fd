// The SAX reader: events and names, stops, errors, safety.
#include "sax_fixture.h"

using namespace saxtest;

using Events = std::vector<std::string>;

TEST(SaxEvents, NamespacesReachEveryNameAndPrefixMappingsBracketTheElement) {
    auto reader = newReader();
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseText(reader.get(),
                              L"<r xmlns='urn:d' xmlns:p='urn:p' a='1' p:b='2'><p:c/><e xmlns=''/></r>"));
    Events expected{
        "startDocument",
        "prefix =urn:d",
        "prefix p=urn:p",
        "start urn:d|r|r @|a|a=1 @urn:p|b|p:b=2",
        "start urn:p|c|p:c",
        "end urn:p|c|p:c",
        "prefix =",
        "start |e|e",
        "end |e|e",
        "endPrefix ",
        "end urn:d|r|r",
        "endPrefix p",
        "endPrefix ",
        "endDocument",
    };
    EXPECT_EQ(expected, rec->events);
}

TEST(SaxEvents, TextRunsArriveWholeWithEntitiesExpanded) {
    auto reader = newReader();
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseText(reader.get(),
                              L"<!DOCTYPE r [<!ENTITY e 'E&#38;#38;V'><!ENTITY m '<i>in</i>'>]>"
                              L"<r a='x&amp;y&lt;&#38;z&e;'>  a &amp; b &e;&e;  <![CDATA[<&]]>&m;&#x1F600;</r>"));
    Events expected{"startDocument", "startDTD r||", "endDTD", "start |r|r @|a|a=x&y<&zE&V",
                    "chars   a & b E&VE&V  ", "startCDATA", "chars <&", "endCDATA", "start |i|i", "chars in",
                    "end |i|i", "chars \xF0\x9F\x98\x80", "end |r|r", "endDocument"};
    EXPECT_EQ(expected, rec->events);
}


TEST(SaxStop, FailingStartTagEndsEverythingWithThatResult) {
    constexpr HRESULT kStop = static_cast<HRESULT>(0x80041234);
    auto reader = newReader();
    auto rec = record(reader.get());
    rec->fail = [](std::string const& e) { return e.rfind("start |r", 0) == 0 ? kStop : S_OK; };
    EXPECT_EQ(kStop, parseText(reader.get(), L"<r><a>text</a><b/>tail</r>"));
    EXPECT_EQ((Events{"startDocument", "start |r|r"}), rec->events);
}


TEST(SaxErrors, OneFatalErrorWithPositionAndMessageThenNothing) {
    auto reader = newReader();
    auto rec = record(reader.get());
    HRESULT hr = parseBytes(reader.get(), "<r>\n  <a>text</b>\n<c></r>");
    EXPECT_TRUE(FAILED(hr));
    auto fatal = rec->matching("fatal");
    ASSERT_EQ(1u, fatal.size());
    EXPECT_EQ("fatal 2:14 Opening and ending tag mismatch: a line 2 and b", fatal[0]);
    EXPECT_EQ(hr, rec->lastCode);
    EXPECT_EQ("chars text", rec->events[rec->events.size() - 2]);  // text before the error still arrives
    EXPECT_TRUE(rec->matching("endDocument").empty());
    EXPECT_TRUE(rec->matching("end |a").empty());
}

TEST(SaxErrors, MalformedInputsFailWithAMessage) {
    for (char const* bad : {"", "<r>", "<r></r><r/>", "<r a='1' a='2'/>", "<p:r/>", "<r>&undefined;</r>",
                            "<r>\xC3</r>", "text"}) {
        auto reader = newReader();
        auto rec = record(reader.get());
        EXPECT_TRUE(FAILED(parseBytes(reader.get(), bad))) << bad;
        auto fatal = rec->matching("fatal");
        ASSERT_EQ(1u, fatal.size()) << bad;
        EXPECT_GT(fatal[0].size(), std::string("fatal 1:1 ").size()) << bad;
        EXPECT_NE('\n', fatal[0].back());
    }
}


TEST(SaxSafety, ExternalEntitiesAndDtdsAreNotReadByDefault) {
    TempDir dir;
    dir.write("secret.txt", "TOPSECRET");
    std::string secret = (dir / "secret.txt").string();
    dir.write("secret.dtd", "<!ENTITY leak 'TOPSECRET'>");
    std::string doc = "<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret + "'>]><r>&x;</r>";
    std::string pe = "<!DOCTYPE r [<!ENTITY % p SYSTEM 'file://" + (dir / "secret.dtd").string() + "'> %p;]><r>&leak;</r>";
    std::string ext = "<!DOCTYPE r SYSTEM 'file://" + (dir / "secret.dtd").string() + "'><r>&leak;</r>";
    for (std::string const& xml : {doc, pe, ext}) {
        auto reader = newReader();
        auto rec = record(reader.get());
        parseBytes(reader.get(), xml);
        for (auto const& e : rec->events) EXPECT_EQ(std::string::npos, e.find("TOPSECRET")) << xml;
    }
    // The same document with external entities switched on does read the
    // file: the default above is what kept it out.
    auto reader = newReader();
    reader->putFeature(L"http://xml.org/sax/features/external-general-entities", VARIANT_TRUE);
    auto rec = record(reader.get());
    EXPECT_EQ(S_OK, parseBytes(reader.get(), doc));
    EXPECT_EQ((Events{"chars TOPSECRET"}), rec->matching("chars"));
    // A file names its entities relative to itself.
    std::wstring relative = dir.write("rel.xml", "<!DOCTYPE r [<!ENTITY x SYSTEM 'secret.txt'>]><r>&x;</r>");
    rec->events.clear();
    EXPECT_EQ(S_OK, reader->parseURL(relative.c_str()));
    EXPECT_EQ((Events{"chars TOPSECRET"}), rec->matching("chars"));
}

TEST(SaxSafety, EntityBombsFailCleanly) {
    std::string laughs = "<!DOCTYPE r [<!ENTITY a0 'lol'>";
    for (int i = 1; i <= 10; ++i) {
        std::string prev = "&a" + std::to_string(i - 1) + ";";
        std::string body;
        for (int k = 0; k < 10; ++k) body += prev;
        laughs += "<!ENTITY a" + std::to_string(i) + " '" + body + "'>";
    }
    laughs += "]><r>&a10;</r>";
    std::string quadratic = "<!DOCTYPE r [<!ENTITY big '" + std::string(50000, 'x') + "'>]><r>";
    for (int i = 0; i < 20000; ++i) quadratic += "&big;";
    quadratic += "</r>";
    for (std::string const& bomb : {laughs, quadratic}) {
        auto reader = newReader();
        auto rec = record(reader.get());
        size_t delivered = 0;
        rec->fail = [&](std::string const& e) {
            delivered += e.size();
            return S_OK;
        };
        EXPECT_TRUE(FAILED(parseBytes(reader.get(), bomb)));
        EXPECT_EQ(1u, rec->matching("fatal").size());
        EXPECT_LT(delivered, 50u * 1000 * 1000);
    }
}


