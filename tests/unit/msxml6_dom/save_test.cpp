// Saving: encodings chosen by the declaration, and the rule that a failed
// save keeps the old file.
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

TEST(Save, WithoutDeclarationUtf8AndNoDeclaration) {
    auto doc = parse(L"<r>\u00e9<!--c--></r>");
    TempDir dir;
    ASSERT_EQ(S_OK, saveTo(doc.get(), dir / "out.xml"));
    EXPECT_EQ("<r>\xC3\xA9<!--c--></r>\n", readFile(dir / "out.xml"));
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

}  // namespace
