// The SAX reader: events and names, stops, errors, safety, inputs.
#include "sax_fixture.h"

using namespace saxtest;

namespace {

using Events = std::vector<std::string>;

std::string utf16le(std::wstring const& s) {
    std::string out;
    for (wchar_t c : s) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}

}  // namespace

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

TEST(SaxEvents, NamespacePrefixesFeatureListsDeclarationsAsAttributes) {
    auto reader = newReader();
    ASSERT_EQ(S_OK, reader->putFeature(L"http://xml.org/sax/features/namespace-prefixes", VARIANT_TRUE));
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseText(reader.get(), L"<p:r xmlns:p='urn:p' xmlns='urn:d' x='1'/>"));
    EXPECT_EQ("start urn:p|r|p:r @http://www.w3.org/2000/xmlns/|p|xmlns:p=urn:p "
              "@http://www.w3.org/2000/xmlns/|xmlns|xmlns=urn:d @|x|x=1",
              rec->matching("start ")[0]);
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

TEST(SaxEvents, CommentsPisAndWhiteSpaceAreReported) {
    auto reader = newReader();
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseText(reader.get(), L"<?xml version='1.0'?>\n<!--top--><r>\n <?go now?><!-- c --></r>"));
    Events expected{"startDocument", "comment top", "start |r|r", "chars \n ", "pi go|now",
                    "comment  c ", "end |r|r", "endDocument"};
    EXPECT_EQ(expected, rec->events);
}

TEST(SaxEvents, AttributeLookupsByNameAndQualifiedName) {
    auto reader = newReader();
    auto rec = record(reader.get());
    rec->inspect = [&](ISAXAttributes* a) {
        wchar_t const* v = nullptr;
        int n = 0, index = -2;
        std::string line;
        line += SUCCEEDED(a->getValueFromName(L"urn:p", 5, L"b", 1, &v, &n)) ? narrow({v, size_t(n)}) : "-";
        line += SUCCEEDED(a->getValueFromName(L"", 0, L"b", 1, &v, &n)) ? "," + narrow({v, size_t(n)}) : ",-";
        line += SUCCEEDED(a->getValueFromQName(L"p:b", 3, &v, &n)) ? "," + narrow({v, size_t(n)}) : ",-";
        line += SUCCEEDED(a->getIndexFromQName(L"zz", 2, &index)) ? ",found" : ",-";
        line += "," + std::to_string(index);
        line += FAILED(a->getValue(7, &v, &n)) ? ",bad-index" : ",?";
        rec->lookups.push_back(line);
    };
    ASSERT_EQ(S_OK, parseText(reader.get(), L"<r xmlns:p='urn:p' p:b='pv' b='plain'/>"));
    ASSERT_EQ(1u, rec->lookups.size());
    EXPECT_EQ("pv,plain,pv,-,-1,bad-index", rec->lookups[0]);
}

TEST(SaxEvents, LocatorGivesThePositionOfTheCurrentEvent) {
    auto reader = newReader();
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseText(reader.get(), L"<r>\n  <a/>\n\n<b\n x='1'/></r>"));
    ASSERT_EQ(3u, rec->positions.size());
    EXPECT_EQ('1', rec->positions[0][0]);
    EXPECT_EQ('2', rec->positions[1][0]);
    EXPECT_EQ('5', rec->positions[2][0]);  // the end of the start tag
}

// ---- stopping ---------------------------------------------------------------------

TEST(SaxStop, FailingStartTagEndsEverythingWithThatResult) {
    constexpr HRESULT kStop = static_cast<HRESULT>(0x80041234);
    auto reader = newReader();
    auto rec = record(reader.get());
    rec->fail = [](std::string const& e) { return e.rfind("start |r", 0) == 0 ? kStop : S_OK; };
    EXPECT_EQ(kStop, parseText(reader.get(), L"<r><a>text</a><b/>tail</r>"));
    EXPECT_EQ((Events{"startDocument", "start |r|r"}), rec->events);
}

