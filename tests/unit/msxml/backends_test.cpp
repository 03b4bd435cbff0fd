// The SAX adapters as the factory makes them.
#include <string>
#include <vector>

#include "model/TrelSAXAttributes.h"
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXErrorHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "support.h"

namespace msxmltest {
namespace {

class BackendsTest : public BackendTest {};

class Recorder : public TrelSAXContentHandler {
public:
    bool startElement(wchar_t const* tag, TrelSAXAttributes const*) override {
        events.push_back(tag);
        return true;
    }
    std::vector<std::wstring> events;
};

class ErrorRecorder : public TrelSAXErrorHandler {
public:
    explicit ErrorRecorder(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    ~ErrorRecorder() override {
        if (destroyed_) *destroyed_ = true;
    }
    void fatalError(int l, int c, wchar_t const* m) override {
        ++calls;
        line = l;
        column = c;
        message = m ? m : L"";
    }
    int calls = 0;
    int line = 0;
    int column = 0;
    std::wstring message;

private:
    bool* destroyed_;
};

XmlSmartPtr<TrelSAXXMLReader> newReader() { return XmlObjectFactory::getInstance()->createSAXXMLReader(); }

TEST_F(BackendsTest, SAXFailuresReportFalse) {
    // The error adapter counts its handler, so the handler lives on the heap.
    Recorder handler;
    XmlSmartPtr<ErrorRecorder> errors(new ErrorRecorder);
    EXPECT_FALSE(TrelSAXXMLReader::parseFile(file("missing.xml").c_str(), &handler, errors));
    EXPECT_TRUE(handler.events.empty());
    EXPECT_EQ(errors->calls, 0);

    writeBytes(dir() / "bad.xml", "<r>\n  <a>text</b>\n</r>\n");
    EXPECT_FALSE(TrelSAXXMLReader::parseFile(file("bad.xml").c_str(), &handler, errors));
    EXPECT_EQ(errors->calls, 1);
    EXPECT_EQ(errors->line, 2);
    EXPECT_GT(errors->column, 0);
    EXPECT_FALSE(errors->message.empty());

    writeBytes(dir() / "good.xml", "<r/>");
    auto reader = newReader();
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->parseFile(file("good.xml").c_str())) << "no handlers at all";
    EXPECT_FALSE(reader->parseFile(nullptr));
}

TEST_F(BackendsTest, SAXErrorHandlerLivesAsLongAsTheEngineKeepsIt) {
    writeBytes(dir() / "doc.xml", "<r/>");
    bool destroyed = false;
    {
        auto reader = newReader();
        ASSERT_TRUE(reader);
        {
            XmlSmartPtr<TrelSAXErrorHandler> errors(new ErrorRecorder(&destroyed));
            reader->setErrorHandler(errors);
            ASSERT_TRUE(reader->parseFile(file("doc.xml").c_str()));
        }
        EXPECT_FALSE(destroyed) << "the adapter the engine holds keeps the handler";
    }
    EXPECT_TRUE(destroyed) << "and lets go of it with the reader";
}

}  // namespace
}  // namespace msxmltest
