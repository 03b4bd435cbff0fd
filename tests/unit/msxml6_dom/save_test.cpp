// Saving: the declared encoding chooses the bytes, and a save that cannot
// be carried out (the encoding cannot hold the document, no root, no space)
// fails and keeps the old file.
#include <signal.h>
#include <sys/resource.h>

#include "tests/unit/common/engine_objects.h"
#include "tests/unit/common/as_user.h"

using namespace enginetest;

namespace {

// A document holding a declaration with `encoding` and the root `root`.
ComPtr<IXMLDOMDocument3> declared(std::wstring const& encoding, std::wstring const& root) {
    auto doc = newDocument();
    ComPtr<IXMLDOMProcessingInstruction> decl;
    EXPECT_EQ(S_OK, doc->createProcessingInstruction(Arg(L"xml"), Arg(L"version='1.0' encoding='" + encoding + L"'"),
                                                     decl.put()));
    EXPECT_TRUE(append(doc.get(), decl.get()));
    EXPECT_TRUE(append(doc.get(), createElement(doc.get(), root).get()));
    return doc;
}

// That the declaration, not the caller, decides between UTF-8 and UTF-16 is
// the object model's document test; here the other encodings.
TEST(Save, TheDeclarationChoosesTheEncoding) {
    TempDir dir;
    auto const out = dir / "out.xml";
    // ASCII: texts and values take character references.
    auto ascii = parse(L"<?xml version='1.0' encoding='US-ASCII'?><r a='\x6F22'>\x1F600<![CDATA[a]]></r>");
    ASSERT_EQ(S_OK, saveTo(ascii.get(), out));
    auto back = newDocument();
    ASSERT_TRUE(loadFile(back.get(), out.wstring()));
    EXPECT_EQ(
        L"\x1F600"
        L"a",
        textOf(rootOf(back.get()).get()));
    EXPECT_EQ(L"\x6F22", textOf(select(back.get(), L"r/@a").get()));
    for (wchar_t const* encoding : {L"UTF-16BE", L"UTF-16LE", L"windows-1252"}) {
        ASSERT_EQ(S_OK, saveTo(declared(encoding, L"\xE9").get(), out)) << encoding;
        ASSERT_TRUE(loadFile(back.get(), out.wstring())) << encoding;
        EXPECT_EQ(L"\xE9", nameOf(rootOf(back.get()).get())) << encoding;
    }
}

TEST(Save, RefusedSavesKeepThePreviousFile) {
    TempDir dir;
    auto const target = dir / "data.xml";
    writeFile(target, "<old/>");
    for (wchar_t const* encoding : {L"UTF-7", L"UTF-32", L"UTF-32LE", L"EBCDIC-US"})
        EXPECT_TRUE(FAILED(saveTo(declared(encoding, L"r").get(), target))) << encoding;
    // Latin-1 names and CDATA cannot take references.
    EXPECT_TRUE(FAILED(saveTo(declared(L"ISO-8859-1", L"\x6F22").get(), target)));
    auto cdata = parse(L"<?xml version='1.0' encoding='ISO-8859-1'?><r><![CDATA[\x6F22]]></r>");
    EXPECT_TRUE(FAILED(saveTo(cdata.get(), target)));
    EXPECT_TRUE(FAILED(saveTo(newDocument().get(), target))) << "no root element";
    EXPECT_EQ("<old/>", readFile(target));

    // Out of space (here: the file-size limit) half-way: no half-written
    // file beside the old one either.
    std::wstring big = L"<r>";
    for (int i = 0; i < 20000; ++i) big += L"<item n='" + std::to_wstring(i) + L"'>some text</item>";
    auto doc = parse(big + L"</r>");
    auto const limitedSave = [&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        return FAILED(saveTo(doc.get(), target));
    };
    EXPECT_EQ(0, testfiles::inChild(limitedSave, false)) << "the save should have reported the failure";
    EXPECT_EQ("<old/>", readFile(target));
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
    ASSERT_EQ(S_OK, saveTo(doc.get(), target));  // without the limit it goes through
    EXPECT_GT(readFile(target).size(), 64u * 1024);
}

}  // namespace
