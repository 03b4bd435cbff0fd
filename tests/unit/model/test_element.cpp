// The code every element and document implementation shares: typed readers
// and writers with their fixed text forms, path helpers and merge.
#include <cmath>
#include <string>
#include <vector>

#include "core/XmlValueText.h"
#include "model/TrelDOMAttribute.h"
#include "model_test_support.h"

using namespace modeltest;

namespace {

class ElementTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        document_ = parse(
            L"<r b='true' B='TRUE' i='12.7' n='-42' u='4000000000' w='abc' d='2.5e3'>"
            L"<t>yes</t><v> 3.25 rest</v><e/><k>17</k><!--c--></r>");
        root_ = document_->getRoot();
    }
    void TearDown() override {
        root_ = nullptr;
        document_ = nullptr;
        ModelTest::TearDown();
    }
    XmlSmartPtr<TrelDOMElement> child(wchar_t const* tag) const { return root_->getFirstChild(tag); }

    XmlSmartPtr<TrelDOMDocument> document_;
    XmlSmartPtr<TrelDOMElement> root_;
};

// Missing attributes read as zero, false or NaN; exactly "true" is true;
// integers stop at the first non-digit.
TEST_F(ElementTest, AttributeReaders) {
    EXPECT_FALSE(root_->getBoolAttributeValue(L"none") || root_->getBoolAttributeValue(L"B"));
    EXPECT_TRUE(root_->getBoolAttributeValue(L"b"));
    EXPECT_EQ(root_->getIntAttributeValue(L"none") + root_->getLongAttributeValue(L"none") +
                  root_->getULongAttributeValue(L"none") + root_->getIntAttributeValue(L"w"),
              0);
    EXPECT_TRUE(std::isnan(root_->getDoubleAttributeValue(L"none")) &&
                std::isnan(root_->getDoubleAttributeValue(L"w")));
    EXPECT_EQ(root_->getIntAttributeValue(L"i"), 12);
    EXPECT_EQ(root_->getLongAttributeValue(L"n"), -42L);
    EXPECT_EQ(root_->getULongAttributeValue(L"u"), 4000000000UL);
    EXPECT_DOUBLE_EQ(root_->getDoubleAttributeValue(L"d"), 2500.0);
}

TEST_F(ElementTest, PathHelpersFollowTheKindOfTheSelectedNode) {
    std::wstring texts;
    for (wchar_t const* path : {L"/r/k", L"/r/@n", L"/r/e", L"/r/missing", L"/r/comment()"})
        texts += textAt(document_, path) + L";";
    EXPECT_EQ(texts, L"17;-42;(null);(null);(null);");
    EXPECT_EQ(document_->selectElement(L"/r/@n"), nullptr);
    EXPECT_EQ(document_->selectElement(L"/r/comment()"), nullptr);
    EXPECT_EQ(document_->selectAttribute(L"/r/k"), nullptr);
    EXPECT_EQ(liveNodes(), 1) << "nodes of the wrong kind are deleted";
    XmlSmartPtr<TrelDOMAttribute> attribute(document_->selectAttribute(L"/r/@n"));
    EXPECT_STREQ(attribute->getValue(), L"-42");
}

