// XML_UTILITIES: serialising, the system information element and showing
// a document in the viewer (the root tag of a file: test-xml-services.lsp).
#include <unistd.h>

#include <cwchar>
#include <filesystem>
#include <string>

#include "model/XML_UTILITIES.h"
#include "model_test_support.h"
#include "platform/host/system.h"
#include "platform/host/ux_string.h"

using namespace modeltest;

namespace {

// The wide text of a host string, which is freed.
std::wstring take(wchar_t* text) {
  std::wstring copy = text ? text : L"(null)";
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
  EXPECT_NE(take(XML_UTILITIES::serialize(document, true, false)).find(L"\n\t<c>x</c>"), std::wstring::npos);
  EXPECT_EQ(liveDocuments(), 1);
  EXPECT_EQ(take(XML_UTILITIES::serialize(document, false, true)), kept);
  EXPECT_EQ(liveDocuments(), 0) << "the handed-over reference was the last";
  EXPECT_NE(kept.find(L"<c>x</c>"), std::wstring::npos) << kept;
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
  ASSERT_EQ(children.size(), 6);
  wchar_t const* const tags[] = {L"Application", L"Version", L"Hostname", L"User", L"Date", L"Time"};
  for (long i = 0; i < 6; ++i) {
    std::wstring tag = children.elt(i)->getTag();
    EXPECT_EQ(tag.substr(tag.find(L':') + 1), tags[i]);
    EXPECT_NE(children.elt(i)->getText(), nullptr) << i;
  }
  EXPECT_STREQ(children.elt(0)->getText(), L"Quillmark");
  EXPECT_STREQ(children.elt(1)->getText(), SYSTEM::program_version_string());
  EXPECT_STREQ(children.elt(2)->getText(), SYSTEM::fullhostname());
  EXPECT_STREQ(children.elt(3)->getText(), SYSTEM::username());
  EXPECT_EQ(XML_UTILITIES::systemInfoToXML(nullptr, L"x", nullptr), nullptr);
}

// The viewer is a script that appends the name it was given to a log and
// says so by a marker file, written last.
class Viewer {
public:
  Viewer() : script_(dir_.write("viewer.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/opened\"\n"
                                             "touch \"$(dirname \"$0\")/done-$(wc -l < \"$(dirname \"$0\")/opened\")\"\n")),
             command_("QUILL_OPEN_COMMAND", (dir_ / "viewer.sh").string()) {
    std::filesystem::permissions(dir_ / "viewer.sh", std::filesystem::perms::owner_all);
  }
  // The n-th name opened (from 1); waits for the detached viewer to finish.
  std::string opened(int n) const {
    std::string const marker = "done-" + std::to_string(n);
    for (int i = 0; i < 2000 && !std::filesystem::exists(dir_ / marker); ++i) usleep(5000);
    std::string log = readFile(dir_ / "opened");
    for (int line = 1; line < n; ++line) log.erase(0, log.find('\n') + 1);
    return log.substr(0, log.find('\n'));
  }
  bool anyOpened() const { return std::filesystem::exists(dir_ / "opened"); }

private:
  TempDir dir_;
  std::wstring script_;
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
  EXPECT_TRUE(std::filesystem::exists(files / "b.XML.xml"));
}

}  // namespace
