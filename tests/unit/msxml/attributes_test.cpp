// Attributes through the wrappers a scan lends: each wrapper counted while
// it lives, none left behind, none standing for another attribute.
#include "support.h"

namespace msxmltest {
namespace {

class AttributeTest : public BackendTest {};

// Keeps every stride-th wrapper it is shown (none for 0); reads each
// attribute unless told not to.
struct Recorder : TrelDOMAttributeVisitor {
    explicit Recorder(size_t stride, bool read = true) : stride(stride), read(read) {}
    bool visit(TrelDOMAttribute const* attribute) override {
        liveAtVisit.push_back(XmlObjectFactory::getInstance()->getNodeCount() - static_cast<int>(kept.size()));
        if (read) lines.push_back(keyValue(attribute));
        if (stride && visits % stride == 0) kept.emplace_back(const_cast<TrelDOMAttribute*>(attribute));
        return ++visits, true;
    }
    size_t stride;
    bool read;
    size_t visits = 0;
    std::vector<int> liveAtVisit;  // live wrappers at each visit, the kept ones aside
    std::vector<std::wstring> lines;
    std::vector<XmlSmartPtr<TrelDOMAttribute>> kept;
};

std::vector<std::wstring> scanned(TrelDOMElement const* element) {
    Recorder recorder(0);
    EXPECT_TRUE(element->scanAttributes(&recorder));
    return recorder.lines;
}

// One wrapper per visit, released after it unless kept; what a visitor
// keeps goes on standing for its own attribute through later scans of other
// elements, and a value set through it lands on that attribute only.
TEST_F(AttributeTest, ScansGiveEveryAttributeWhateverTheVisitorKeeps) {
    auto doc = parse(L"<r a='1' xmlns:p='urn:p' p:b='2' c='3' xmlns='urn:d' d='4' e='5' f=''><x k='6' l='7'/><y/></r>");
    auto root = rootOf(doc);
    std::vector<std::wstring> const all = {L"xmlns:p=urn:p", L"xmlns=urn:d", L"a=1", L"p:b=2",
                                           L"c=3",           L"d=4",         L"e=5", L"f="};
    int const nodes = factory()->getNodeCount();
    for (auto [stride, read] : {std::pair{0u, true}, {1u, true}, {2u, true}, {0u, false}, {0u, true}}) {
        SCOPED_TRACE(stride);
        Recorder recorder(stride, read);
        ASSERT_TRUE(root->scanAttributes(&recorder));
        EXPECT_EQ(recorder.visits, 8u);
        EXPECT_EQ(recorder.liveAtVisit, std::vector<int>(8, nodes + 1));
        EXPECT_EQ(recorder.lines, read ? all : std::vector<std::wstring>());
        EXPECT_EQ(scanned(at(root, L"*[1]")), (std::vector<std::wstring>{L"k=6", L"l=7"}));
        EXPECT_EQ(scanned(at(root, L"*[2]")), std::vector<std::wstring>());
        for (size_t i = 0; i < recorder.kept.size(); ++i) EXPECT_EQ(keyValue(recorder.kept[i]), all[stride * i]);
        if (recorder.kept.size() > 2) {
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
    // An attribute held elsewhere is shown as itself and still reads after the scan.
    XmlSmartPtr<TrelDOMNode> held = nodeAt(root, L"@c");
    EXPECT_EQ(scanned(root), all);
    EXPECT_EQ(keyValue(dynamic_cast<TrelDOMAttribute const*>(static_cast<TrelDOMNode*>(held))), L"c=3");
    held = nullptr;
    ASSERT_TRUE(doc->loadXML(L"<s x='9'/>"));  // nothing of the old tree is shown
    EXPECT_EQ(scanned(rootOf(doc)), std::vector<std::wstring>{L"x=9"});
}

}  // namespace
}  // namespace msxmltest
