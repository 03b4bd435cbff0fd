// The code every element and document implementation shares: typed readers
// and writers with their fixed text forms, path helpers, scans and merge.
#include <climits>
#include <cmath>
#include <string>
#include <vector>

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

TEST_F(ElementTest, TypedWritersUseTheFixedTextForms) {
  EXPECT_TRUE(root_->setAttribute(L"yes", true));
  EXPECT_TRUE(root_->setAttribute(L"int", -7));
  EXPECT_TRUE(root_->setAttribute(L"long", LONG_MIN));
  EXPECT_TRUE(root_->setAttribute(L"ulong", ULONG_MAX));
  EXPECT_TRUE(root_->addChild(L"flag", false));
  EXPECT_TRUE(root_->addChild(L"count", -3));
  EXPECT_TRUE(root_->addChild(L"size", ULONG_MAX));
  EXPECT_EQ(textAt(document_, L"/r/@yes"), L"true");
  EXPECT_EQ(textAt(document_, L"/r/@int"), L"-7");
  EXPECT_EQ(textAt(document_, L"/r/@long"), std::to_wstring(LONG_MIN));
  EXPECT_EQ(textAt(document_, L"/r/@ulong"), std::to_wstring(ULONG_MAX));
  EXPECT_EQ(textAt(document_, L"/r/flag"), L"false");
  EXPECT_EQ(textAt(document_, L"/r/count"), L"-3");
  EXPECT_EQ(textAt(document_, L"/r/size"), std::to_wstring(ULONG_MAX));
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

TEST_F(ElementTest, TypedCreateElement) {
  XmlSmartPtr<TrelDOMElement> yes(document_->createElement(L"b", true));
  XmlSmartPtr<TrelDOMElement> negative(document_->createElement(L"l", -7L));
  EXPECT_STREQ(yes->getText(), L"true");
  EXPECT_STREQ(negative->getText(), L"-7");
  EXPECT_STREQ(negative->getTag(), L"l");
  EXPECT_EQ(liveNodes(), 3) << "two new elements and the root";
}

TEST_F(ElementTest, TextReaders) {
  bool flag = true;
  EXPECT_TRUE(child(L"t")->getBoolText(flag)) << "any text is a readable flag";
  EXPECT_FALSE(flag);
  double number = 0;
  EXPECT_TRUE(child(L"v")->getDoubleText(number));
  EXPECT_DOUBLE_EQ(number, 3.25);
  EXPECT_FALSE(child(L"t")->getDoubleText(number));
  unsigned long count = 0;
  EXPECT_TRUE(child(L"k")->getULongText(count));
  EXPECT_EQ(count, 17UL);
  EXPECT_FALSE(child(L"t")->getULongText(count));
  // Without text the outputs are left alone.
  flag = true, number = -1.5, count = 99;
  XmlSmartPtr<TrelDOMElement> empty = child(L"e");
  EXPECT_FALSE(empty->getBoolText(flag) || empty->getDoubleText(number) || empty->getULongText(count));
  EXPECT_TRUE(flag);
  EXPECT_EQ(number, -1.5);
  EXPECT_EQ(count, 99UL);
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

TEST_F(ModelTest, ScanTreeIsDepthFirstPreOrderAndStops) {
  XmlSmartPtr<TrelDOMDocument> document = parse(L"<a>x<b><c/><d>t</d></b><!--n--><e><f/></e><b/></a>");
  XmlSmartPtr<TrelDOMElement> root(document->getRoot());
  TagRecorder all, onlyRoot(L"a"), toD(L"d"), fromDocument;
  EXPECT_TRUE(root->scanTree(&all));
  EXPECT_EQ(all.tags, (std::vector<std::wstring>{L"a", L"b", L"c", L"d", L"e", L"f", L"b"}));
  EXPECT_FALSE(root->scanTree(&onlyRoot));
  EXPECT_EQ(onlyRoot.tags.size(), 1u);
  EXPECT_FALSE(root->scanTree(&toD));
  EXPECT_EQ(toD.tags.size(), 4u);
  document->scanTree(&fromDocument);
  EXPECT_EQ(fromDocument.tags, all.tags);

  XmlSmartPtr<TrelDOMDocument> empty(factory()->createDocument());
  TagRecorder none;
  empty->scanTree(&none);
  EXPECT_TRUE(none.tags.empty());

  TrelDOMElementPtrArray children;
  root->getChildren(children);
  root->getChildren(L"b", children);
  ASSERT_EQ(children.size(), 5) << "appended, not cleared";
  EXPECT_STREQ(children.elt(1)->getTag(), L"e");
  EXPECT_EQ(children.elt(3)->childCount(), 2);
  EXPECT_EQ(children.elt(4)->childCount(), 0);
  EXPECT_EQ(children.elt(0)->referenceCount(), 1) << "the array holds the only reference";
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
