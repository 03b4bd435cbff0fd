// Style sheets and schemas through the factory, and the lookup of the style
// sheets shipped with the module.
#include <stdlib.h>

#include <string>

#include "model/TrelXSDValidator.h"
#include "model/TrelXSLTProcessor.h"
#include "model_test_support.h"

using namespace modeltest;

namespace {

char const kSheet[] =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/list'><sum n='{count(item)}'><xsl:for-each select='item'>"
    "<xsl:sort select='@v' data-type='number'/><i><xsl:value-of select='@v'/></i>"
    "</xsl:for-each></sum></xsl:template></xsl:stylesheet>";

char const kSchema[] =
    "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
    "<xs:element name='list'><xs:complexType><xs:sequence>"
    "<xs:element name='item' maxOccurs='unbounded'><xs:complexType>"
    "<xs:attribute name='v' type='xs:integer' use='required'/></xs:complexType></xs:element>"
    "</xs:sequence></xs:complexType></xs:element></xs:schema>";

class XsltTest : public ModelTest {
protected:
  void SetUp() override {
    ModelTest::SetUp();
    sheet_ = dir_.write("sheet.xsl", kSheet);
    input_ = parse(L"<list><item v='3'/><item v='1'/><item v='2'/></list>");
  }
  void TearDown() override {
    input_ = nullptr;
    ModelTest::TearDown();
  }
  TempDir dir_;
  std::wstring sheet_;
  XmlSmartPtr<TrelDOMDocument> input_;
};

TEST_F(XsltTest, TransformIntoADocumentAndIntoAFile) {
  XmlSmartPtr<TrelDOMDocument> result(input_->transform(sheet_.c_str()));
  ASSERT_TRUE(result);
  EXPECT_EQ(textAt(result, L"/sum/@n"), L"3");
  EXPECT_EQ(textAt(result, L"/sum/i[1]"), L"1");
  EXPECT_EQ(liveDocuments(), 2) << "the processor was released";

  std::wstring out = dir_.file("out.xml");
  ASSERT_TRUE(input_->transform(sheet_.c_str(), out.c_str()));
  XmlSmartPtr<TrelDOMDocument> written(factory()->createDocument(out.c_str()));
  ASSERT_TRUE(written);
  EXPECT_EQ(textAt(written, L"/sum/i[3]"), L"3");
  EXPECT_EQ(textAt(input_, L"/list/item[1]/@v"), L"3") << "the input is left alone";
}

TEST_F(XsltTest, UnusableStyleSheetsFailQuietly) {
  std::wstring notXslt = dir_.write("plain.xsl", "<not-a-sheet/>");
  std::wstring broken = dir_.write("broken.xsl", "<xsl:stylesheet");
  for (std::wstring const& sheet : {dir_.file("missing.xsl"), notXslt, broken}) {
    EXPECT_EQ(input_->transform(sheet.c_str()), nullptr);
    EXPECT_FALSE(input_->transform(sheet.c_str(), dir_.file("never.xml").c_str()));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "never.xml"));
  EXPECT_FALSE(input_->transform(sheet_.c_str(), dir_.file("no/dir/out.xml").c_str()));
  EXPECT_EQ(liveDocuments(), 1);
}

TEST_F(ModelTest, ValidationReportsTheFirstReason) {
  TempDir dir;
  std::wstring schema = dir.write("list.xsd", kSchema);
  XmlSmartPtr<TrelXSDValidator> validator(factory()->createXSDValidator(schema.c_str()));
  ASSERT_TRUE(validator);
  std::wstring errors = L"untouched";
  EXPECT_TRUE(validator->validateDocument(parse(L"<list><item v='-4'/></list>"), errors));
  EXPECT_FALSE(validator->validateDocument(nullptr, errors)) << "validation could not run";
  EXPECT_EQ(errors, L"untouched");
  EXPECT_FALSE(validator->validateDocument(parse(L"<list><item v='many'/></list>"), errors));
  EXPECT_NE(errors.find(L"many"), std::wstring::npos) << errors;
}

// Points the configuration search at the test's folders while it lives.
struct ConfigPath {
  explicit ConfigPath(std::string const& value) { setenv("QUILL_CONFIG_PATH", value.c_str(), 1); }
  ~ConfigPath() { unsetenv("QUILL_CONFIG_PATH"); }
};

TEST(InternalStylesheet, FoundAmongTheConfigurationDirectoriesInOrder) {
  TempDir first, second;
  first.write("xml/stylesheet/a.xsl", kSheet);
  second.write("xml/stylesheet/a.xsl", kSheet);
  second.write("xml/stylesheet/b.xsl", kSheet);
  ConfigPath config(first.path().string() + ":" + second.path().string());

  wchar_t const* a = TrelXSLTProcessor::getInternalStylesheet(L"a.xsl");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(std::wstring(a), first.file("xml/stylesheet/a.xsl"));
  wchar_t const* b = TrelXSLTProcessor::getInternalStylesheet(L"b.xsl");
  EXPECT_EQ(b, a) << "one static buffer, overwritten";
  EXPECT_EQ(std::wstring(b), second.file("xml/stylesheet/b.xsl"));
  EXPECT_EQ(TrelXSLTProcessor::getInternalStylesheet(L"missing.xsl"), nullptr);
  EXPECT_EQ(TrelXSLTProcessor::getInternalStylesheet(nullptr), nullptr);
}

}  // namespace
