// The code every element and document implementation shares: typed readers
// and writers with their fixed text forms, path helpers and merge.
#include <climits>
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
    ASSERT_TRUE(root_);
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

TEST_F(ElementTest, AttributeReaders) {
  // Missing attributes.
  EXPECT_FALSE(root_->getBoolAttributeValue(L"none"));
  EXPECT_EQ(root_->getIntAttributeValue(L"none"), 0);
  EXPECT_EQ(root_->getLongAttributeValue(L"none"), 0L);
  EXPECT_EQ(root_->getULongAttributeValue(L"none"), 0UL);
  EXPECT_TRUE(std::isnan(root_->getDoubleAttributeValue(L"none")));
  // Scan rules: exactly "true"; integers stop at the first non-digit.
  EXPECT_TRUE(root_->getBoolAttributeValue(L"b"));
  EXPECT_FALSE(root_->getBoolAttributeValue(L"B"));
  EXPECT_EQ(root_->getIntAttributeValue(L"i"), 12);
  EXPECT_EQ(root_->getIntAttributeValue(L"w"), 0);
  EXPECT_EQ(root_->getLongAttributeValue(L"n"), -42L);
  EXPECT_EQ(root_->getULongAttributeValue(L"u"), 4000000000UL);
  EXPECT_DOUBLE_EQ(root_->getDoubleAttributeValue(L"d"), 2500.0);
  EXPECT_TRUE(std::isnan(root_->getDoubleAttributeValue(L"w")));
}

TEST_F(ElementTest, DoublesHaveSixteenSignificantDigitsAndReadBack) {
  struct {
    double value;
    wchar_t const* text;
  } const cases[] = {{1.0 / 3.0, L"0.3333333333333333"}, {0.1, L"0.1"}, {2.5, L"2.5"}, {100.0, L"100"}};
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value);
    ASSERT_TRUE(root_->setAttribute(L"x", c.value));
    ASSERT_TRUE(root_->addChild(L"num", c.value));
    XmlSmartPtr<TrelDOMElement> made(document_->createElement(L"made", c.value));
    XmlSmartPtr<TrelDOMElement> added(document_->selectElement(L"/r/num[last()]"));
    EXPECT_EQ(textAt(document_, L"/r/@x"), c.text);
    EXPECT_STREQ(added->getText(), c.text);
    EXPECT_STREQ(made->getText(), c.text);
    double back = 0;
    EXPECT_TRUE(added->getDoubleText(back));
    EXPECT_EQ(back, c.value);
    EXPECT_EQ(root_->getDoubleAttributeValue(L"x"), c.value);
  }
}

TEST_F(ElementTest, PathHelpersFollowTheKindOfTheSelectedNode) {
  EXPECT_EQ(textAt(document_, L"/r/k"), L"17");
  EXPECT_EQ(textAt(document_, L"/r/@n"), L"-42");
  EXPECT_EQ(textAt(document_, L"/r/e"), L"(null)");
  EXPECT_EQ(textAt(document_, L"/r/missing"), L"(null)");
  EXPECT_EQ(textAt(document_, L"/r/comment()"), L"(null)");
  EXPECT_EQ(document_->selectElement(L"/r/@n"), nullptr);
  EXPECT_EQ(document_->selectElement(L"/r/comment()"), nullptr);
  EXPECT_EQ(document_->selectAttribute(L"/r/k"), nullptr);
  EXPECT_EQ(liveNodes(), 1) << "nodes of the wrong kind are deleted";
  XmlSmartPtr<TrelDOMAttribute> attribute(document_->selectAttribute(L"/r/@n"));
  EXPECT_STREQ(attribute->getValue(), L"-42");
}

// Records the tags it visits and stops at a chosen one.
struct TagRecorder : TrelDOMElementVisitor {
  explicit TagRecorder(std::wstring stop = L"") : stopAt(std::move(stop)) {}
  bool visit(TrelDOMElement const* element) override {
    tags.push_back(element->getTag());
    return tags.back() != stopAt;
  }
  std::wstring stopAt;
  std::vector<std::wstring> tags;
};