TEST(SaxStop, FailureInsideAnEntityOrLateInAStreamStopsToo) {
    auto reader = newReader();
    auto rec = record(reader.get());
    rec->fail = [](std::string const& e) { return e == "start |i|i" ? E_ABORT : S_OK; };
    EXPECT_EQ(E_ABORT, parseText(reader.get(), L"<!DOCTYPE r [<!ENTITY m '<i>in</i>'>]><r>&m;&m;<z/></r>"));
    EXPECT_EQ("start |i|i", rec->events.back());
    EXPECT_TRUE(rec->matching("start |z").empty());

    std::string big = "<r>";
    for (int i = 0; i < 20000; ++i) big += "<e n='" + std::to_string(i) + "'>t</e>";
    big += "</r>";
    auto rec2 = record(reader.get());
    int seen = 0;
    rec2->fail = [&seen](std::string const& e) { return e.rfind("start |e", 0) == 0 && ++seen == 15000 ? E_FAIL : S_OK; };
    EXPECT_EQ(E_FAIL, parseBytes(reader.get(), big, 4096));
    EXPECT_EQ("start |e|e @|n|n=14999", rec2->events.back());
}

TEST(SaxStop, FailingEndDocumentIsTheResult) {
    auto reader = newReader();
    auto rec = record(reader.get());
    rec->fail = [](std::string const& e) { return e == "endDocument" ? E_ABORT : S_OK; };
    EXPECT_EQ(E_ABORT, parseText(reader.get(), L"<r/>"));
}

// ---- errors -------------------------------------------------------------------------

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

TEST(SaxErrors, ErrorLinesPastSixtyFiveThousandAreExact) {
    std::string doc = "<r>" + std::string(70000, '\n') + "<a></b></r>";
    auto reader = newReader();
    auto rec = record(reader.get());
    EXPECT_TRUE(FAILED(parseBytes(reader.get(), doc, 1000)));
    ASSERT_EQ(1u, rec->matching("fatal").size());
    EXPECT_EQ(0u, rec->matching("fatal")[0].rfind("fatal 70001:", 0));
}

// ---- safety -----------------------------------------------------------------------------

TEST(SaxSafety, ExternalEntitiesAndDtdsAreNotReadByDefault) {
    TempDir dir;
    std::string secret = dir.write("secret.txt", "TOPSECRET");
    dir.write("secret.dtd", "<!ENTITY leak 'TOPSECRET'>");
    std::string doc = "<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret + "'>]><r>&x;</r>";
    std::string pe = "<!DOCTYPE r [<!ENTITY % p SYSTEM 'file://" + dir.file("secret.dtd") + "'> %p;]><r>&leak;</r>";
    std::string ext = "<!DOCTYPE r SYSTEM 'file://" + dir.file("secret.dtd") + "'><r>&leak;</r>";
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
    std::string relative = dir.write("rel.xml", "<!DOCTYPE r [<!ENTITY x SYSTEM 'secret.txt'>]><r>&x;</r>");
    rec->events.clear();
    EXPECT_EQ(S_OK, reader->parseURL(wide(relative).c_str()));
    EXPECT_EQ((Events{"chars TOPSECRET"}), rec->matching("chars"));
}

TEST(SaxSafety, NetworkIsNeverUsedEvenWithExternalsOn) {
    auto reader = newReader();
    reader->putFeature(L"http://xml.org/sax/features/external-general-entities", VARIANT_TRUE);
    auto rec = record(reader.get());
    parseBytes(reader.get(), "<!DOCTYPE r [<!ENTITY x SYSTEM 'http://127.0.0.1:9/x'>]><r>&x;</r>");
    EXPECT_TRUE(rec->matching("chars").empty());
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

// ---- inputs and handlers ----------------------------------------------------------------

TEST(SaxInput, ReaderWithoutHandlersStillChecksTheDocument) {
    auto reader = newReader();
    EXPECT_EQ(S_OK, parseText(reader.get(), L"<r><a x='1'>t</a><!--c--></r>"));
    EXPECT_TRUE(FAILED(parseText(reader.get(), L"<r><a></r>")));
}

TEST(SaxInput, RemovedHandlersReceiveNothing) {
    auto reader = newReader();
    auto rec = record(reader.get());
    reader->putContentHandler(nullptr);
    Variant none;
    reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER, none.get());
    EXPECT_EQ(S_OK, parseText(reader.get(), L"<r><!--c--><![CDATA[x]]></r>"));
    EXPECT_TRUE(rec->events.empty());
    ComPtr<ISAXContentHandler> current;
    EXPECT_EQ(S_OK, reader->getContentHandler(current.put()));
    EXPECT_FALSE(current);
}

