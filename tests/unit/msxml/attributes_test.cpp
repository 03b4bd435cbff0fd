// Attribute access through elements and through attribute wrappers.
#include "support.h"

namespace msxmltest {
namespace {

class AttributeTest : public BackendTest {};

TEST_F(AttributeTest, ValuesAreReadByExactQualifiedName) {
    auto doc = parse(L"<r a='1' B='2' xml:lang='en' empty=''/>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    EXPECT_EQ(str(root->getAttributeValue(L"a")), L"1");
    EXPECT_EQ(str(root->getAttributeValue(L"xml:lang")), L"en");
    EXPECT_EQ(str(root->getAttributeValue(L"b")), L"(null)");
    EXPECT_EQ(str(root->getAttributeValue(L"lang")), L"(null)");
    EXPECT_EQ(str(root->getAttributeValue(L"missing")), L"(null)");
    EXPECT_EQ(str(root->getAttributeValue(nullptr)), L"(null)");
    EXPECT_EQ(str(root->getAttributeValue(L"empty")), L"") << "present but empty is not absent";
    EXPECT_EQ(root->getAttributeValue(L"a"), root->getAttributeValue(L"a"));

    EXPECT_TRUE(root->attributeEquals(L"B", L"2"));
    EXPECT_FALSE(root->attributeEquals(L"B", L"3"));
    EXPECT_FALSE(root->attributeEquals(L"xml:lang", L"EN"));
    EXPECT_FALSE(root->attributeEquals(L"missing", L""));
    EXPECT_TRUE(root->attributeEquals(L"empty", L""));
}

// Records what it is shown; keeps references as told: every attribute,
// every other one, or none; or reads nothing at all.
enum class Keep { None, All, EveryOther, ReadNothing };

class Recorder : public TrelDOMAttributeVisitor {
public:
    explicit Recorder(Keep keep) : keep_(keep) {}
    bool visit(TrelDOMAttribute const* attribute) override {
        bool const keep = keep_ == Keep::All || (keep_ == Keep::EveryOther && visits % 2 == 0);
        ++visits;
        liveAtVisit.push_back(XmlObjectFactory::getInstance()->getNodeCount() - static_cast<int>(kept.size()));
        if (keep_ != Keep::ReadNothing) lines.push_back(str(attribute->getKey()) + L"=" + str(attribute->getValue()));
        if (keep) kept.push_back(XmlSmartPtr<TrelDOMAttribute>(const_cast<TrelDOMAttribute*>(attribute)));
        return true;
    }
    int visits = 0;
    std::vector<int> liveAtVisit;  // live wrappers at each visit, the kept ones aside
    std::vector<std::wstring> lines;
    std::vector<XmlSmartPtr<TrelDOMAttribute>> kept;

private:
    Keep keep_;
};

// Each visit gets its own wrapper, counted while it lives and released after
// the visit unless the visitor kept it; what a visitor keeps goes on
// standing for the attribute it was shown.
TEST_F(AttributeTest, ScansGiveEveryAttributeWhateverTheVisitorKeeps) {
    auto doc = parse(L"<r a='1' xmlns:p='urn:p' p:b='2' c='3' xmlns='urn:d' d='4' e='5' f=''/>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    std::vector<std::wstring> const all = {L"xmlns:p=urn:p", L"xmlns=urn:d", L"a=1", L"p:b=2",
                                           L"c=3",           L"d=4",         L"e=5", L"f="};
    int const nodes = factory()->getNodeCount();
    for (Keep keep : {Keep::None, Keep::All, Keep::EveryOther, Keep::ReadNothing, Keep::None}) {
        SCOPED_TRACE(static_cast<int>(keep));
        Recorder recorder(keep);
        ASSERT_TRUE(root->scanAttributes(&recorder));
        EXPECT_EQ(recorder.visits, 8);
        EXPECT_EQ(recorder.liveAtVisit, std::vector<int>(8, nodes + 1));
        EXPECT_EQ(recorder.lines, keep == Keep::ReadNothing ? std::vector<std::wstring>() : all);
        for (size_t i = 0; i < recorder.kept.size(); ++i) {
            auto const& attribute = recorder.kept[i];
            EXPECT_EQ(str(attribute->getKey()) + L"=" + str(attribute->getValue()), all[keep == Keep::All ? i : 2 * i]);
        }
        if (recorder.kept.size() > 2) {  // a value set through a kept wrapper lands on its attribute only
            auto const& kept = recorder.kept[2];
            std::wstring const old = str(kept->getValue());
            ASSERT_TRUE(kept->setValue(L"new"));
            Recorder after(Keep::None);
            ASSERT_TRUE(root->scanAttributes(&after));
            auto expected = all;
            expected[keep == Keep::All ? 2 : 4] = str(kept->getKey()) + L"=new";
            EXPECT_EQ(after.lines, expected);
            ASSERT_TRUE(kept->setValue(old.c_str()));
        }
        recorder.kept.clear();
        EXPECT_EQ(factory()->getNodeCount(), nodes);
    }

    // An attribute already held elsewhere is shown as itself, and the
    // holder still reads it after the scan.
    XmlSmartPtr<TrelDOMNode> held = nodeAt(root, L"@c");
    ASSERT_TRUE(held);
    Recorder recorder(Keep::None);
    ASSERT_TRUE(root->scanAttributes(&recorder));
    EXPECT_EQ(recorder.lines, all);
    auto const* c = dynamic_cast<TrelDOMAttribute const*>(static_cast<TrelDOMNode*>(held));
    ASSERT_TRUE(c);
    EXPECT_EQ(str(c->getKey()) + L"=" + str(c->getValue()), L"c=3");
}


// Scans of a whole walk: a wrapper that a visitor kept stays with its own
// attribute, a reload leaves nothing of the old tree, and no scan leaves a
// wrapper in the live-node count.
TEST_F(AttributeTest, KeptWrappersStayWithTheirAttributesAcrossScans) {
    auto doc = parse(L"<r><e a='1' b='2'/><f c='3' d='4'/><g/><h e='5'/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    int const nodes = factory()->getNodeCount();
    Recorder first(Keep::All);  // the scan's last wrapper too
    ASSERT_TRUE(at(root, L"e")->scanAttributes(&first));
    ASSERT_EQ(first.kept.size(), 2u);
    EXPECT_EQ(factory()->getNodeCount(), nodes + 2);
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::wstring> lines;
        for (wchar_t const* path : {L"f", L"g", L"h", L"e"}) {
            Recorder recorder(Keep::None);
            ASSERT_TRUE(at(root, path)->scanAttributes(&recorder));
            lines.insert(lines.end(), recorder.lines.begin(), recorder.lines.end());
        }
        EXPECT_EQ(lines, (std::vector<std::wstring>{L"c=3", L"d=4", L"e=5", L"a=1", L"b=2"}));
        EXPECT_EQ(str(first.kept[0]->getKey()) + L"=" + str(first.kept[0]->getValue()), L"a=1");
        EXPECT_EQ(str(first.kept[1]->getKey()) + L"=" + str(first.kept[1]->getValue()), L"b=2");
        EXPECT_EQ(factory()->getNodeCount(), nodes + 2);
    }
    first.kept.clear();

    ASSERT_TRUE(doc->loadXML(L"<s x='9'/>"));
    auto fresh = rootOf(doc);
    Recorder after(Keep::None);
    ASSERT_TRUE(fresh->scanAttributes(&after));
    EXPECT_EQ(after.lines, std::vector<std::wstring>{L"x=9"});
}

}  // namespace
}  // namespace msxmltest
