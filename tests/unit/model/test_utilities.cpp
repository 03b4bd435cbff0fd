// XML_UTILITIES: serialising with a handed-over reference, the system
// information element and showing a document in the viewer.
#include <unistd.h>

#include <filesystem>

#include "model/XML_UTILITIES.h"
#include "model_test_support.h"
#include "platform/host/system.h"
#include "platform/host/ux_string.h"

using namespace modeltest;

namespace {

// The wide text of a host string, which is freed.
std::wstring take(wchar_t* text) {
    std::wstring copy = testfiles::str(text);
    ux_strfree(text);
    return copy;
}

TEST_F(ModelTest, SystemInfoHasTheSixFactsInOrder) {
    XmlSmartPtr<TrelDOMDocument> document(factory()->createDocument());
    TrelDOMElement* raw = XML_UTILITIES::systemInfoToXML(document, L"s:System", L"urn:sys");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->referenceCount(), 0);
    XmlSmartPtr<TrelDOMElement> info(raw);
    EXPECT_STREQ(info->getNamespace(), L"urn:sys");
    TrelDOMElementPtrArray children;
    info->getChildren(children);
    std::wstring facts;
    for (long i = 0; i < children.size(); ++i)
        facts += testfiles::str(children.elt(i)->getTag()) + L"=" +
                 (i < 4 ? testfiles::str(children.elt(i)->getText()) : L"") + L";";
    EXPECT_EQ(facts, L"Application=Quillmark;Version=" + std::wstring(SYSTEM::program_version_string()) +
                         L";Hostname=" + SYSTEM::fullhostname() + L";User=" + SYSTEM::username() + L";Date=;Time=;");
    EXPECT_TRUE(children.elt(4)->getText() && children.elt(5)->getText());
    EXPECT_EQ(XML_UTILITIES::systemInfoToXML(nullptr, L"x", nullptr), nullptr);
}

// The viewer is a script that appends the name it was given to a log and
// says so by a marker file, written last. Without a name the document goes
// to a fresh one in the temporary folder.
TEST_F(ModelTest, SendToBrowserSavesIndentedUnderAnXmlNameAndOpensIt) {
    TempDir files, viewer;
    testfiles::ScopedEnv tmp("TMPDIR", files.path().string());
    testfiles::ScopedEnv command("QUILL_OPEN_COMMAND", (viewer / "viewer.sh").string());
    viewer.write("viewer.sh",
                 "#!/bin/sh\nd=\"$(dirname \"$0\")\"\nprintf '%s\\n' \"$1\" >> \"$d/opened\"\n"
                 "touch \"$d/done-$(wc -l < \"$d/opened\")\"\n");
    std::filesystem::permissions(viewer / "viewer.sh", std::filesystem::perms::owner_all);
    auto opened = [&](int n) {  // the n-th name opened, once the detached viewer has written it
        for (int i = 0; i < 2000 && !std::filesystem::exists(viewer / ("done-" + std::to_string(n))); ++i) usleep(5000);
        std::string log = readFile(viewer / "opened");
        for (int line = 1; line < n; ++line) log.erase(0, log.find('\n') + 1);
        return std::filesystem::path(log.substr(0, log.find('\n')));
    };
    auto document = parse(L"<r><c>x</c></r>");
    XML_UTILITIES::sendToBrowser(nullptr, files.file("none.xml").c_str());
    EXPECT_FALSE(std::filesystem::exists(files / "none.xml"));
    XML_UTILITIES::sendToBrowser(document, files.file("a.xml").c_str());
    EXPECT_EQ(opened(1), files / "a.xml");
    EXPECT_NE(readFile(files / "a.xml").find("\n\t<c>x</c>"), std::string::npos) << "indented";
    XML_UTILITIES::sendToBrowser(document, files.file("b.XML").c_str());
    EXPECT_EQ(opened(2), files / "b.XML.xml");
    XML_UTILITIES::sendToBrowser(document, nullptr);
    EXPECT_EQ(opened(3).parent_path(), files.path());
    EXPECT_EQ(opened(3).extension(), ".xml");
    EXPECT_NE(readFile(opened(3)).find("<c>x</c>"), std::string::npos);
}

}  // namespace