TEST(SaxInput, StreamsInTinyPiecesAndOtherEncodings) {
    std::string utf8 = "<?xml version='1.0' encoding='UTF-8'?><r a='\xC3\xA9'>caf\xC3\xA9</r>";
    std::string utf16 = utf16le(L"\xFEFF<?xml version='1.0' encoding='UTF-16'?><r a='\u00e9'>caf\u00e9</r>");
    std::string latin1 = "<?xml version='1.0' encoding='ISO-8859-1'?><r a='\xE9'>caf\xE9</r>";
    for (std::string const& bytes : {utf8, utf16, latin1}) {
        auto reader = newReader();
        auto rec = record(reader.get());
        EXPECT_EQ(S_OK, parseBytes(reader.get(), bytes, 1)) << bytes;
        EXPECT_EQ((Events{"start |r|r @|a|a=\xC3\xA9", "chars caf\xC3\xA9"}),
                  (Events{rec->matching("start ")[0], rec->matching("chars")[0]}));
    }
}

TEST(SaxInput, TextInputIgnoresTheDeclaredEncoding) {
    auto reader = newReader();
    auto rec = record(reader.get());
    EXPECT_EQ(S_OK, parseText(reader.get(), L"<?xml version='1.0' encoding='UTF-16'?><r>\u00e9\u20ac</r>"));
    EXPECT_EQ((Events{"chars \xC3\xA9\xE2\x82\xAC"}), rec->matching("chars"));
}

TEST(SaxInput, LargeStreamIsReadPieceByPiece) {
    std::string big = "<r>";
    while (big.size() < 4 * 1024 * 1024) big += "<item id='1' name='n'>some text</item>";
    big += "</r>";
    auto stream = MemoryStream::create(big);
    auto reader = newReader();
    Variant v = Variant::object(static_cast<IStream*>(stream.get()));
    EXPECT_EQ(S_OK, reader->parse(v.get()));
    EXPECT_GE(stream->readCalls, 10u);  // read in pieces, not slurped in one read
}

TEST(SaxInput, ParseURLReadsLocalFilesAndFailsOnMissingOnes) {
    TempDir dir;
    std::string path = dir.write("a b%20c.xml", "<r>file</r>");
    auto reader = newReader();
    auto rec = record(reader.get());
    EXPECT_EQ(S_OK, reader->parseURL(wide(path).c_str()));
    EXPECT_EQ((Events{"chars file"}), rec->matching("chars"));
    rec->events.clear();
    EXPECT_TRUE(FAILED(reader->parseURL(wide(dir.file("missing.xml")).c_str())));
    EXPECT_TRUE(rec->events.empty());
    EXPECT_TRUE(FAILED(reader->parseURL(L"http://127.0.0.1:9/x.xml")));
}

TEST(SaxInput, BadInputsAndNestedParsesAreRefused) {
    auto reader = newReader();
    Variant empty;
    EXPECT_EQ(E_INVALIDARG, reader->parse(empty.get()));
    auto rec = record(reader.get());
    HRESULT nested = S_OK;
    rec->fail = [&](std::string const& e) {
        if (e == "startDocument") nested = parseText(reader.get(), L"<x/>");
        return S_OK;
    };
    EXPECT_EQ(S_OK, parseText(reader.get(), L"<r/>"));
    EXPECT_TRUE(FAILED(nested));
    EXPECT_EQ(E_INVALIDARG, reader->putFeature(L"urn:unknown-feature", VARIANT_TRUE));
    EXPECT_EQ(E_INVALIDARG, reader->putProperty(L"urn:unknown-property", empty.get()));
}

// ---- DOM input ------------------------------------------------------------------------------

