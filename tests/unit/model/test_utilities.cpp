// XML_UTILITIES: text round trips, the root tag of a file, the system
// information element, and handing a document to the viewer.
#include <stdlib.h>

#include <chrono>
#include <cwchar>
#include <string>
#include <thread>

#include "model/EncodingConverter.h"
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

unsigned char const* u8(char const* s) { return reinterpret_cast<unsigned char const*>(s); }

using UtilitiesTest = ModelTest;

TEST_F(UtilitiesTest, SerializeCanTakeOverTheCallersOnlyReference) {
  EXPECT_EQ(XML_UTILITIES::serialize(nullptr, false, true), nullptr);
  EXPECT_EQ(XML_UTILITIES::serializeToUTF8(nullptr, true, true), nullptr);
  TrelDOMDocument* document = XML_UTILITIES::deserialize(L"<r a='1'><c>x</c></r>");
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(document->referenceCount(), 1) << "deserialize hands over one reference";
  std::wstring kept = take(XML_UTILITIES::serialize(document, false, false));
  EXPECT_EQ(liveDocuments(), 1);
  EXPECT_EQ(take(XML_UTILITIES::serialize(document, false, true)), kept);
  EXPECT_EQ(liveDocuments(), 0) << "the handed-over reference was the last";
  EXPECT_NE(kept.find(L"<c>x</c>"), std::wstring::npos) << kept;
}

TEST_F(UtilitiesTest, Utf8RoundTripKeepsContent) {
  XmlSmartPtr<TrelDOMDocument> original = parse(L"<r k='\u00d8 &amp; \u65e5'><a>caf\u00e9</a><b>\U0001F600</b></r>");
  for (bool indent : {false, true}) {
    unsigned char* utf8 = XML_UTILITIES::serializeToUTF8(original, indent, false);
    ASSERT_NE(utf8, nullptr);
    EXPECT_NE(std::string(reinterpret_cast<char*>(utf8)).find("caf\xc3\xa9"), std::string::npos);
    TrelDOMDocument* back = XML_UTILITIES::deserialize(utf8);
    kx_free(utf8);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(textAt(back, L"/r/@k"), L"\u00d8 & \u65e5");
    EXPECT_EQ(textAt(back, L"/r/b"), L"\U0001F600");
    back->removeReference();
  }
}

TEST(EncodingConverterTest, ShortTextStaysInlineLongTextGoesToTheHeap) {
  UTF8Converter none(nullptr);
  EXPECT_EQ(none.conv_str(), nullptr);
  UTF8Converter fits(u8((std::string(40, 'a') + "\xc3\xa9").c_str()));  // 41 + terminator: full
  EXPECT_EQ(std::wstring(fits.conv_str()), std::wstring(40, L'a') + L"\u00e9");
  EXPECT_FALSE(fits.onHeap());
  std::string longText = std::string(200, 'x') + "\xf0\x9f\x98\x80";
  UTF8Converter spills(u8(longText.c_str()));
  EXPECT_EQ(std::wstring(spills.conv_str()), std::wstring(200, L'x') + L"\U0001F600");
  EXPECT_TRUE(spills.onHeap());
}

TEST_F(UtilitiesTest, RootTagIsTheLocalNameOfTheFirstStartTag) {
  TempDir dir;
  std::wstring plain = dir.write("plain.xml", "<?xml version='1.0'?>\n<!-- c -->\n<?pi x?>\n<model a='1'><x/></model>");
  std::wstring prefixed = dir.write("prefixed.xml", "<q:doc xmlns:q='urn:q'><q:x/></q:doc>");
  // Everything after the root's start tag is broken: only a reader that
  // stops there can answer.
  std::wstring big = dir.write("big.xml", "<big attr='v'>" + std::string(1 << 20, '<') + "</wrong>");
  std::wstring broken = dir.write("broken.xml", "<?xml version='1.0'?><!-- open comment");
  EXPECT_EQ(take(XML_UTILITIES::getRootTag(plain.c_str())), L"model");
  EXPECT_EQ(take(XML_UTILITIES::getRootTag(prefixed.c_str())), L"doc");
  EXPECT_EQ(take(XML_UTILITIES::getRootTag(big.c_str())), L"big");
  EXPECT_EQ(XML_UTILITIES::getRootTag(broken.c_str()), nullptr);
  EXPECT_EQ(XML_UTILITIES::getRootTag(dir.file("missing.xml").c_str()), nullptr);
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

// QUILL_OPEN_COMMAND as a script that records the file it was asked to open.
class OpenCommand {
public:
  explicit OpenCommand(TempDir const& dir) : log_(dir.path() / "opened.log") {
    std::string const log = log_.string();
    dir.write("open.sh", "#!/bin/sh\necho \"$1\" > '" + log + ".part' && mv '" + log + ".part' '" + log + "'\n");
    std::filesystem::permissions(dir.path() / "open.sh", std::filesystem::perms::owner_all);
    setenv("QUILL_OPEN_COMMAND", (dir.path() / "open.sh").c_str(), 1);
  }
  ~OpenCommand() { unsetenv("QUILL_OPEN_COMMAND"); }
  // The opener runs detached: wait (generously) for its record.
  std::filesystem::path opened() const {
    for (int i = 0; i < 1500 && !std::filesystem::exists(log_); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::string line = readFile(log_);
    return line.substr(0, line.find('\n'));
  }

private:
  std::filesystem::path log_;
};

TEST_F(UtilitiesTest, SendToBrowserSavesIndentedAndOpensThatFile) {
  XmlSmartPtr<TrelDOMDocument> document = parse(L"<r><a>x</a></r>");
  XML_UTILITIES::sendToBrowser(nullptr, nullptr);  // nothing to show
  struct {
    char const* given;
    char const* written;
  } const cases[] = {{"shown.xml", "shown.xml"}, {"upper.XML", "upper.XML.xml"}, {"plain", "plain.xml"}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.given);
    TempDir dir;
    OpenCommand open(dir);
    XML_UTILITIES::sendToBrowser(document, dir.file(c.given).c_str());
    std::filesystem::path expected = dir.path() / c.written;
    EXPECT_EQ(open.opened(), expected);
    std::string saved = readFile(expected);
    EXPECT_NE(saved.find("\n"), std::string::npos) << "indented: " << saved;
    EXPECT_NE(saved.find("<a>x</a>"), std::string::npos) << saved;
  }
}

TEST_F(UtilitiesTest, SendToBrowserWithoutPathUsesAFreshTemporaryFile) {
  TempDir tmp, dir;
  setenv("TMPDIR", tmp.path().c_str(), 1);
  OpenCommand open(dir);
  XML_UTILITIES::sendToBrowser(parse(L"<fresh/>"), nullptr);
  std::filesystem::path opened = open.opened();
  unsetenv("TMPDIR");
  EXPECT_EQ(opened.parent_path(), tmp.path());
  EXPECT_EQ(opened.extension(), ".xml");
  EXPECT_NE(readFile(opened).find("<fresh/>"), std::string::npos);
}

}  // namespace
