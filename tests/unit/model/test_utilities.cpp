// XML_UTILITIES: serialising, the root tag of a file and the system
// information element.
#include <cwchar>
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
  EXPECT_EQ(liveDocuments(), 1);
  EXPECT_EQ(take(XML_UTILITIES::serialize(document, false, true)), kept);
  EXPECT_EQ(liveDocuments(), 0) << "the handed-over reference was the last";
  EXPECT_NE(kept.find(L"<c>x</c>"), std::wstring::npos) << kept;
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

}  // namespace