TEST(SaxDom, DocumentTreeIsReportedAsEvents) {
    auto doc = loadDocument(
        L"<?xml version='1.0'?><!--head--><p:r xmlns:p='urn:p' xmlns='urn:d' a='1&amp;2'>"
        L"<e>t&lt;x</e>  <![CDATA[c]]><?pi d?><q:z xmlns:q='urn:q' q:k='v'/></p:r>");
    ASSERT_TRUE(doc);
    auto reader = newReader();
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseNode(reader.get(), doc.get()));
    Events expected{
        "startDocument",
        "comment head",
        "prefix p=urn:p",
        "prefix =urn:d",
        "start urn:p|r|p:r @|a|a=1&2",
        "start urn:d|e|e",
        "chars t<x",
        "end urn:d|e|e",
        "startCDATA",
        "chars c",
        "endCDATA",
        "pi pi|d",
        "prefix q=urn:q",
        "start urn:q|z|q:z @urn:q|k|q:k=v",
        "end urn:q|z|q:z",
        "endPrefix q",
        "end urn:p|r|p:r",
        "endPrefix ",
        "endPrefix p",
        "endDocument",
    };
    EXPECT_EQ(expected, rec->events);
}

TEST(SaxDom, ElementInputIsReportedWithTheNamespacesItNeeds) {
    auto doc = loadDocument(L"<r xmlns:p='urn:p' xmlns='urn:d'><p:a p:x='1'><b/></p:a></r>");
    ASSERT_TRUE(doc);
    ComPtr<IXMLDOMNode> a;
    ASSERT_EQ(S_OK, doc->selectSingleNode(bstr(L"//*[local-name()='a']").get(), a.put()));
    auto reader = newReader();
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseNode(reader.get(), a.get()));
    Events expected{"startDocument",       "prefix p=urn:p", "start urn:p|a|p:a @urn:p|x|p:x=1",
                    "prefix =urn:d",       "start urn:d|b|b", "end urn:d|b|b",
                    "endPrefix ",          "end urn:p|a|p:a", "endPrefix p",
                    "endDocument"};
    EXPECT_EQ(expected, rec->events);
}

TEST(SaxDom, BuiltTreesAreReportedDeclaringWhatTheyUse) {
    auto doc = newDocument();
    ComPtr<IXMLDOMNode> root, child, text, out;
    Variant element = Variant::integer(NODE_ELEMENT);
    ASSERT_EQ(S_OK, doc->createNode(element.get(), bstr(L"r").get(), bstr(L"urn:d").get(), root.put()));
    ASSERT_EQ(S_OK, doc->createNode(element.get(), bstr(L"c").get(), bstr(L"").get(), child.put()));
    ASSERT_EQ(S_OK, doc->appendChild(root.get(), out.put()));
    ASSERT_EQ(S_OK, root->appendChild(child.get(), out.put()));
    ComPtr<IXMLDOMText> t1, t2;
    doc->createTextNode(bstr(L"a ").get(), t1.put());
    doc->createTextNode(bstr(L"b").get(), t2.put());
    child->appendChild(t1.get(), out.put());
    child->appendChild(t2.get(), out.put());
    auto reader = newReader();
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseNode(reader.get(), doc.get()));
    EXPECT_EQ((Events{"start urn:d|r|r", "start |c|c"}), rec->matching("start "));
    EXPECT_EQ((Events{"prefix =urn:d", "prefix ="}), rec->matching("prefix"));
    EXPECT_EQ((Events{"chars a b"}), rec->matching("chars"));  // adjacent text nodes are one run
}

TEST(SaxDom, FailingCallbackStopsTheWalk) {
    auto doc = loadDocument(L"<r><a/><b/></r>");
    auto reader = newReader();
    auto rec = record(reader.get());
    rec->fail = [](std::string const& e) { return e == "start |a|a" ? E_ABORT : S_OK; };
    EXPECT_EQ(E_ABORT, parseNode(reader.get(), doc.get()));
    EXPECT_EQ((Events{"startDocument", "start |r|r", "start |a|a"}), rec->events);
}
