// The SAX reader: events and names, stops, errors, refused input, safety.
#include <cstdlib>

#include "sax_fixture.h"

using namespace saxtest;

namespace {

// The events of one parse of `xml` (bytes in chunks of `chunk`, or text).
struct Parsed {
    ComPtr<ISAXXMLReader> reader = newReader();
    ComPtr<Recorder> rec = record(reader.get());
    HRESULT hr = E_FAIL;
};
Parsed bytes(std::string const& xml, size_t chunk = SIZE_MAX) {
    Parsed run;
    return run.hr = parseBytes(run.reader.get(), xml, chunk), run;
}
Parsed text(std::wstring const& xml) {
    Parsed run;
    return run.hr = parseText(run.reader.get(), xml), run;
}

}  // namespace

TEST(SaxEvents, NamespacesReachEveryNameAndPrefixMappingsBracketTheElement) {
    auto run = text(L"<r xmlns='urn:d' xmlns:p='urn:p' a='1' p:b='2'><p:c/><e xmlns=''/></r>");
    ASSERT_EQ(S_OK, run.hr);
    EXPECT_EQ(joined(run.rec->events),
              "startDocument; prefix =urn:d; prefix p=urn:p; start urn:d|r|r @|a|a=1 @urn:p|b|p:b=2; "
              "start urn:p|c|p:c; end urn:p|c|p:c; prefix =; start |e|e; end |e|e; endPrefix ; end urn:d|r|r; "
              "endPrefix p; endPrefix ; endDocument");
    // Namespace names that are no URIs arrive as they are, with a warning at most.
    run = text(L"<p:r xmlns:p='a b'><e xmlns='\u00e9t\u00e9'/></p:r>");
    ASSERT_EQ(S_OK, run.hr);
    EXPECT_TRUE(run.rec->matching("fatal").empty());
    EXPECT_EQ((Events{"start a b|r|p:r", "start \xc3\xa9t\xc3\xa9|e|e"}), run.rec->matching("start "));
}

TEST(SaxEvents, TextRunsArriveWholeWithEntitiesExpanded) {
    auto run = text(
        L"<!DOCTYPE r [<!ENTITY e 'E&#38;#38;V'><!ENTITY m '<i>in</i>'>]>"
        L"<r a='x&amp;y&lt;&#38;z&e;'>  a &amp; b &e;&e;  <![CDATA[<&]]>&m;&#x1F600;</r>");
    ASSERT_EQ(S_OK, run.hr);
    EXPECT_EQ(joined(run.rec->events),
              "startDocument; startDTD r||; endDTD; start |r|r @|a|a=x&y<&zE&V; chars   a & b E&VE&V  ; startCDATA; "
              "chars <&; endCDATA; start |i|i; chars in; end |i|i; chars \xF0\x9F\x98\x80; end |r|r; endDocument");
    // A run of text longer than the parser's buffers still arrives whole.
    std::string long_ = std::string(1500000, 'a') + " \n " + std::string(1500000, 'b');
    run = bytes("<r>" + long_ + "<c/></r>");
    ASSERT_EQ(S_OK, run.hr);
    EXPECT_EQ((Events{"chars " + long_}), run.rec->matching("chars "));
    // The internal subset's attribute defaults apply, as in a loaded document.
    run = text(L"<!DOCTYPE r [<!ATTLIST r a CDATA 'dflt' b CDATA #FIXED 'fx'>]><r a='own'/>");
    ASSERT_EQ(S_OK, run.hr);
    EXPECT_EQ((Events{"start |r|r @|a|a=own @|b|b=fx"}), run.rec->matching("start "));
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
    auto run = bytes("<r>\n  <a>text</b>\n<c></r>");
    EXPECT_TRUE(FAILED(run.hr));
    EXPECT_EQ((Events{"fatal 2:14 Opening and ending tag mismatch: a line 2 and b"}), run.rec->matching("fatal"));
    EXPECT_EQ(run.hr, run.rec->lastCode);
    auto const& events = run.rec->events;
    EXPECT_EQ("chars text", events[events.size() - 2]);  // text before the error still arrives
    EXPECT_TRUE(run.rec->matching("endDocument").empty() && run.rec->matching("end |a").empty());
}

