// IXMLDOMNodeReader: the fast reads must say what the standard interfaces
// say, hand out exactly the references they promise, and fail cleanly on
// nodes that libxml2 freed.
#include <libxml/tree.h>

#include <map>
#include <utility>
#include <vector>

#include "tests/unit/common/engine_objects.h"

using namespace enginetest;

namespace {

// A lent text as a string: "(null)" for S_FALSE with null, "(failed)" for a
// failure; the length given must match the text.
template <class Read>
std::wstring lent(Read read) {
    wchar_t const* s = nullptr;
    size_t n = 0;
    HRESULT const hr = read(&s, &n);
    if (FAILED(hr)) return L"(failed)";
    if (hr == S_FALSE || !s) return hr == S_FALSE && !s ? L"(null)" : L"(inconsistent)";
    EXPECT_EQ(n, wcslen(s));
    return s;
}
std::wstring readName(ComPtr<IXMLDOMNodeReader> const& r) {
    return lent([&](auto s, auto n) { return r->readName(s, n); });
}
std::wstring readText(ComPtr<IXMLDOMNodeReader> const& r) {
    return lent([&](auto s, auto n) { return r->readText(s, n); });
}
std::wstring readAttribute(ComPtr<IXMLDOMNodeReader> const& r, wchar_t const* name) {
    return lent([&](auto s, auto n) { return r->readAttribute(name, s, n); });
}

std::wstring valueOf(IXMLDOMNode* node) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(S_OK, node->get_nodeValue(&v));
    return v.vt == VT_BSTR ? take(v.bstrVal) : L"(null)";
}

DOMNodeType typeOf(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    return node && SUCCEEDED(node->get_nodeType(&type)) ? type : NODE_INVALID;
}

// Calls visit(attribute) for each attribute the reader gives, in order.
template <class Visit>
void forEachAttribute(IXMLDOMNodeReader* r, Visit visit) {
    ComPtr<IXMLDOMAttribute> at;
    for (ComPtr<IXMLDOMAttribute> next; r->nextAttribute(at.get(), next.put()) == S_OK; visit(at.get()))
        at = std::move(next);
}

// Every read of `node`, its attributes and, recursively, its children
// against what the standard interfaces give.
void expectAgreement(IXMLDOMNode* node) {
    std::wstring const name = nameOf(node);
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    auto r = readerOf(node);
    ASSERT_TRUE(r);
    EXPECT_EQ(readName(r), name);
    if (typeOf(node) != NODE_ELEMENT) {
        EXPECT_EQ(readText(r), valueOf(node));
        ComPtr<IXMLDOMAttribute> none;
        EXPECT_EQ(E_FAIL, r->nextAttribute(nullptr, none.put()));
        return;
    }
    ComPtr<IXMLDOMNode> first;
    node->get_firstChild(first.put());
    EXPECT_EQ(readText(r), typeOf(first.get()) == NODE_TEXT ? valueOf(first.get()) : L"(null)");

    ComPtr<IXMLDOMNamedNodeMap> map;
    ASSERT_EQ(S_OK, node->get_attributes(map.put()));
    long attributes = 0;
    map->get_length(&attributes);
    ComPtr<IXMLDOMAttribute> at;
    for (long i = 0; i < attributes; ++i) {
        ComPtr<IXMLDOMNode> item;
        ComPtr<IXMLDOMAttribute> next;
        map->get_item(i, item.put());
        ASSERT_EQ(S_OK, r->nextAttribute(at.get(), next.put()));
        at = std::move(next);
        std::wstring const key = nameOf(item.get());
        EXPECT_EQ(nameOf(at.get()), key);
        EXPECT_EQ(readAttribute(r, key.c_str()), valueOf(item.get()));
        expectAgreement(item.get());
    }
    ComPtr<IXMLDOMAttribute> after;
    EXPECT_EQ(S_FALSE, r->nextAttribute(at.get(), after.put()));
    EXPECT_FALSE(after);

    ComPtr<IXMLDOMChildCursor> cursor;
    ASSERT_EQ(S_OK, r->openElementChildren(cursor.put()));
    forEachChild(node, [&](IXMLDOMNode* child) {
        if (typeOf(child) == NODE_ELEMENT) {
            IXMLDOMElement* given = nullptr;
            IXMLDOMNodeReader* reader = nullptr;
            ASSERT_EQ(S_OK, cursor->next(&given, &reader));
            EXPECT_EQ(query<IUnknown>(given, IID_IUnknown).get(), query<IUnknown>(child, IID_IUnknown).get());
            given->Release();
        }
        expectAgreement(child);
    });
    IXMLDOMElement* past = nullptr;
    IXMLDOMNodeReader* reader = nullptr;
    EXPECT_EQ(S_FALSE, cursor->next(&past, &reader));
}