TEST_F(ElementTest, TextReaders) {
  // getBoolText answers for any text; only the exact word true reads as true.
  bool flag = true;
  EXPECT_TRUE(child(L"t")->getBoolText(flag));
  EXPECT_FALSE(flag) << "yes";
  ASSERT_TRUE(child(L"t")->setText(L"true"));
  EXPECT_TRUE(child(L"t")->getBoolText(flag));
  EXPECT_TRUE(flag);
  for (wchar_t const* notTrue : {L"TRUE", L"true ", L" true", L"truer", L"1"}) {
    EXPECT_FALSE(equalsTrue(notTrue)) << notTrue;
  }
  EXPECT_FALSE(equalsTrue(nullptr));
  // Without text nothing is read and `out` keeps its value.
  flag = true;
  double number = -1;
  unsigned long count = 7;
  EXPECT_FALSE(child(L"e")->getBoolText(flag));
  EXPECT_FALSE(child(L"e")->getDoubleText(number));
  EXPECT_FALSE(child(L"e")->getULongText(count));
  EXPECT_TRUE(flag);
  EXPECT_EQ(number, -1);
  EXPECT_EQ(count, 7UL);
  // Numbers scan from the front, after leading blanks.
  EXPECT_TRUE(child(L"v")->getDoubleText(number));
  EXPECT_EQ(number, 3.25);
  EXPECT_FALSE(child(L"t")->getDoubleText(number));
  EXPECT_TRUE(child(L"k")->getULongText(count));
  EXPECT_EQ(count, 17UL);
}

// The order and stops over deep trees are the comparator tests' concern.
TEST_F(ElementTest, ScanTreeFromTheElementOrTheDocument) {
  ASSERT_TRUE(XmlSmartPtr<TrelDOMElement>(root_->addChild(L"e"))->addChild(L"deep", L"x"));
  TagRecorder all;
  EXPECT_TRUE(root_->scanTree(&all));
  EXPECT_EQ(all.tags, (std::vector<std::wstring>{L"r", L"t", L"v", L"e", L"k", L"e", L"deep"}));
  TagRecorder rootOnly(L"r");
  EXPECT_FALSE(root_->scanTree(&rootOnly));
  EXPECT_EQ(rootOnly.tags, std::vector<std::wstring>{L"r"});
  // The document form walks the root's tree and has no result.
  TagRecorder fromDocument;
  document_->scanTree(&fromDocument);
  EXPECT_EQ(fromDocument.tags, all.tags);
  XmlSmartPtr<TrelDOMDocument> empty(factory()->createDocument());
  TagRecorder none;
  empty->scanTree(&none);
  EXPECT_TRUE(none.tags.empty());
}

TEST_F(ModelTest, MergeKeepsOwnTextAndValuesAndMovesTheOthersChildren) {
  XmlSmartPtr<TrelDOMDocument> document = parse(
      L"<m><mine k='own' only='1'>keep<x/></mine><other k='theirs' extra='2'>lose<y/><z/></other></m>");
  XmlSmartPtr<TrelDOMElement> mine(document->selectElement(L"/m/mine"));
  XmlSmartPtr<TrelDOMElement> other(document->selectElement(L"/m/other"));
  EXPECT_FALSE(mine->merge(nullptr));
  EXPECT_FALSE(mine->merge(mine));
  EXPECT_EQ(mine->childCount(), 1);

  ASSERT_TRUE(mine->merge(other));
  EXPECT_STREQ(mine->getText(), L"keep");
  EXPECT_STREQ(mine->getAttributeValue(L"k"), L"own");
  EXPECT_STREQ(mine->getAttributeValue(L"only"), L"1");
  EXPECT_STREQ(mine->getAttributeValue(L"extra"), L"2");
  TagRecorder tags;
  mine->scanChildren(&tags);
  EXPECT_EQ(tags.tags, (std::vector<std::wstring>{L"x", L"y", L"z"}));
  EXPECT_EQ(other->childCount(), 0) << "moved, not copied";

  XmlSmartPtr<TrelDOMElement> bare(document->createElement(L"bare"));
  ASSERT_TRUE(bare->merge(other));
  EXPECT_STREQ(bare->getText(), L"lose") << "an element without text takes the other's";
}

}  // namespace