// Malformed input and characters XML forbids, as strings or streams (read
// in small chunks): exactly one fatal error with a message, no end.
TEST(SaxErrors, RefusedInputGivesOneFatalError) {
    using namespace std::string_literals;
    std::vector<Parsed> runs;
    for (std::string const& bad :
         {""s, "<r>"s, "<r></r><r/>"s, "<r a='1' a='2'/>"s, "<p:r/>"s, "<r>&undefined;</r>"s, "<r>\xC3</r>"s, "text"s,
          "<r/>\0<s/>"s, "<r/>\n\0"s, "\xFF\xFE<\0r\0/\0>\0\x00\xD8"s})
        runs.push_back(bytes(bad, 7));
    for (std::wstring const& bad : {L"<r/>\0<s/>"s, L"<r>a\0b</r>"s, L"<r>\xD800</r>"s, L"<r a='\xDBFF'/>"s})
        runs.push_back(text(bad));
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_TRUE(FAILED(runs[i].hr)) << i;
        auto fatal = runs[i].rec->matching("fatal");
        ASSERT_EQ(1u, fatal.size()) << i;
        EXPECT_GT(fatal[0].size(), std::string("fatal 1:1 ").size()) << i;
        EXPECT_NE('\n', fatal[0].back());
        EXPECT_TRUE(runs[i].rec->matching("endDocument").empty()) << i;
    }
}

TEST(SaxSafety, ExternalEntitiesAndDtdsAreNotReadByDefault) {
    TempDir dir;
    dir.write("secret.txt", "TOPSECRET");
    std::string const secret = (dir / "secret.txt").string(), dtd = (dir / "secret.dtd").string();
    dir.write("secret.dtd", "<!ENTITY leak 'TOPSECRET'>");
    std::string doc = "<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret + "'>]><r>&x;</r>";
    for (std::string const& xml : {doc, "<!DOCTYPE r [<!ENTITY % p SYSTEM 'file://" + dtd + "'> %p;]><r>&leak;</r>",
                                   "<!DOCTYPE r SYSTEM 'file://" + dtd + "'><r>&leak;</r>"}) {
        Parsed const run = bytes(xml);
        for (auto const& e : run.rec->events) EXPECT_EQ(std::string::npos, e.find("TOPSECRET")) << xml;
    }
    // Switched on, the same entity is read: the default above kept it out.
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

// One level beyond the tree limit fails, from text (in process: the parse
// keeps no stack per level) and from a document (which only the engine's
// own calls can build; its walk runs in a child, so that a regression that
// exhausts the stack fails here instead of ending the run).
TEST(SaxSafety, NestingBeyondTheTreeLimitFails) {
    std::string deep;
    for (unsigned i = 0; i <= mx::kMaxTreeDepth; ++i) deep += "<a>";
    for (unsigned i = 0; i <= mx::kMaxTreeDepth; ++i) deep += "</a>";
    Parsed const fromText = bytes(deep);
    EXPECT_TRUE(FAILED(fromText.hr));
    EXPECT_EQ(1u, fromText.rec->matching("fatal").size());
    EXPECT_EXIT(std::_Exit([&] {
                    auto doc = parse(wide(deep.substr(3, deep.size() - 7)));
                    ComPtr<IXMLDOMElement> top;
                    ComPtr<IXMLDOMNode> old, out;
                    if (!doc || FAILED(doc->createElement(Arg(L"a"), top.put())) ||
                        FAILED(doc->removeChild(rootOf(doc.get()).get(), old.put())) ||
                        FAILED(top->appendChild(old.get(), out.put())) ||
                        FAILED(doc->appendChild(top.get(), out.put())))
                        return 1;
                    auto reader = newReader();
                    return FAILED(parseNode(reader.get(), doc.get())) ? 0 : 1;
                }()),
                ::testing::ExitedWithCode(0), "");
}

TEST(SaxSafety, EntityBombsFailCleanly) {
    for (std::string const& bomb : {laughs(), quadratic(false), quadratic(true)}) {
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