TEST_F(ElementTest, TextReaders) {
    // getBoolText answers for any text; only the exact word true reads as true.
    bool flag = true;
    EXPECT_TRUE(child(L"t")->getBoolText(flag));
    EXPECT_FALSE(flag) << "yes";
    ASSERT_TRUE(child(L"t")->setText(L"true"));
    EXPECT_TRUE(child(L"t")->getBoolText(flag) && flag);
    for (wchar_t const* notTrue : {L"TRUE", L"true ", L" true", L"truer", L"1", static_cast<wchar_t const*>(nullptr)})
        EXPECT_FALSE(equalsTrue(notTrue)) << testfiles::str(notTrue);
    // Without text nothing is read and `out` keeps its value.
    double number = -1;
    unsigned long count = 7;
    EXPECT_FALSE(child(L"e")->getBoolText(flag) || child(L"e")->getDoubleText(number) ||
                 child(L"e")->getULongText(count));
    EXPECT_TRUE(flag && number == -1 && count == 7);
    // Numbers scan from the front, after leading blanks.
    EXPECT_TRUE(child(L"v")->getDoubleText(number));
    EXPECT_EQ(number, 3.25);
    EXPECT_FALSE(child(L"t")->getDoubleText(number));
    EXPECT_TRUE(child(L"k")->getULongText(count));
    EXPECT_EQ(count, 17UL);
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

TEST_F(ElementTest, ScanTreeFromTheElementOrTheDocument) {
    ASSERT_TRUE(XmlSmartPtr<TrelDOMElement>(root_->addChild(L"e"))->addChild(L"deep", L"x"));
    TagRecorder all, rootOnly(L"r"), fromDocument, none;
    EXPECT_TRUE(root_->scanTree(&all));
    EXPECT_EQ(all.tags, (std::vector<std::wstring>{L"r", L"t", L"v", L"e", L"k", L"e", L"deep"}));
    EXPECT_FALSE(root_->scanTree(&rootOnly));
    EXPECT_EQ(rootOnly.tags, std::vector<std::wstring>{L"r"});
    document_->scanTree(&fromDocument);  // the root's tree, without a result
    EXPECT_EQ(fromDocument.tags, all.tags);
    XmlSmartPtr<TrelDOMDocument>(factory()->createDocument())->scanTree(&none);
    EXPECT_TRUE(none.tags.empty());
}

// Deeper than the scans nest, the walk goes on from a stack of pending
// children: n0 to n99 first, then each m(i) that follows n(i) inside n(i-1),
// deepest first; a visit still stops it.
TEST_F(ModelTest, ScanTreeBelowTheNestedLevels) {
    int const levels = 100;
    std::wstring text, tail;
    std::vector<std::wstring> expected;
    for (int i = 0; i < levels; ++i) {
        text += L"<n" + std::to_wstring(i) + L">";
        tail = L"</n" + std::to_wstring(i) + L">" + (i ? L"<m" + std::to_wstring(i) + L"/>" : L"") + tail;
        expected.push_back(L"n" + std::to_wstring(i));
    }
    for (int i = levels - 1; i > 0; --i) expected.push_back(L"m" + std::to_wstring(i));
    XmlSmartPtr<TrelDOMDocument> document = parse(text + tail);
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    TagRecorder all, stopped(L"m90");
    EXPECT_TRUE(root->scanTree(&all));
    EXPECT_EQ(all.tags, expected);
    EXPECT_FALSE(root->scanTree(&stopped));
    EXPECT_EQ(stopped.tags, std::vector<std::wstring>(expected.begin(), expected.begin() + levels + 10));
}

TEST_F(ModelTest, MergeKeepsOwnTextAndValuesAndMovesTheOthersChildren) {
    XmlSmartPtr<TrelDOMDocument> document =
        parse(L"<m><mine k='own' only='1'>keep<x/></mine><other k='theirs' extra='2'>lose<y/><z/></other></m>");
    XmlSmartPtr<TrelDOMElement> mine(document->selectElement(L"/m/mine"));
    XmlSmartPtr<TrelDOMElement> other(document->selectElement(L"/m/other"));
    EXPECT_FALSE(mine->merge(nullptr) || mine->merge(mine));
    EXPECT_EQ(mine->childCount(), 1);
    ASSERT_TRUE(mine->merge(other));
    EXPECT_STREQ(mine->getText(), L"keep");
    std::wstring values;
    for (wchar_t const* key : {L"k", L"only", L"extra"}) values += testfiles::str(mine->getAttributeValue(key)) + L";";
    EXPECT_EQ(values, L"own;1;2;");
    TagRecorder tags;
    mine->scanChildren(&tags);
    EXPECT_EQ(tags.tags, (std::vector<std::wstring>{L"x", L"y", L"z"}));
    EXPECT_EQ(other->childCount(), 0) << "moved, not copied";
    XmlSmartPtr<TrelDOMElement> bare(document->createElement(L"bare"));
    ASSERT_TRUE(bare->merge(other));
    EXPECT_STREQ(bare->getText(), L"lose") << "an element without text takes the other's";
}

}  // namespace
