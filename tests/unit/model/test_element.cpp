// The code every element and document implementation shares: typed readers
// and writers with their fixed text forms, path helpers, tree scans, merge.
#include <cmath>
#include <string>
#include <vector>

#include "core/XmlValueText.h"
#include "model/TrelDOMAttribute.h"
#include "model_test_support.h"
#include "platform/host/ux_string.h"

using namespace modeltest;

namespace {

// Missing attributes read as zero, false or NaN; exactly "true" is true;
// integers stop at the first non-digit. A text reader without text reads
// nothing and leaves `out`; numbers scan from the front, after blanks.
TEST_F(ModelTest, TypedReaders) {
    auto document = parse(
        L"<r b='true' B='TRUE' i='12.7' n='-42' u='4000000000' w='abc' d='2.5e3'>"
        L"<t>yes</t><v> 3.25 rest</v><e/><k>17</k></r>");
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    EXPECT_TRUE(root->getBoolAttributeValue(L"b") && !root->getBoolAttributeValue(L"B") &&
                !root->getBoolAttributeValue(L"none"));
    EXPECT_EQ(root->getIntAttributeValue(L"none") + root->getLongAttributeValue(L"none") +
                  root->getULongAttributeValue(L"none") + root->getIntAttributeValue(L"w"),
              0);
    EXPECT_TRUE(std::isnan(root->getDoubleAttributeValue(L"none")) && std::isnan(root->getDoubleAttributeValue(L"w")));
    EXPECT_EQ(root->getIntAttributeValue(L"i"), 12);
    EXPECT_EQ(root->getLongAttributeValue(L"n"), -42L);
    EXPECT_EQ(root->getULongAttributeValue(L"u"), 4000000000UL);
    EXPECT_DOUBLE_EQ(root->getDoubleAttributeValue(L"d"), 2500.0);
    auto child = [&](wchar_t const* tag) { return XmlSmartPtr<TrelDOMElement>(root->getFirstChild(tag)); };
    bool flag = true;
    EXPECT_TRUE(child(L"t")->getBoolText(flag));
    EXPECT_FALSE(flag) << "yes";
    ASSERT_TRUE(child(L"t")->setText(L"true"));
    EXPECT_TRUE(child(L"t")->getBoolText(flag) && flag);
    for (wchar_t const* notTrue : {L"TRUE", L"true ", L" true", L"truer", L"1", static_cast<wchar_t const*>(nullptr)})
        EXPECT_FALSE(equalsTrue(notTrue)) << testfiles::str(notTrue);
    double number = -1;
    unsigned long count = 7;
    EXPECT_FALSE(child(L"e")->getBoolText(flag) || child(L"e")->getDoubleText(number) ||
                 child(L"e")->getULongText(count));
    EXPECT_TRUE(flag && number == -1 && count == 7);
    EXPECT_TRUE(child(L"v")->getDoubleText(number) && child(L"k")->getULongText(count));
    EXPECT_EQ(number, 3.25);
    EXPECT_EQ(count, 17UL);
    EXPECT_FALSE(child(L"t")->getDoubleText(number));
}

// Nodes of the wrong kind are released at once.
TEST_F(ModelTest, PathHelpersFollowTheKindOfTheSelectedNode) {
    auto document = parse(L"<r n='-42'><e/><k>17</k><!--c--></r>");
    std::wstring texts;
    for (wchar_t const* path : {L"/r/k", L"/r/@n", L"/r/e", L"/r/missing", L"/r/comment()"})
        texts += textAt(document, path) + L";";
    EXPECT_EQ(texts, L"17;-42;(null);(null);(null);");
    EXPECT_FALSE(document->selectElement(L"/r/@n") || document->selectElement(L"/r/comment()") ||
                 document->selectAttribute(L"/r/k"));
    EXPECT_EQ(liveNodes(), 0);
    EXPECT_STREQ(XmlSmartPtr<TrelDOMAttribute>(document->selectAttribute(L"/r/@n"))->getValue(), L"-42");
}

// Records the tags it visits and stops at a chosen one.
struct TagRecorder : TrelDOMElementVisitor {
    explicit TagRecorder(std::wstring stop = L"") : stopAt(std::move(stop)) {}
    bool visit(TrelDOMElement const* element) override {
        return tags.push_back(element->getTag()), tags.back() != stopAt;
    }
    std::wstring stopAt;
    std::vector<std::wstring> tags;
};

// Pre-order from an element or the document's root; a visit stops it.
// Deeper than the scans nest, the walk goes on from a stack of pending
// children: n0 to n99 first, then each m(i) that follows n(i) inside n(i-1),
// deepest first.
TEST_F(ModelTest, ScanTreeInDocumentOrderAtAnyDepth) {
    int const levels = 100;
    std::wstring text, tail;
    std::vector<std::wstring> expected;
    for (int i = 0; i < levels; ++i) {
        text += L"<n" + std::to_wstring(i) + L">";
        tail = L"</n" + std::to_wstring(i) + L">" + (i ? L"<m" + std::to_wstring(i) + L"/>" : L"") + tail;
        expected.push_back(L"n" + std::to_wstring(i));
    }
    for (int i = levels - 1; i > 0; --i) expected.push_back(L"m" + std::to_wstring(i));
    auto document = parse(text + tail);
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    TagRecorder all, stopped(L"m90"), rootOnly(L"n0"), fromDocument, none;
    EXPECT_TRUE(root->scanTree(&all));
    EXPECT_EQ(all.tags, expected);
    EXPECT_FALSE(root->scanTree(&stopped));
    EXPECT_EQ(stopped.tags, std::vector<std::wstring>(expected.begin(), expected.begin() + levels + 10));
    EXPECT_FALSE(root->scanTree(&rootOnly));
    EXPECT_EQ(rootOnly.tags, std::vector<std::wstring>{L"n0"});
    document->scanTree(&fromDocument);
    EXPECT_EQ(fromDocument.tags, expected);
    XmlSmartPtr<TrelDOMDocument>(factory()->createDocument())->scanTree(&none);
    EXPECT_TRUE(none.tags.empty());
}

TEST_F(ModelTest, MergeKeepsOwnTextAndValuesAndMovesTheOthersChildren) {
    auto document =
        parse(L"<m><mine k='own' only='1'>keep<x/></mine><other k='theirs' extra='2'>lose<y/><z/></other></m>");
    XmlSmartPtr<TrelDOMElement> mine(document->selectElement(L"/m/mine"));
    XmlSmartPtr<TrelDOMElement> other(document->selectElement(L"/m/other"));
    EXPECT_FALSE(mine->merge(nullptr) || mine->merge(mine));
    ASSERT_TRUE(mine->merge(other));
    std::wstring values = testfiles::str(mine->getText()) + L";";
    for (wchar_t const* key : {L"k", L"only", L"extra"}) values += testfiles::str(mine->getAttributeValue(key)) + L";";
    EXPECT_EQ(values, L"keep;own;1;2;");
    TagRecorder tags;
    mine->scanChildren(&tags);
    EXPECT_EQ(tags.tags, (std::vector<std::wstring>{L"x", L"y", L"z"}));
    EXPECT_EQ(other->childCount(), 0) << "moved, not copied";
    XmlSmartPtr<TrelDOMElement> bare(document->createElement(L"bare"));
    ASSERT_TRUE(bare->merge(other));
    EXPECT_STREQ(bare->getText(), L"lose") << "an element without text takes the other's";
}

// Each typed writer, once, in the one text form its type has.
TEST_F(ModelTest, TypedWritersWriteTheFixedTextForms) {
    auto document = parse(L"<r/>");
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    ASSERT_TRUE(root->setAttribute(L"b", false) && root->setAttribute(L"i", -7) &&
                root->setAttribute(L"l", -9000000000L) && root->setAttribute(L"u", 4000000000UL) &&
                root->setAttribute(L"d", 0.1) && root->addChild(L"b", true) && root->addChild(L"i", -7) &&
                root->addChild(L"u", 4000000000UL) && root->addChild(L"d", 2.5));
    for (XmlSmartPtr<TrelDOMElement> made : {document->createElement(L"cb", true), document->createElement(L"cl", -3L),
                                             document->createElement(L"cd", 1e21)})
        ASSERT_TRUE(made && root->addChild(made));
    ASSERT_TRUE(document->addXMLDeclaration());
    wchar_t* text = nullptr;
    ASSERT_TRUE(document->saveXML(&text, false));
    EXPECT_STREQ(text,
                 L"<?xml version=\"1.0\"?>\n<r b=\"false\" i=\"-7\" l=\"-9000000000\" u=\"4000000000\" d=\"0.1\">"
                 L"<b>true</b><i>-7</i><u>4000000000</u><d>2.5</d><cb>true</cb><cl>-3</cl><cd>1e+21</cd></r>\n");
    ux_strfree(text);
}

}  // namespace
