// SAX handlers may live on the caller's stack: neither the reader nor the
// engine's adapters count them, so none deletes them or outlives the parse.
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXErrorHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "support.h"

namespace msxmltest {
namespace {

class SAXTest : public BackendTest {};

TEST_F(SAXTest, HandlersOnTheStackOutliveTheReader) {
    struct Tags : TrelSAXContentHandler {
        Tags() : TrelSAXContentHandler(false) {}
        bool startElement(wchar_t const* tag, TrelSAXAttributes const*) override { return tags += tag, true; }
        std::wstring tags;
    } content;
    struct Lines : TrelSAXErrorHandler {
        void fatalError(int line, int, wchar_t const*) override { lines += std::to_wstring(line); }
        std::wstring lines;
    } errors;
    writeFile(dir() / "doc.xml", "<r><c>t</c></r>");
    writeFile(dir() / "bad.xml", "<r>\n<a></r>");
    {
        XmlSmartPtr<TrelSAXXMLReader> reader = factory()->createSAXXMLReader();
        ASSERT_TRUE(reader);
        reader->setContentHandler(&content);
        reader->setErrorHandler(&errors);
        EXPECT_TRUE(reader->parseFile(file("doc.xml").c_str()));
        EXPECT_FALSE(reader->parseFile(file("bad.xml").c_str()));
    }  // the engine lets go of its adapters here
    EXPECT_TRUE(TrelSAXXMLReader::parseFile(file("doc.xml").c_str(), &content, &errors));
    EXPECT_EQ(content.tags + L"|" + errors.lines, L"rcrarc|2");
}

}  // namespace
}  // namespace msxmltest
