// The SAX adapters, and the XSLT and XSD backends as the factory makes them.
#include <string>
#include <vector>

#include "model/TrelSAXAttributes.h"
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXErrorHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "model/TrelXSDValidator.h"
#include "model/TrelXSLTProcessor.h"
#include "msxml/MsxmlSAX.h"
#include "support.h"

namespace msxmltest {
namespace {

class BackendsTest : public BackendTest {};

class Recorder : public TrelSAXContentHandler {
public:
    explicit Recorder(bool ignoreWhitespace = false) : TrelSAXContentHandler(ignoreWhitespace) {}
    bool startElement(wchar_t const* tag, TrelSAXAttributes const* attributes) override {
        events.push_back(L"<" + std::wstring(tag));
        if (wchar_t const* id = attributes->getValue(L"id")) {
            events.push_back(L"id=" + std::wstring(id));
            samePointer = samePointer && attributes->getValue(L"id") == id;
        }
        absentIsNull = absentIsNull && attributes->getValue(L"absent") == nullptr;
        return true;
    }
    bool endElement(wchar_t const* tag) override {
        events.push_back(L">" + std::wstring(tag));
        return true;
    }
    bool characters(wchar_t const* text) override {
        events.push_back(L"[" + std::wstring(text) + L"]");
        return true;
    }
    std::vector<std::wstring> events;
    bool samePointer = true;
    bool absentIsNull = true;
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

TEST(SAXStringTest, CopiesAndTrimsCountedText) {
    wchar_t const source[] = L"  a b  tail";
    SAXString plain(source, 7, false);
    EXPECT_EQ(std::wstring(plain), L"  a b  ");
    SAXString trimmed(source, 7, true);
    EXPECT_EQ(std::wstring(trimmed), L"a b");
    EXPECT_TRUE(SAXString(source, 2, true).isEmpty());
    EXPECT_TRUE(SAXString(nullptr, 0, false).isEmpty());
    std::wstring const longText(1000, L'x');
    SAXString heap((L"\n" + longText + L"\t").c_str(), 1002, true);
    EXPECT_EQ(std::wstring(heap), longText);
}

TEST_F(BackendsTest, SAXDeliversLocalNamesAttributesAndTextRuns) {
    writeBytes(dir() / "doc.xml",
               "<p:r xmlns:p='urn:p' id='1'>\n  <a id='2'>  a b  </a>\n  <b/>\n</p:r>\n");
    Recorder trimmed(true);
    ASSERT_TRUE(TrelSAXXMLReader::parseFile(file("doc.xml").c_str(), &trimmed, nullptr));
    EXPECT_EQ(trimmed.events, (std::vector<std::wstring>{L"<r", L"id=1", L"<a", L"id=2", L"[a b]", L">a", L"<b",
                                                         L">b", L">r"}));
    EXPECT_TRUE(trimmed.samePointer);
    EXPECT_TRUE(trimmed.absentIsNull);

    Recorder raw(false);
    ASSERT_TRUE(TrelSAXXMLReader::parseFile(file("doc.xml").c_str(), &raw, nullptr));
    std::wstring joined;
    for (auto const& e : raw.events)
        if (e[0] == L'[') joined += e;
    EXPECT_NE(joined.find(L"[  a b  ]"), std::wstring::npos) << joined;
    EXPECT_NE(joined.find(L"\n  "), std::wstring::npos) << "indentation is delivered when not ignored";
}

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

TEST_F(BackendsTest, SAXReaderReusedAfterAHandlerIsCleared) {
    writeBytes(dir() / "doc.xml", "<r><a/></r>");
    auto reader = newReader();
    ASSERT_TRUE(reader);
    Recorder first;
    reader->setContentHandler(&first);
    ASSERT_TRUE(reader->parseFile(file("doc.xml").c_str()));
    size_t const seen = first.events.size();
    EXPECT_EQ(seen, 4u);
    reader->setContentHandler(nullptr);
    ASSERT_TRUE(reader->parseFile(file("doc.xml").c_str()));
    EXPECT_EQ(first.events.size(), seen) << "a cleared handler hears nothing more";
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

TEST_F(BackendsTest, ValidationUsesOnlyThisValidatorsSchema) {
    writeBytes(dir() / "ints.xsd",
               "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
               "<xs:element name='r' type='xs:int'/></xs:schema>");
    writeBytes(dir() / "strings.xsd",
               "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
               "<xs:element name='r' type='xs:string'/></xs:schema>");
    XmlSmartPtr<TrelXSDValidator> ints(factory()->createXSDValidator(file("ints.xsd").c_str()));
    XmlSmartPtr<TrelXSDValidator> strings(factory()->createXSDValidator(file("strings.xsd").c_str()));
    ASSERT_TRUE(ints && strings);
    auto doc = parse(L"<r>abc</r>");
    ASSERT_TRUE(doc);

    std::wstring errors = L"untouched";
    EXPECT_TRUE(strings->validateDocument(doc, errors));
    EXPECT_EQ(errors, L"untouched");
    EXPECT_FALSE(ints->validateDocument(doc, errors));
    EXPECT_FALSE(errors.empty());
    EXPECT_NE(errors, L"untouched");
    errors = L"untouched";
    EXPECT_TRUE(strings->validateDocument(doc, errors)) << "the other validator's schema is gone again";
    EXPECT_EQ(errors, L"untouched");

    EXPECT_FALSE(ints->validateDocument(nullptr, errors));
    EXPECT_FALSE(XmlSmartPtr<TrelXSDValidator>(factory()->createXSDValidator(file("missing.xsd").c_str())));
    EXPECT_FALSE(XmlSmartPtr<TrelXSDValidator>(factory()->createXSDValidator(static_cast<TrelDOMDocument*>(nullptr))));
}

TEST_F(BackendsTest, TransformIntoDocumentsAndFiles) {
    writeBytes(dir() / "sheet.xsl",
               "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
               "<xsl:template match='/'><out><xsl:value-of select='count(//p)'/></out></xsl:template>"
               "</xsl:stylesheet>");
    writeBytes(dir() / "broken.xsl", "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                                     "<xsl:template match='/'><xsl:value-of select='(((('/></xsl:template>"
                                     "</xsl:stylesheet>");
    writeBytes(dir() / "plain.xsl", "<not-a-stylesheet/>");
    auto doc = parse(L"<r><p/><p/><p/></r>");
    ASSERT_TRUE(doc);
    XmlSmartPtr<TrelXSLTProcessor> processor(factory()->createXSLTProcessor(file("sheet.xsl").c_str()));
    ASSERT_TRUE(processor);
    XmlSmartPtr<TrelDOMDocument> result(processor->transform(doc));
    ASSERT_TRUE(result);
    EXPECT_EQ(str(rootOf(result)->getTag()), L"out");
    EXPECT_EQ(str(rootOf(result)->getText()), L"3");

    ASSERT_TRUE(processor->transform(doc, file("out.xml").c_str()));
    EXPECT_NE(readBytes(dir() / "out.xml").find("<out>3</out>"), std::string::npos);
    EXPECT_FALSE(processor->transform(doc, file("no/such/dir/out.xml").c_str()));
    EXPECT_FALSE(processor->transform(nullptr, file("x.xml").c_str()));
    EXPECT_FALSE(XmlSmartPtr<TrelDOMDocument>(processor->transform(nullptr)));

    EXPECT_FALSE(XmlSmartPtr<TrelXSLTProcessor>(factory()->createXSLTProcessor(file("broken.xsl").c_str())));
    EXPECT_FALSE(XmlSmartPtr<TrelXSLTProcessor>(factory()->createXSLTProcessor(file("plain.xsl").c_str())));
    EXPECT_FALSE(XmlSmartPtr<TrelXSLTProcessor>(factory()->createXSLTProcessor(file("missing.xsl").c_str())));
    EXPECT_FALSE(XmlSmartPtr<TrelXSLTProcessor>(factory()->createXSLTProcessor(static_cast<TrelDOMDocument*>(nullptr))));

    // The document form compiles from a document that stays as it was.
    XmlSmartPtr<TrelDOMDocument> sheet(factory()->createDocument(file("sheet.xsl").c_str()));
    ASSERT_TRUE(sheet);
    std::wstring const before = describe(rootOf(sheet));
    XmlSmartPtr<TrelXSLTProcessor> fromDocument(factory()->createXSLTProcessor(sheet));
    ASSERT_TRUE(fromDocument);
    EXPECT_EQ(describe(rootOf(sheet)), before);
    EXPECT_EQ(str(rootOf(doc)->getTag()), L"r");
}

}  // namespace
}  // namespace msxmltest
