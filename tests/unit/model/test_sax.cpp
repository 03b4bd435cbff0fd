// Event-by-event parsing through the SAX interfaces and the one-call parse.
#include <string>
#include <vector>

#include "model/TrelSAXAttributes.h"
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXErrorHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "model_test_support.h"

using namespace modeltest;

namespace {

// Writes each event as a line ("start r a=1", "text[x]") and stops the
// parse after the line `stopAt`.
class EventLog : public TrelSAXContentHandler, TrelSAXAttributeVisitor {
public:
  explicit EventLog(std::wstring stopAt = L"") : TrelSAXContentHandler(true), stopAt_(std::move(stopAt)) {}
  bool startDocument() override { return note(L"begin"); }
  bool endDocument() override { return note(L"end"); }
  bool startElement(wchar_t const* tag, TrelSAXAttributes const* attributes) override {
    line_ = std::wstring(L"start ") + tag;
    attributes->scan(this);
    return note(line_);
  }
  bool endElement(wchar_t const* tag) override { return note(std::wstring(L"/") + tag); }
  bool characters(wchar_t const* text) override { return note(std::wstring(L"text[") + text + L"]"); }
  bool visit(wchar_t const* key, wchar_t const* value) override {
    line_ += std::wstring(L" ") + key + L"=" + value;
    return true;
  }
  std::vector<std::wstring> events;

private:
  bool note(std::wstring const& line) {
    events.push_back(line);
    return line != stopAt_;
  }
  std::wstring stopAt_, line_;
};

struct ErrorLog : TrelSAXErrorHandler {
  void fatalError(int line, int column, wchar_t const* message) override {
    calls++, this->line = line, this->column = column, this->message = message;
  }
  int calls = 0, line = 0, column = 0;
  std::wstring message;
};

using SaxTest = ModelTest;

TEST_F(SaxTest, StopAtTheFirstStartTagSeesNothingAfterIt) {
  TempDir dir;
  std::wstring file = dir.write("doc.xml", "<r a='1'><c>text</c><d/></r>");
  EventLog log(L"start r a=1");
  EXPECT_FALSE(TrelSAXXMLReader::parseFile(file.c_str(), &log, nullptr));
  EXPECT_EQ(log.events, (std::vector<std::wstring>{L"begin", L"start r a=1"}));
}

TEST_F(SaxTest, EventsUseLocalNamesAndTrimmedText) {
  TempDir dir;
  std::wstring file =
      dir.write("doc.xml", "<r>\n  <p:a xmlns:p='urn:p' p:k='v' n='2'>  a b  </p:a>\n  <e> \n </e>\n</r>\n");
  EventLog log;
  ASSERT_TRUE(TrelSAXXMLReader::parseFile(file.c_str(), &log, nullptr));
  EXPECT_EQ(log.events, (std::vector<std::wstring>{L"begin", L"start r", L"start a k=v n=2", L"text[a b]",
                                                   L"/a", L"start e", L"/e", L"/r", L"end"}));
}

TEST_F(SaxTest, AttributeListsAnswerByLocalName) {
  struct Probe : TrelSAXContentHandler, TrelSAXAttributeVisitor {
    bool startElement(wchar_t const*, TrelSAXAttributes const* attributes) override {
      wchar_t const* k = attributes->getValue(L"k");
      value = k ? k : L"(null)";
      samePointer = k == attributes->getValue(L"k");
      missing = attributes->getValue(L"none") == nullptr;
      scanResult = attributes->scan(this);
      return false;
    }
    bool visit(wchar_t const*, wchar_t const*) override { return ++visited > 1; }
    std::wstring value;
    bool samePointer = false, missing = false, scanResult = true;
    int visited = 0;
  } probe;
  TempDir dir;
  std::wstring file = dir.write("doc.xml", "<r xmlns:p='urn:p' k='v' p:m='x' o='y'/>");
  TrelSAXXMLReader::parseFile(file.c_str(), &probe, nullptr);
  EXPECT_EQ(probe.value, L"v");
  EXPECT_TRUE(probe.samePointer && probe.missing);
  EXPECT_FALSE(probe.scanResult) << "a false visit ends the scan with false";
  EXPECT_EQ(probe.visited, 1);
}

TEST_F(SaxTest, BaseHandlersParseAnyWellFormedFile) {
  TempDir dir;
  std::wstring file = dir.write(
      "doc.xml", "<?xml version='1.0'?>\n<!--c--><r><a b='c'>t<![CDATA[x]]></a><?pi d?></r>");
  TrelSAXContentHandler content;
  // The reader counts error handlers, so they live on the heap.
  XmlSmartPtr<TrelSAXErrorHandler> errors(new TrelSAXErrorHandler);
  EXPECT_TRUE(TrelSAXXMLReader::parseFile(file.c_str(), &content, errors));
  EXPECT_TRUE(TrelSAXXMLReader::parseFile(file.c_str(), nullptr, nullptr));
  EXPECT_FALSE(content.getIgnoreWhitespace());
}

TEST_F(SaxTest, FailuresReachTheErrorHandlerOnlyForMalformedFiles) {
  TempDir dir;
  std::wstring bad = dir.write("bad.xml", "<r>\n  <a>text</b>\n</r>");
  EventLog log;
  XmlSmartPtr<ErrorLog> errors(new ErrorLog);
  EXPECT_FALSE(TrelSAXXMLReader::parseFile(dir.file("missing.xml").c_str(), &log, errors));
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(errors->calls, 0);
  EXPECT_FALSE(TrelSAXXMLReader::parseFile(bad.c_str(), &log, errors));
  EXPECT_EQ(errors->calls, 1);
  EXPECT_EQ(errors->line, 2);
  EXPECT_GT(errors->column, 0);
  EXPECT_FALSE(errors->message.empty());
  EXPECT_EQ(errors->referenceCount(), 1) << "the reader is gone and holds no reference";
}

}  // namespace
