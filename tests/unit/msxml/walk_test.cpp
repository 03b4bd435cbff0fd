// A walk's strings: names, attribute values and texts come from one place,
// so equal texts are one pointer whichever way they were read; the strings
// a walk borrows without interning agree with them.
#include "model/TrelTreeStream.h"
#include "platform/host/utf8.h"
#include "support.h"

namespace msxmltest {
namespace {

class WalkTest : public BackendTest {};

TEST_F(WalkTest, EqualTextsAreOnePointerAcrossNamesValuesAndWalks) {
    auto doc = parse(L"<r xmlns:p='urn:p' k='a' p:k='r'><a k='p:k'>k</a><p:k/><a/></r>");
    auto root = rootOf(doc);
    std::vector<wchar_t const*> seen;  // per walk: tags, keys, values, texts in order
    EachAttribute attributes([&](TrelDOMAttribute const* a) { seen.insert(seen.end(), {a->getKey(), a->getValue()}); });
    EachElement elements([&](TrelDOMElement const* e) {
        seen.push_back(e->getTag());
        e->scanAttributes(&attributes);
        seen.push_back(e->getText());
    });
    root->scanTree(&elements);
    auto const first = seen;
    ASSERT_EQ(first.size(), 16u);
    for (size_t i = 0; i < first.size(); ++i)
        for (size_t j = 0; j < i; ++j) EXPECT_EQ(str(first[i]) == str(first[j]), first[i] == first[j]) << i << " " << j;
    seen.clear();
    root->scanTree(&elements);
    EXPECT_EQ(seen, first);
    EXPECT_EQ(root->getAttributeValue(L"k"), at(root, L"a")->getTag());
}

// A wrapper made through a moved element's wrapper interns in the document
// the node is in now: its handles are counted there and may outlive the
// document the moved element's wrapper was made for.
TEST_F(WalkTest, WrappersMadeThroughAMovedElementBelongToItsNewDocument) {
    auto from = parse(L"<a><box><in/></box></a>");
    auto to = parse(L"<b><in/></b>");
    auto box = at(rootOf(from), L"box");
    auto target = rootOf(to);
    ASSERT_TRUE(target->addChild(static_cast<TrelDOMElement const*>(box)));
    wchar_t const* tag = at(target, L"in")->getTag();  // interned in `to`
    int children = 0;
    EachElement each([&](TrelDOMElement const* e) {
        ++children;
        EXPECT_EQ(e->getDocument(), static_cast<TrelDOMDocument const*>(to));
        EXPECT_EQ(e->getTag(), tag);
    });
    box->scanChildren(&each);
    EXPECT_EQ(children, 1);
    EXPECT_EQ(XmlSmartPtr<TrelDOMElement>(box->getFirstChild())->getTag(), tag);
}

struct NameList : TrelNameSink {
    std::vector<std::string> names;
    void name(char const* utf8, std::size_t bytes) override { names.emplace_back(utf8, bytes); }
};

// The interned string in UTF-8, or "" for none; `lent` the same for the
// borrowed bytes of a read that reported `found`.
std::string utf8Of(wchar_t const* text) {
    unsigned char buffer[256];
    unsigned char const* bytes = text ? InternalToUTF8(text, buffer, sizeof buffer) : nullptr;
    return bytes ? reinterpret_cast<char const*>(bytes) : "";
}
std::string lent(bool found, char const* bytes, std::size_t length) { return found ? std::string(bytes, length) : ""; }

TEST_F(WalkTest, LentStringsAgreeWithTheInternedOnes) {
    auto doc = parse(
        L"<r xmlns:p='urn:p' k='' p:k='\u00e9t\u00e9'><a k='\u65e5\u672c' q='\U0001F600'>caf\u00e9</a>"
        L"<b xmlns='urn:d'><![CDATA[c]]>t</b><c k='&lt;&amp;'/><d>\u2603</d></r>");
    EachElement elements([](TrelDOMElement const* e) {
        std::vector<std::wstring> keys;
        EachAttribute attributes([&](TrelDOMAttribute const* a) { keys.push_back(str(a->getKey())); });
        e->scanAttributes(&attributes);
        NameList names;
        EXPECT_TRUE(scanAttributeNames(e, names));
        std::vector<std::string> utf8Keys;
        for (auto const& key : keys) utf8Keys.push_back(utf8Of(key.c_str()));
        EXPECT_EQ(names.names, utf8Keys) << str(e->getTag());
        char const* bytes = nullptr;
        std::size_t length = 0;
        keys.push_back(L"absent");
        for (auto const& key : keys) {
            wchar_t const* interned = e->getAttributeValue(key.c_str());
            bool const found = readAttributeUtf8(e, utf8Of(key.c_str()).c_str(), &bytes, &length);
            EXPECT_EQ(found, interned != nullptr) << str(key.c_str());
            EXPECT_EQ(lent(found, bytes, length), utf8Of(interned)) << str(key.c_str());
        }
        bool const found = readTextUtf8(e, &bytes, &length);
        EXPECT_EQ(found, e->getText() != nullptr) << str(e->getTag());
        EXPECT_EQ(lent(found, bytes, length), utf8Of(e->getText())) << str(e->getTag());
    });
    rootOf(doc)->scanTree(&elements);
}

}  // namespace
}  // namespace msxmltest
