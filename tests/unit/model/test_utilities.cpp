// XML_UTILITIES: serialising, the system information element and showing
// a document in the viewer (the root tag of a file: test-xml-services.lsp).
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

using UtilitiesTest = ModelTest;

TEST_F(UtilitiesTest, SerializeCanTakeOverTheCallersOnlyReference) {
    EXPECT_EQ(XML_UTILITIES::serialize(nullptr, false, true), nullptr);
    EXPECT_EQ(XML_UTILITIES::serializeToUTF8(nullptr, true, true), nullptr);
    TrelDOMDocument* document = XML_UTILITIES::deserialize(L"<r a='1'><c>x</c></r>");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->referenceCount(), 1) << "deserialize hands over one reference";
    std::wstring kept = take(XML_UTILITIES::serialize(document, false, false));
    EXPECT_NE(kept.find(L"<c>x</c>"), std::wstring::npos) << kept;
    EXPECT_NE(take(XML_UTILITIES::serialize(document, true, false)).find(L"\n\t<c>x</c>"), std::wstring::npos);
    EXPECT_EQ(liveDocuments(), 1);
    EXPECT_EQ(take(XML_UTILITIES::serialize(document, false, true)), kept);
    EXPECT_EQ(liveDocuments(), 0) << "the handed-over reference was the last";
}

TEST_F(UtilitiesTest, SystemInfoHasTheSixFactsInOrder) {
    XmlSmartPtr<TrelDOMDocument> document(factory()->createDocument());
    TrelDOMElement* raw = XML_UTILITIES::systemInfoToXML(document, L"s:System", L"urn:sys");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->referenceCount(), 0);
    XmlSmartPtr<TrelDOMElement> info(raw);
    EXPECT_STREQ(info->getNamespace(), L"urn:sys");
    TrelDOMElementPtrArray children;
    info->getChildren(children);
    std::wstring tags;
    for (long i = 0; i < children.size(); ++i) {
        std::wstring const tag = testfiles::str(children.elt(i)->getTag());
        tags += tag.substr(tag.find(L':') + 1) + L";";
        EXPECT_NE(children.elt(i)->getText(), nullptr) << i;
    }
    EXPECT_EQ(tags, L"Application;Version;Hostname;User;Date;Time;");
    ASSERT_EQ(children.size(), 6);
    wchar_t const* const facts[] = {L"Quillmark", SYSTEM::program_version_string(), SYSTEM::fullhostname(),
                                    SYSTEM::username()};
    for (long i = 0; i < 4; ++i) EXPECT_EQ(testfiles::str(children.elt(i)->getText()), facts[i]) << i;
    EXPECT_EQ(XML_UTILITIES::systemInfoToXML(nullptr, L"x", nullptr), nullptr);
}

// The viewer is a script that appends the name it was given to a log and
// says so by a marker file, written last.
class Viewer {
public:
    Viewer() : command_("QUILL_OPEN_COMMAND", (dir_ / "viewer.sh").string()) {
        dir_.write("viewer.sh",
                   "#!/bin/sh\nd=\"$(dirname \"$0\")\"\nprintf '%s\\n' \"$1\" >> \"$d/opened\"\n"
                   "touch \"$d/done-$(wc -l < \"$d/opened\")\"\n");
        std::filesystem::permissions(dir_ / "viewer.sh", std::filesystem::perms::owner_all);
    }
    // The n-th name opened (from 1); waits for the detached viewer to finish.
    std::string opened(int n) const {
        for (int i = 0; i < 2000 && !std::filesystem::exists(dir_ / ("done-" + std::to_string(n))); ++i) usleep(5000);
        std::string log = readFile(dir_ / "opened");
        for (int line = 1; line < n; ++line) log.erase(0, log.find('\n') + 1);
        return log.substr(0, log.find('\n'));
    }

private:
    TempDir dir_;
    testfiles::ScopedEnv command_;
};

TEST_F(UtilitiesTest, SendToBrowserSavesIndentedUnderAnXmlNameAndOpensIt) {
    TempDir files;
    testfiles::ScopedEnv tmp("TMPDIR", files.path().string());
    Viewer viewer;
    XmlSmartPtr<TrelDOMDocument> document = parse(L"<r><c>x</c></r>");
    XML_UTILITIES::sendToBrowser(nullptr, files.file("none.xml").c_str());
    EXPECT_FALSE(std::filesystem::exists(files / "none.xml"));
    XML_UTILITIES::sendToBrowser(document, files.file("a.xml").c_str());
    EXPECT_EQ(viewer.opened(1), (files / "a.xml").string());
    EXPECT_NE(readFile(files / "a.xml").find("\n\t<c>x</c>"), std::string::npos) << "indented";
    XML_UTILITIES::sendToBrowser(document, files.file("b.XML").c_str());
    EXPECT_EQ(viewer.opened(2), (files / "b.XML.xml").string());
    // Without a name, a fresh one in the temporary folder.
    XML_UTILITIES::sendToBrowser(document, nullptr);
    std::filesystem::path const fresh = viewer.opened(3);
    EXPECT_EQ(fresh.parent_path(), files.path());
    EXPECT_EQ(fresh.extension(), ".xml");
    EXPECT_NE(readFile(fresh).find("<c>x</c>"), std::string::npos);
}

}  // namespace
