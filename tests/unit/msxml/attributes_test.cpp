// Attribute access through elements and through attribute wrappers.
#include "support.h"

namespace msxmltest {
namespace {

class AttributeTest : public BackendTest {};

TEST_F(AttributeTest, ValuesAreReadByExactQualifiedName) {
    auto doc = parse(L"<r a='1' B='2' xml:lang='en' empty=''/>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    std::pair<wchar_t const*, wchar_t const*> const values[] = {
        {L"a", L"1"},         {L"xml:lang", L"en"}, {L"b", L"(null)"}, {L"lang", L"(null)"}, {L"missing", L"(null)"},
        {nullptr, L"(null)"}, {L"empty", L""}};  // present but empty is not absent
    for (auto [key, value] : values) EXPECT_EQ(str(root->getAttributeValue(key)), value) << str(key);
    struct {
        wchar_t const *key, *value;
        bool equal;
    } const equals[] = {{L"B", L"2", true},
                        {L"B", L"3", false},
                        {L"xml:lang", L"EN", false},
                        {L"missing", L"", false},
                        {L"empty", L"", true}};
    for (auto const& e : equals) EXPECT_EQ(root->attributeEquals(e.key, e.value), e.equal) << e.key << L"=" << e.value;
}

// Keeps references as told (every attribute, every other one, or none), or
// reads nothing at all.
enum class Keep { None, All, EveryOther, ReadNothing };

struct Recorder : TrelDOMAttributeVisitor {
    explicit Recorder(Keep k) : keep(k) {}
    bool visit(TrelDOMAttribute const* attribute) override {
        liveAtVisit.push_back(XmlObjectFactory::getInstance()->getNodeCount() - static_cast<int>(kept.size()));
        if (keep != Keep::ReadNothing) lines.push_back(keyValue(attribute));
        if (keep == Keep::All || (keep == Keep::EveryOther && visits % 2 == 0))
            kept.emplace_back(const_cast<TrelDOMAttribute*>(attribute));
        ++visits;
        return true;
    }
    Keep keep;
    int visits = 0;
    std::vector<int> liveAtVisit;  // live wrappers at each visit, the kept ones aside
    std::vector<std::wstring> lines;
    std::vector<XmlSmartPtr<TrelDOMAttribute>> kept;
};

std::vector<std::wstring> scanned(TrelDOMElement const* element) {
    Recorder recorder(Keep::None);
    EXPECT_TRUE(element->scanAttributes(&recorder));
    return recorder.lines;
}

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
        size_t const stride = keep == Keep::All ? 1 : 2;
        for (size_t i = 0; i < recorder.kept.size(); ++i) EXPECT_EQ(keyValue(recorder.kept[i]), all[stride * i]);
        if (recorder.kept.size() > 2) {  // a value set through a kept wrapper lands on its attribute only
            auto const& kept = recorder.kept[2];
            std::wstring const old = str(kept->getValue());
            ASSERT_TRUE(kept->setValue(L"new"));
            auto expected = all;
            expected[2 * stride] = str(kept->getKey()) + L"=new";
            EXPECT_EQ(scanned(root), expected);
            ASSERT_TRUE(kept->setValue(old.c_str()));
        }
        recorder.kept.clear();
        EXPECT_EQ(factory()->getNodeCount(), nodes);
    }
    // An attribute already held elsewhere is shown as itself, and the holder
    // still reads it after the scan.
    XmlSmartPtr<TrelDOMNode> held = nodeAt(root, L"@c");
    auto const* c = dynamic_cast<TrelDOMAttribute const*>(static_cast<TrelDOMNode*>(held));
    ASSERT_TRUE(c);
    EXPECT_EQ(scanned(root), all);
    EXPECT_EQ(keyValue(c), L"c=3");
}

// Over a whole walk a kept wrapper stays with its own attribute, a reload
// leaves nothing of the old tree, and no scan leaves a wrapper counted.
TEST_F(AttributeTest, KeptWrappersStayWithTheirAttributesAcrossScans) {
    auto doc = parse(L"<r><e a='1' b='2'/><f c='3' d='4'/><g/><h e='5'/></r>");
    ASSERT_TRUE(doc);
    auto root = rootOf(doc);
    int const nodes = factory()->getNodeCount();
    Recorder first(Keep::All);  // the scan's last wrapper too
    ASSERT_TRUE(at(root, L"e")->scanAttributes(&first));
    ASSERT_EQ(first.kept.size(), 2u);
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::wstring> lines;
        for (wchar_t const* path : {L"f", L"g", L"h", L"e"}) {
            auto more = scanned(at(root, path));
            lines.insert(lines.end(), more.begin(), more.end());
        }
        EXPECT_EQ(lines, (std::vector<std::wstring>{L"c=3", L"d=4", L"e=5", L"a=1", L"b=2"}));
        EXPECT_EQ(keyValue(first.kept[0]) + keyValue(first.kept[1]), L"a=1b=2");
        EXPECT_EQ(factory()->getNodeCount(), nodes + 2);
    }
    first.kept.clear();
    ASSERT_TRUE(doc->loadXML(L"<s x='9'/>"));
    EXPECT_EQ(scanned(rootOf(doc)), std::vector<std::wstring>{L"x=9"});
}

}  // namespace
}  // namespace msxmltest