TEST(Reader, AgreesWithTheStandardInterfaces) {
    auto doc = parse(
        L"<?xml version='1.0' standalone='yes'?><!--top-->"
        L"<p:r a0='&#233;&lt;&#x1F600;' xmlns:p='urn:p' xmlns='urn:d' p:a='1' xml:lang='en'>"
        L"<e>t\u00e9\u4e2d\U0001D11E<x/>tail</e>"
        L"<cd><![CDATA[z]]>w</cd><cm><!--n-->t</cm><empty/><?pi data?>"
        L"<p:q p:k='v' k='' xmlns:s='urn:s'><s:i/>mixed<s:j/></p:q></p:r>");
    auto root = rootOf(doc.get());
    // An attribute whose value is spread over several text nodes.
    auto k = select(element(root.get(), L"*[5]").get(), L"@k");
    ASSERT_TRUE(k);
    for (wchar_t const* part : {L"a\U0001F600b", L"c"}) {
        ComPtr<IXMLDOMText> text;
        ComPtr<IXMLDOMNode> added;
        doc->createTextNode(Arg(part), text.put());
        ASSERT_EQ(S_OK, k->appendChild(text.get(), added.put()));
    }
    EXPECT_EQ(readText(readerOf(k.get())), L"a\U0001F600bc");

    EXPECT_EQ(childNames(doc.get()), L"xml #comment p:r");
    forEachChild(doc.get(), expectAgreement);

    auto r = readerOf(root.get());
    EXPECT_EQ(readAttribute(r, L"a0"), L"\u00e9<\U0001F600");
    EXPECT_EQ(readText(readerOf(element(root.get(), L"*[1]").get())), L"t\u00e9\u4e2d\U0001D11E");
    // Declarations come first, whatever their place in the source.
    ComPtr<IXMLDOMAttribute> first;
    ASSERT_EQ(S_OK, r->nextAttribute(nullptr, first.put()));
    EXPECT_EQ(nameOf(first.get()), L"xmlns:p");
}

TEST(Reader, AttributeLookupsAndBounds) {
    auto doc = parse(L"<r xmlns:p='urn:p' xmlns='urn:d' p:a='1' b=''><c>t</c></r>");
    auto root = rootOf(doc.get());
    auto r = readerOf(root.get());
    // Matched by qualified name only; present but empty is not absent.
    for (auto [name, value] : {std::pair{L"xmlns:q", L"(null)"},
                               {L"a", L"(null)"},
                               {L"b", L""},
                               {L"missing", L"(null)"},
                               {static_cast<wchar_t const*>(nullptr), L"(null)"}})
        EXPECT_EQ(readAttribute(r, name), value) << (name ? name : L"null");
    EXPECT_EQ(E_POINTER, r->readName(nullptr, nullptr));

    // Only an element has attributes and element children; a step from an
    // attribute of another element is refused.
    auto b = query<IXMLDOMAttribute>(select(root.get(), L"@b").get(), IID_IXMLDOMAttribute);
    ASSERT_TRUE(b);
    EXPECT_EQ(readAttribute(readerOf(b.get()), L"b"), L"(failed)");
    ComPtr<IXMLDOMChildCursor> cursor;
    EXPECT_EQ(E_FAIL, readerOf(b.get())->openElementChildren(cursor.put()));
    auto c = element(root.get(), L"*");
    ComPtr<IXMLDOMAttribute> none;
    EXPECT_EQ(E_INVALIDARG, readerOf(c.get())->nextAttribute(b.get(), none.put()));
    EXPECT_EQ(S_FALSE, readerOf(c.get())->nextAttribute(nullptr, none.put()));
    EXPECT_FALSE(none);
    ComPtr<IXMLDOMNode> text;
    c->get_firstChild(text.put());
    EXPECT_EQ(E_FAIL, readerOf(text.get())->openElementChildren(cursor.put()));
    EXPECT_EQ(E_POINTER, readerOf(c.get())->openElementChildren(nullptr));
    ASSERT_EQ(S_OK, readerOf(c.get())->openElementChildren(cursor.put()));
    IXMLDOMElement* child = nullptr;
    IXMLDOMNodeReader* reader = nullptr;
    EXPECT_EQ(E_POINTER, cursor->next(nullptr, nullptr));
    EXPECT_EQ(S_FALSE, cursor->next(&child, &reader));
    EXPECT_FALSE(child || reader);
}

// Key -> name of every element and non-declaration attribute under `node`;
// a key met with two texts fails.
void collectKeys(IXMLDOMNode* node, std::map<uint64_t, std::wstring>& keys) {
    auto const add = [&](IUnknown* of) {
        wchar_t const* name = nullptr;
        uint64_t key = 0;
        ASSERT_EQ(S_OK, readerOf(of)->readNameKey(&name, nullptr, &key));
        ASSERT_NE(key, 0u) << name;
        auto const [at, added] = keys.emplace(key, name);
        EXPECT_TRUE(added || at->second == name) << "one key for " << at->second << " and " << name;
    };
    add(node);
    forEachAttribute(readerOf(node).get(), [&](IXMLDOMAttribute* at) {
        if (nameOf(at).rfind(L"xmlns", 0) != 0) add(at);
    });
    forEachChild(node, [&](IXMLDOMNode* child) {
        if (typeOf(child) == NODE_ELEMENT) collectKeys(child, keys);
    });
}

