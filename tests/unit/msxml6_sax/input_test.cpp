// Input refusal through the SAX reader: text given as a string or a stream
// is refused wherever XML forbids a character, with exactly one fatal error;
// a run of text reaches the handler whole.
#include "sax_fixture.h"

using namespace saxtest;

namespace {

TEST(SaxInputRefusal, ForbiddenCharactersFailStringsAndStreams) {
    using namespace std::string_literals;
    for (std::wstring const& text : {L"<r/>\0<s/>"s, L"<r>a\0b</r>"s, L"<r>\xD800</r>"s, L"<r a='\xDBFF'/>"s}) {
        auto reader = newReader();
        auto rec = record(reader.get());
        EXPECT_TRUE(FAILED(parseText(reader.get(), text)));
        EXPECT_EQ(1u, rec->matching("fatal").size());
        EXPECT_TRUE(rec->matching("endDocument").empty());
    }
    for (std::string const& bytes : {"<r/>\0<s/>"s, "<r/>\n\0"s, "\xFF\xFE<\0r\0/\0>\0\x00\xD8"s}) {
        auto reader = newReader();
        auto rec = record(reader.get());
        EXPECT_TRUE(FAILED(parseBytes(reader.get(), bytes, 7)));
        EXPECT_EQ(1u, rec->matching("fatal").size());
    }
}

TEST(SaxInputRefusal, LongTextArrivesAsOneRun) {
    std::string run = std::string(1500000, 'a') + " \n " + std::string(1500000, 'b');
    auto reader = newReader();
    auto rec = record(reader.get());
    ASSERT_EQ(S_OK, parseBytes(reader.get(), "<r>" + run + "<c/></r>"));
    auto chars = rec->matching("chars ");
    ASSERT_EQ(1u, chars.size());
    EXPECT_EQ("chars " + run, chars[0]);
}

}  // namespace
