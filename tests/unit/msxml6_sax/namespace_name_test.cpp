// Namespace names that are no URIs reach the handler as they are: the
// reader passes libxml2's complaint on as a warning, not as a fatal error.
#include "sax_fixture.h"

using namespace saxtest;

TEST(SaxNamespaceNames, TextThatIsNoUriIsReportedAsItIs) {
    auto reader = newReader();
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseText(reader.get(), L"<p:r xmlns:p='a b'><e xmlns='\u00e9t\u00e9'/></p:r>"));
    EXPECT_TRUE(rec->matching("fatal").empty());
    EXPECT_EQ(std::vector<std::string>{"prefix p=a b"}, rec->matching("prefix p"));
    EXPECT_EQ(std::vector<std::string>({"start a b|r|p:r", "start \xc3\xa9t\xc3\xa9|e|e"}), rec->matching("start "));
}
