// The transformation core on plain libxml2 documents: the parts of an input
// that libxslt alters (DTD linkage, order indexes, stripped white space)
// must be as before once a run is over.
#include <gtest/gtest.h>

#include <libxml/parser.h>

#include <optional>
#include <string>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/xslt_sheet.h"

namespace {

mx::DocPtr read(std::string const& text) {
    return mx::DocPtr(xmlReadMemory(text.data(), static_cast<int>(text.size()), "mem.xml", nullptr, 0));
}

std::string serialise(xmlDocPtr doc) {
    xmlChar* bytes = nullptr;
    int size = 0;
    xmlDocDumpMemory(doc, &bytes, &size);
    std::string text(reinterpret_cast<char*>(bytes), static_cast<size_t>(size));
    xmlFree(bytes);
    return text;
}

bool anyOrderIndex(xmlNodePtr n) {
    for (; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && (n->content || anyOrderIndex(n->children))) return true;
    return false;
}

std::shared_ptr<mx::CompiledSheet const> compile(std::string const& body) {
    mx::DocPtr doc = read("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>" + body +
                          "</xsl:stylesheet>");
    std::shared_ptr<mx::CompiledSheet const> sheet;
    EXPECT_EQ(mx::CompiledSheet::compile(reinterpret_cast<xmlNodePtr>(doc.get()), sheet), S_OK);
    return sheet;
}

// One run as the processor does it; returns the result's root name.
std::string run(mx::CompiledSheet const& sheet, xmlDocPtr input) {
    mx::TransformSource source(reinterpret_cast<xmlNodePtr>(input), sheet.stripsSpace());
    std::optional<mx::InputGuard> guard;
    if (!source.isCopy()) guard.emplace(source.doc());
    std::string errors;
    mx::DocPtr result = sheet.apply(source.doc(), errors);
    xmlNodePtr root = result ? xmlDocGetRootElement(result.get()) : nullptr;
    return root ? reinterpret_cast<char const*>(root->name) : "<none: " + errors + ">";
}

}  // namespace

TEST(TransformInput, OriginalTreeIsRestoredAfterARun) {
    mx::ensureInit();
    auto sheet = compile("<xsl:template match='/'><n><xsl:copy-of select='//b'/></n></xsl:template>");
    ASSERT_TRUE(sheet);
    EXPECT_FALSE(sheet->stripsSpace());
    mx::DocPtr input = read("<!DOCTYPE r [<!ELEMENT r ANY>]>\n<!--c--><r><a/><b> </b></r>");
    std::string before = serialise(input.get());

    EXPECT_EQ(run(*sheet, input.get()), "n");
    EXPECT_EQ(serialise(input.get()), before) << "the DOCTYPE must be back among the document's children";
    EXPECT_FALSE(anyOrderIndex(input->children)) << "stale order indexes mislead later XPath sorting";
    EXPECT_EQ(run(*sheet, input.get()), "n");
    EXPECT_EQ(serialise(input.get()), before);
}

TEST(TransformInput, StrippingSheetsWorkOnACopy) {
    mx::ensureInit();
    auto sheet = compile("<xsl:strip-space elements='*'/><xsl:template match='/'><xsl:element name='t{count(//text())}'/>"
                         "</xsl:template>");
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->stripsSpace());
    mx::DocPtr input = read("<r>\n <a> </a>\n <b>x</b>\n</r>");
    std::string before = serialise(input.get());
    EXPECT_EQ(run(*sheet, input.get()), "t1") << "white space was stripped in the run";
    EXPECT_EQ(serialise(input.get()), before) << "but not in the caller's tree";
}

TEST(TransformInput, ElementInputIsTransformedAsItsOwnDocument) {
    mx::ensureInit();
    auto sheet = compile("<xsl:template match='/*'><xsl:element name='{local-name()}-{count(/*/*)}'/></xsl:template>");
    ASSERT_TRUE(sheet);
    mx::DocPtr input = read("<r><inner><x/><y/></inner></r>");
    xmlNodePtr inner = xmlDocGetRootElement(input.get())->children;
    mx::TransformSource source(inner, false);
    ASSERT_TRUE(source.isCopy());
    std::string errors;
    mx::DocPtr result = sheet->apply(source.doc(), errors);
    ASSERT_TRUE(result) << errors;
    EXPECT_STREQ(reinterpret_cast<char const*>(xmlDocGetRootElement(result.get())->name), "inner-2");
}
