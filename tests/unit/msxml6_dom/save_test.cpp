// Saving and serialising: encodings chosen by the declaration, inherited
// namespace declarations, and the rule that a failed save keeps the old file.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "dom_fixture.h"

using namespace domtest;

namespace {

HRESULT saveTo(IXMLDOMDocument3* doc, std::filesystem::path const& path) {
    Arg p(wide(path));
    return doc->save(textVariant(p));
}

size_t filesIn(std::filesystem::path const& dir) {
    size_t n = 0;
    for ([[maybe_unused]] auto const& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

std::wstring fromUtf16le(std::string const& bytes) {
    std::wstring out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return out;
}

TEST(Save, Utf16DeclarationGivesUtf16BytesWithBom) {
    auto doc = parse(L"<?xml version='1.0' encoding='UTF-16'?><r a='\u00e9'>\u00fc</r>");
    TempDir dir;
    ASSERT_EQ(S_OK, saveTo(doc.get(), dir / "out.xml"));
    std::string bytes = readFile(dir / "out.xml");
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(std::string("\xFF\xFE", 2), bytes.substr(0, 2));
    EXPECT_EQ(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r a=\"\u00e9\">\u00fc</r>\n", fromUtf16le(bytes.substr(2)));
    auto back = newDocument();
    ASSERT_TRUE(loadFile(back.get(), wide(dir / "out.xml")));
    EXPECT_EQ(L"\u00fc", textOf(rootOf(back.get()).get()));
}

TEST(Save, DeclarationAddedLaterDecidesTheEncoding) {
    auto doc = parse(L"<r>\u00e9</r>");
    ComPtr<IXMLDOMProcessingInstruction> pi;
    doc->createProcessingInstruction(Arg(L"xml"), Arg(L"version='1.0' encoding='UTF-16'"), pi.put());
    ComPtr<IXMLDOMNode> out;
    ASSERT_EQ(S_OK, doc->appendChild(pi.get(), out.put()));
    TempDir dir;
    ASSERT_EQ(S_OK, saveTo(doc.get(), dir / "out.xml"));
    std::wstring text = fromUtf16le(readFile(dir / "out.xml").substr(2));
    EXPECT_EQ(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r>\u00e9</r>\n", text);
}

TEST(Save, WithoutDeclarationUtf8AndNoDeclaration) {
    auto doc = parse(L"<r>\u00e9<!--c--></r>");
    TempDir dir;
    ASSERT_EQ(S_OK, saveTo(doc.get(), dir / "out.xml"));
    EXPECT_EQ("<r>\xC3\xA9<!--c--></r>\n", readFile(dir / "out.xml"));
}

TEST(Save, LoadedEncodingIsKept) {
    TempDir dir;
    writeFile(dir / "in.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>caf\xE9</r>\n");
    auto doc = newDocument();
    ASSERT_TRUE(loadFile(doc.get(), wide(dir / "in.xml")));
    ASSERT_EQ(S_OK, saveTo(doc.get(), dir / "out.xml"));
    EXPECT_EQ(readFile(dir / "in.xml"), readFile(dir / "out.xml"));
}

TEST(Save, ReplacesAnExistingFileCompletely) {
    TempDir dir;
    writeFile(dir / "out.xml", std::string(5000, 'x'));
    ASSERT_EQ(S_OK, saveTo(parse(L"<r/>").get(), dir / "out.xml"));
    EXPECT_EQ("<r/>\n", readFile(dir / "out.xml"));
    EXPECT_EQ(1u, filesIn(dir.path()));
}

TEST(Save, ImpossibleTargetsFailWithoutLeftovers) {
    TempDir dir;
    auto doc = parse(L"<r/>");
    EXPECT_TRUE(FAILED(saveTo(doc.get(), dir / "missing" / "out.xml")));
    std::filesystem::create_directory(dir / "sub");
    EXPECT_TRUE(FAILED(saveTo(doc.get(), dir / "sub")));
    EXPECT_EQ(1u, filesIn(dir.path()));
}

// A save that runs out of space (here: the file-size limit) must leave the
// previous file exactly as it was and no half-written file beside it.
TEST(Save, FailedWriteKeepsThePreviousFile) {
    TempDir dir;
    auto target = dir / "data.xml";
    writeFile(target, "<old/>");
    std::wstring big = L"<r>";
    for (int i = 0; i < 20000; ++i) big += L"<item n='" + std::to_wstring(i) + L"'>some text</item>";
    big += L"</r>";
    auto doc = parse(big);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(FAILED(saveTo(doc.get(), target)) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "the save should have reported the failure";
    EXPECT_EQ("<old/>", readFile(target));
    EXPECT_EQ(1u, filesIn(dir.path()));
    // Without the limit the same save goes through.
    ASSERT_EQ(S_OK, saveTo(doc.get(), target));
    EXPECT_GT(readFile(target).size(), 64u * 1024);
}

TEST(Save, SaveToAStreamAndToAnotherDocument) {
    TempDir dir;
    auto doc = parse(L"<r><a/></r>");
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, SHCreateStreamOnFileW(wide(dir / "s.xml").c_str(), STGM_CREATE | STGM_WRITE, &stream));
    EXPECT_EQ(S_OK, doc->save(objectVariant(stream)));
    stream->Release();
    EXPECT_EQ("<r><a/></r>\n", readFile(dir / "s.xml"));
    auto other = newDocument();
    EXPECT_EQ(S_OK, doc->save(objectVariant(other.get(), VT_DISPATCH)));
    EXPECT_EQ(L"<r><a/></r>\n", xmlOf(other.get()));
}

TEST(Serialise, NodeTextCarriesInheritedNamespaces) {
    auto doc = parse(L"<r xmlns='urn:d' xmlns:p='urn:p'><p:a x='&lt;&amp;'><b>t&gt;</b></p:a></r>");
    auto r = rootOf(doc.get());
    EXPECT_EQ(L"<p:a xmlns:p=\"urn:p\" xmlns=\"urn:d\" x=\"&lt;&amp;\"><b>t&gt;</b></p:a>",
              xmlOf(select(r.get(), L"*").get()));
    EXPECT_EQ(L"x=\"&lt;&amp;\"", xmlOf(select(r.get(), L"*/@x").get()));
    EXPECT_EQ(L"t&gt;", xmlOf(select(r.get(), L"*/*/text()").get()));
    ComPtr<IXMLDOMNamedNodeMap> map;
    r->get_attributes(map.put());
    ComPtr<IXMLDOMNode> decl;
    map->getNamedItem(Arg(L"xmlns:p"), decl.put());
    EXPECT_EQ(L"xmlns:p=\"urn:p\"", xmlOf(decl.get()));
    // The document's text reads back into the same tree.
    auto again = parse(xmlOf(doc.get()));
    EXPECT_EQ(xmlOf(doc.get()), xmlOf(again.get()));
}

}  // namespace
