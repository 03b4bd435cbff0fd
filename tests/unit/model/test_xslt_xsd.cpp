// Style sheets through the factory, and the lookup of the style sheets
// shipped with the module (the search order itself: host file_names_test).
#include "model/TrelXSLTProcessor.h"
#include "model_test_support.h"

using namespace modeltest;

namespace {

char const kSheet[] =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/list'><sum n='{count(item)}'><xsl:for-each select='item'>"
    "<xsl:sort select='@v' data-type='number'/><i><xsl:value-of select='@v'/></i>"
    "</xsl:for-each></sum></xsl:template></xsl:stylesheet>";

TEST(InternalStylesheet, FoundAmongTheConfigurationDirectories) {
    TempDir first, second;
    first.write("xml/stylesheet/a.xsl", kSheet);
    second.write("xml/stylesheet/b.xsl", kSheet);
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
