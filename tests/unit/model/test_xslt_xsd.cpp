// Style sheets through the factory, and the lookup of the style
// sheets shipped with the module.
#include <stdlib.h>

#include <string>

#include "model/TrelXSLTProcessor.h"
#include "model_test_support.h"

using namespace modeltest;

namespace {

char const kSheet[] =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/list'><sum n='{count(item)}'><xsl:for-each select='item'>"
    "<xsl:sort select='@v' data-type='number'/><i><xsl:value-of select='@v'/></i>"
    "</xsl:for-each></sum></xsl:template></xsl:stylesheet>";

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
