// The SAX adapters as the factory makes them: verdicts, the error's place,
// and handlers that live on the caller's stack.
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXErrorHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "support.h"

namespace msxmltest {
namespace {

class SAXTest : public BackendTest {};

struct Recorder : TrelSAXContentHandler {
    Recorder() : TrelSAXContentHandler(false) {}
    bool startElement(wchar_t const* tag, TrelSAXAttributes const*) override { return events.push_back(tag), true; }
    std::vector<std::wstring> events;
};

struct ErrorRecorder : TrelSAXErrorHandler {
    explicit ErrorRecorder(bool& destroyed) : destroyed_(destroyed) {}
    ~ErrorRecorder() override { destroyed_ = true; }
    void fatalError(int l, int c, wchar_t const* m) override { ++calls, line = l, column = c, message = str(m); }
    int calls = 0, line = 0, column = 0;
    std::wstring message;
    bool& destroyed_;
};

// No adapter deletes the caller's handlers, and none outlives the parse to
// call them later.
TEST_F(SAXTest, FailuresReportFalseAndHandlersOnTheStackOutliveTheReader) {
    writeFile(dir() / "doc.xml", "<r><c/></r>");
    writeFile(dir() / "bad.xml", "<r>\n  <a>text</b>\n</r>\n");
    bool destroyed = false;
    {
        Recorder handler;
        ErrorRecorder errors(destroyed);
        XmlSmartPtr<TrelSAXXMLReader> reader = factory()->createSAXXMLReader();
        ASSERT_TRUE(reader && reader->parseFile(file("doc.xml").c_str())) << "no handlers at all";
        EXPECT_FALSE(reader->parseFile(nullptr));
        reader->setContentHandler(&handler);
        reader->setErrorHandler(&errors);
        EXPECT_FALSE(reader->parseFile(file("missing.xml").c_str()));
        EXPECT_TRUE(handler.events.empty() && errors.calls == 0) << "a file that does not open is no parse";
        EXPECT_TRUE(reader->parseFile(file("doc.xml").c_str()));
        EXPECT_FALSE(reader->parseFile(file("bad.xml").c_str()));
        EXPECT_EQ(handler.events, (std::vector<std::wstring>{L"r", L"c", L"r", L"a"}));
        EXPECT_EQ(errors.calls, 1);
        EXPECT_EQ(errors.line, 2);
        EXPECT_TRUE(errors.column > 0 && !errors.message.empty());
        reader = nullptr;  // the engine lets go of its adapters here
        EXPECT_TRUE(TrelSAXXMLReader::parseFile(file("doc.xml").c_str(), &handler, &errors));
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed) << "only by its own scope";
}

}  // namespace
}  // namespace msxmltest
