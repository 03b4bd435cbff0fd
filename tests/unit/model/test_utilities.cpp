// The services around documents: the factory that makes nothing, loading
// by path, the system information element, showing a document in the
// viewer, and the lookup of the style sheets shipped with the module (the
// search order itself: host file_names_test).
#include <unistd.h>

#include <filesystem>

#include "model/DummyObjectFactory.h"
#include "model/TrelXSDValidator.h"
#include "model/TrelXSLTProcessor.h"
#include "model/XML_UTILITIES.h"
#include "model_test_support.h"
#include "platform/host/system.h"

using namespace modeltest;

namespace {

// A module author handed the factory that makes nothing gets null from
// every creation, a path that would load included.
TEST(DummyObjectFactory, MakesNothing) {
    DummyObjectFactory* dummy = DummyObjectFactory::getInstance();
    EXPECT_FALSE(dummy->createDocument(L"any.xml") || dummy->createXSLTProcessor(L"any.xsl") ||
                 dummy->createXSLTProcessor(static_cast<TrelDOMDocument const*>(nullptr)) ||
                 dummy->createXSDValidator(L"any.xsd") ||
                 dummy->createXSDValidator(static_cast<TrelDOMDocument const*>(nullptr)) ||
                 dummy->createSAXXMLReader());
    DummyObjectFactory::reset();
}

// Failed loads delete their documents at once.
TEST_F(ModelTest, CreateDocumentFromPathLoadsOrLeavesNothing) {
    TempDir dir;
    XmlSmartPtr<TrelDOMDocument> loaded(
        factory()->createDocument(dir.write("good.xml", "<?xml version='1.0'?><root a='1'>x</root>").c_str()));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(textAt(loaded, L"/root"), L"x");
    EXPECT_FALSE(factory()->createDocument(dir.write("bad.xml", "<root><open></root>").c_str()) ||
                 factory()->createDocument(dir.file("missing.xml").c_str()) ||
                 XML_UTILITIES::deserialize(reinterpret_cast<unsigned char const*>("<a")) ||
                 XML_UTILITIES::serializeToUTF8(nullptr, true, true) ||
                 factory()->createXSLTProcessor(L"/nonexistent/sheet.xsl"));
    EXPECT_EQ(liveDocuments(), 1);
}

TEST_F(ModelTest, SystemInfoHasTheSixFactsInOrder) {
    XmlSmartPtr<TrelDOMDocument> document(factory()->createDocument());
    TrelDOMElement* raw = XML_UTILITIES::systemInfoToXML(document, L"s:System", L"urn:sys");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->referenceCount(), 0);
    XmlSmartPtr<TrelDOMElement> info(raw);
    EXPECT_STREQ(info->getNamespace(), L"urn:sys");
    TrelDOMElementPtrArray children;
    info->getChildren(children);
    std::wstring facts;
    for (long i = 0; i < children.size(); ++i)
        facts += testfiles::str(children.elt(i)->getTag()) + L"=" +
                 (i < 4 ? testfiles::str(children.elt(i)->getText()) : L"") + L";";
    EXPECT_EQ(facts, L"Application=Quillmark;Version=" + std::wstring(SYSTEM::program_version_string()) +
                         L";Hostname=" + SYSTEM::fullhostname() + L";User=" + SYSTEM::username() + L";Date=;Time=;");
    EXPECT_TRUE(children.elt(4)->getText() && children.elt(5)->getText());
    EXPECT_EQ(XML_UTILITIES::systemInfoToXML(nullptr, L"x", nullptr), nullptr);
}

// The viewer is a script that appends the name it was given to a log and
// says so by a marker file, written last. Without a name the document goes
// to a fresh one in the temporary folder.
TEST_F(ModelTest, SendToBrowserSavesIndentedUnderAnXmlNameAndOpensIt) {
    TempDir files, viewer;
    testfiles::ScopedEnv tmp("TMPDIR", files.path().string());
    testfiles::ScopedEnv command("QUILL_OPEN_COMMAND", (viewer / "viewer.sh").string());
    viewer.write("viewer.sh",
                 "#!/bin/sh\nd=\"$(dirname \"$0\")\"\nprintf '%s\\n' \"$1\" >> \"$d/opened\"\n"
                 "touch \"$d/done-$(wc -l < \"$d/opened\")\"\n");
    std::filesystem::permissions(viewer / "viewer.sh", std::filesystem::perms::owner_all);
    auto opened = [&](int n) {  // the n-th name opened, once the detached viewer has written it
        for (int i = 0; i < 2000 && !std::filesystem::exists(viewer / ("done-" + std::to_string(n))); ++i) usleep(5000);
        std::string log = readFile(viewer / "opened");
        for (int line = 1; line < n; ++line) log.erase(0, log.find('\n') + 1);
        return std::filesystem::path(log.substr(0, log.find('\n')));
    };
    auto document = parse(L"<r><c>x</c></r>");
    XML_UTILITIES::sendToBrowser(nullptr, files.file("none.xml").c_str());
    EXPECT_FALSE(std::filesystem::exists(files / "none.xml"));
    XML_UTILITIES::sendToBrowser(document, files.file("a.xml").c_str());
    EXPECT_EQ(opened(1), files / "a.xml");
    EXPECT_NE(readFile(files / "a.xml").find("\n\t<c>x</c>"), std::string::npos) << "indented";
    XML_UTILITIES::sendToBrowser(document, files.file("b.XML").c_str());
    EXPECT_EQ(opened(2), files / "b.XML.xml");
    XML_UTILITIES::sendToBrowser(document, nullptr);
    EXPECT_EQ(opened(3).parent_path(), files.path());
    EXPECT_EQ(opened(3).extension(), ".xml");
    EXPECT_NE(readFile(opened(3)).find("<c>x</c>"), std::string::npos);
}

TEST(InternalStylesheet, FoundAmongTheConfigurationDirectories) {
    TempDir first, second;
    first.write("xml/stylesheet/a.xsl", "<x/>");
    second.write("xml/stylesheet/b.xsl", "<x/>");
    testfiles::ScopedEnv config("QUILL_CONFIG_PATH", first.path().string() + ":" + second.path().string());
    wchar_t const* a = TrelXSLTProcessor::getInternalStylesheet(L"a.xsl");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::wstring(a), first.file("xml/stylesheet/a.xsl"));
    EXPECT_EQ(TrelXSLTProcessor::getInternalStylesheet(L"b.xsl"), a) << "one static buffer, overwritten";
    EXPECT_EQ(std::wstring(a), second.file("xml/stylesheet/b.xsl"));
    EXPECT_FALSE(TrelXSLTProcessor::getInternalStylesheet(L"missing.xsl") ||
                 TrelXSLTProcessor::getInternalStylesheet(nullptr));
}

}  // namespace
