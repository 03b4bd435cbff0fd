// Name keys: a walker keeps what it made of a name under its key, so a key
// must stay with one text for good, across nodes, trees and tree lifetimes.
#include <libxml/tree.h>

#include <map>
#include <set>

#include "dom_fixture.h"

using namespace domtest;

namespace {

// Key -> name of every element and attribute under `node`; a key met with
// two texts fails.
void collectKeys(IXMLDOMNode* node, std::map<uint64_t, std::wstring>& keys) {
    auto const take = [&](IUnknown* of) {
        wchar_t const* name = nullptr;
        uint64_t key = 0;
        ASSERT_EQ(S_OK, readerOf(of)->readNameKey(&name, nullptr, &key));
        ASSERT_NE(key, 0u) << name;
        auto const [at, added] = keys.emplace(key, name);
        EXPECT_TRUE(added || at->second == name) << "one key for " << at->second << " and " << name;
    };
    take(node);
    ComPtr<IXMLDOMAttribute> at;
    for (ComPtr<IXMLDOMAttribute> next; readerOf(node)->nextAttribute(at.get(), next.put()) == S_OK;) {
        at = std::move(next);
        if (nameOf(at.get()).rfind(L"xmlns", 0) != 0) take(at.get());
    }
    forEachChild(node, [&](IXMLDOMNode* child) {
        if (query<IXMLDOMElement>(child, IID_IXMLDOMElement)) collectKeys(child, keys);
    });
}

}  // namespace

TEST(Reader, NameKeysStayWithOneTextForGood) {
    std::wstring const text = L"<r xmlns:p='urn:p'><a p:x='1' x='2'>t</a><a x='3'/><p:a p:x='4'/><b/></r>";
    std::map<uint64_t, std::wstring> first;
    {
        auto doc = parse(text);
        collectKeys(rootOf(doc.get()).get(), first);
        EXPECT_EQ(first.size(), 6u);  // r a p:x x p:a b

        // Text nodes, and names libxml2 keeps outside the dictionary, have no key.
        auto a = element(rootOf(doc.get()).get(), L"a");
        ComPtr<IXMLDOMNode> t;
        a->get_firstChild(t.put());
        xmlAddChild(mx::engineNodeOf(a.get()), xmlNewNode(nullptr, BAD_CAST "outside"));
        auto outside = element(a.get(), L"outside");
        for (IUnknown* none : {static_cast<IUnknown*>(t.get()), static_cast<IUnknown*>(outside.get())}) {
            wchar_t const* name = nullptr;
            uint64_t key = 7;
            EXPECT_EQ(S_OK, readerOf(none)->readNameKey(&name, nullptr, &key));
            EXPECT_EQ(key, 0u) << name;
        }
    }
    // The same names in a tree made after the first one died: new keys.
    std::map<uint64_t, std::wstring> second;
    auto again = parse(text);
    collectKeys(rootOf(again.get()).get(), second);
    EXPECT_EQ(second.size(), first.size());
    for (auto const& [key, name] : second) EXPECT_EQ(first.count(key), 0u) << "key of " << name << " reused";
}
