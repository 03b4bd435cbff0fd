// Event-by-event parsing through the SAX interfaces.
#include <string>
#include <vector>

#include "model/TrelSAXAttributes.h"
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "model_test_support.h"

using namespace modeltest;

namespace {

// Logs start tags with their attributes and stops after the first one.
class EventLog : public TrelSAXContentHandler, TrelSAXAttributeVisitor {
public:
  EventLog() : TrelSAXContentHandler(true) {}
  bool startDocument() override { return log(L"begin"), true; }
  bool startElement(wchar_t const* tag, TrelSAXAttributes const* attributes) override {
    log(std::wstring(L"start ") + tag);
    attributes->scan(this);
    return false;
  }
  bool characters(wchar_t const* text) override { return log(text), true; }
  bool visit(wchar_t const* key, wchar_t const* value) override {
    events.back() += std::wstring(L" ") + key + L"=" + value;
    return true;
  }
  void log(std::wstring const& line) { events.push_back(line); }
  std::vector<std::wstring> events;
};

using SaxTest = ModelTest;

TEST_F(SaxTest, StopAtTheFirstStartTagSeesNothingAfterIt) {
  TempDir dir;
  std::wstring file = dir.write("doc.xml", "<r a='1'><c>text</c><d/></r>");
  EventLog log;
  EXPECT_FALSE(TrelSAXXMLReader::parseFile(file.c_str(), &log, nullptr));
  EXPECT_EQ(log.events, (std::vector<std::wstring>{L"begin", L"start r a=1"}));
}

}  // namespace
