// The SAX adapters as the factory makes them.
#include "model/TrelSAXAttributes.h"
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXErrorHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "support.h"

namespace msxmltest {
namespace {

class BackendsTest : public BackendTest {};

struct Recorder : TrelSAXContentHandler {
    Recorder() : TrelSAXContentHandler(false) {}
    bool startElement(wchar_t const* tag, TrelSAXAttributes const*) override { return events.push_back(tag), true; }
    std::vector<std::wstring> events;
};

struct ErrorRecorder : TrelSAXErrorHandler {
    explicit ErrorRecorder(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    ~ErrorRecorder() override {
        if (destroyed_) *destroyed_ = true;
    }
    void fatalError(int l, int c, wchar_t const* m) override { ++calls, line = l, column = c, message = str(m); }
    int calls = 0, line = 0, column = 0;
    std::wstring message;
    bool* destroyed_;
};

TEST_F(BackendsTest, SAXFailuresReportFalse) {
    Recorder handler;
    XmlSmartPtr<ErrorRecorder> errors(new ErrorRecorder);
    EXPECT_FALSE(TrelSAXXMLReader::parseFile(file("missing.xml").c_str(), &handler, errors));
    EXPECT_TRUE(handler.events.empty());
    EXPECT_EQ(errors->calls, 0);

    writeFile(dir() / "bad.xml", "<r>\n  <a>text</b>\n</r>\n");
    EXPECT_FALSE(TrelSAXXMLReader::parseFile(file("bad.xml").c_str(), &handler, errors));
    EXPECT_EQ(errors->calls, 1);
    EXPECT_EQ(errors->line, 2);
    EXPECT_GT(errors->column, 0);
    EXPECT_NE(errors->message, L"");

    writeFile(dir() / "good.xml", "<r/>");
    XmlSmartPtr<TrelSAXXMLReader> reader = factory()->createSAXXMLReader();
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->parseFile(file("good.xml").c_str())) << "no handlers at all";
    EXPECT_FALSE(reader->parseFile(nullptr));
}

// Handlers of both kinds may live on the caller's stack for one parse: no
// adapter deletes them, and none outlives the parse to call them later.
TEST_F(BackendsTest, SAXHandlersOnTheStackSurviveTheReader) {
    writeFile(dir() / "doc.xml", "<r><c/></r>");
    writeFile(dir() / "bad.xml", "<r>");
    bool destroyed = false;
    {
        XmlSmartPtr<TrelSAXXMLReader> reader = factory()->createSAXXMLReader();
        ASSERT_TRUE(reader);
        Recorder handler;
        ErrorRecorder errors(&destroyed);
        reader->setContentHandler(&handler);
        reader->setErrorHandler(&errors);
        EXPECT_TRUE(reader->parseFile(file("doc.xml").c_str()));
        EXPECT_FALSE(reader->parseFile(file("bad.xml").c_str()));
        EXPECT_EQ(1, errors.calls);
        EXPECT_EQ((std::vector<std::wstring>{L"r", L"c", L"r"}), handler.events);
        reader = nullptr;  // the engine lets go of its adapters here
        EXPECT_FALSE(destroyed);
        EXPECT_TRUE(TrelSAXXMLReader::parseFile(file("doc.xml").c_str(), &handler, &errors));
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed) << "only by its own scope";
}

}  // namespace
}  // namespace msxmltest