// Names of a tree keep one pointer for the tree's life, whatever else is
// read between; prefixed forms of one local name stay apart. A name key
// stays with one text for good, across nodes, trees and tree lifetimes
// (walkers keep what they made of a name under its key); text nodes and
// names libxml2 keeps outside the tree's dictionary have none but still read.
TEST(Reader, NamesAndNameKeysComeFromTheTreesTable) {
    std::wstring text = L"<r xmlns:p='urn:p' xmlns:q='urn:q'><a p:x='1' x='2'>t</a><p:a p:x='4'/>";
    for (int i = 0; i < 300; ++i) text += L"<n" + std::to_wstring(i) + L" p:a='1' q:a='2' a='3'/>";
    text += L"</r>";
    std::map<uint64_t, std::wstring> first;
    {
        auto doc = parse(text);
        auto root = rootOf(doc.get());
        wchar_t const* n0 = nullptr;
        auto nameOfN0 = [&] { return readerOf(element(root.get(), L"n0").get())->readName(&n0, nullptr); };
        ASSERT_EQ(S_OK, nameOfN0());
        wchar_t const* const firstN0 = n0;
        collectKeys(root.get(), first);
        EXPECT_EQ(first.size(), 306u);  // one a text: r a p:x x p:a q:a n0..n299
        std::vector<std::wstring> names;
        forEachAttribute(readerOf(element(root.get(), L"n299").get()).get(),
                         [&](IXMLDOMAttribute* at) { names.push_back(readName(readerOf(at))); });
        EXPECT_EQ(names, (std::vector<std::wstring>{L"p:a", L"q:a", L"a"}));
        ASSERT_EQ(S_OK, nameOfN0());
        EXPECT_EQ(n0, firstN0);

        auto a = element(root.get(), L"a");
        xmlAddChild(mx::engineNodeOf(a.get()), xmlNewNode(nullptr, BAD_CAST "outside"));
        auto outside = element(a.get(), L"outside");
        EXPECT_EQ(readName(readerOf(outside.get())), L"outside");
        ComPtr<IXMLDOMNode> t;
        a->get_firstChild(t.put());
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

// The per-thread text buffer gives back what one large text took.
TEST(Reader, TextBufferShrinksAfterALargeText) {
    std::wstring big(1 << 20, L'x');
    auto doc = parse(L"<r><big>" + big + L"</big><small>s</small></r>");
    auto root = rootOf(doc.get());
    EXPECT_EQ(readText(readerOf(element(root.get(), L"big").get())).size(), big.size());
    EXPECT_GT(mx::readerTextUnits(), big.size());
    EXPECT_EQ(readText(readerOf(element(root.get(), L"small").get())), L"s");
    EXPECT_LT(mx::readerTextUnits(), size_t(1) << 16);
}

// libxml2 frees nodes on its own (text merging, whole-value rewrites, XSLT
// stripping): a reader of such a node fails, it never reads freed memory.
TEST(Reader, ReadersOfFreedNodesFail) {
    auto doc = parse(L"<r xmlns:q='urn:q' a='x'><e k='v' l='w'>t<f/></e></r>");
    auto root = rootOf(doc.get());
    ComPtr<IXMLDOMAttribute> decl, k, none;
    ASSERT_EQ(S_OK, readerOf(root.get())->nextAttribute(nullptr, decl.put()));
    auto rd = readerOf(decl.get());
    xmlFreeNs(std::exchange(mx::engineNodeOf(root.get())->nsDef, nullptr));
    EXPECT_EQ(readName(rd) + readText(rd), L"(failed)(failed)");

    auto e = element(root.get(), L"e");
    auto re = readerOf(e.get());
    ASSERT_EQ(S_OK, re->nextAttribute(nullptr, k.put()));
    auto rk = readerOf(k.get());
    xmlNodePtr node = mx::engineNodeOf(e.get());
    ASSERT_TRUE(node);
    xmlUnlinkNode(node);
    xmlFreeNode(node);
    EXPECT_EQ(readName(re) + readText(re) + readAttribute(re, L"k") + readName(rk),
              L"(failed)(failed)(failed)(failed)");
    ComPtr<IXMLDOMChildCursor> cursor;
    EXPECT_EQ(E_FAIL, re->openElementChildren(cursor.put()));
    EXPECT_EQ(E_FAIL, re->nextAttribute(nullptr, none.put()));
    EXPECT_EQ(xmlOf(root.get()), L"<r a=\"x\"/>");
}

}  // namespace
