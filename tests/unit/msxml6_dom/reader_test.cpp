// IXMLDOMNodeReader: the fast reads must say what the standard interfaces
// say, hand out exactly the references they promise, and fail cleanly on
// nodes that libxml2 freed.
#include <libxml/tree.h>

#include <vector>

#include "dom_fixture.h"

using namespace domtest;

namespace {

ComPtr<IXMLDOMNodeReader> readerOf(IUnknown* node) {
    return ComPtr<IXMLDOMNodeReader>::query(node, IID_IXMLDOMNodeReader);
}

// A lent text as a string: "(null)" for S_FALSE with null, "(failed)" for a
// failure; the length given must match the text.
template <class Read>
std::wstring lent(Read read) {
    wchar_t const* s = nullptr;
    size_t n = 0;
    HRESULT hr = read(&s, &n);
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
    std::wstring out = v.vt == VT_BSTR ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"(null)";
    VariantClear(&v);
    return out;
}

DOMNodeType typeOf(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    if (node) node->get_nodeType(&type);
    return type;
}

IUnknown* identity(IUnknown* node) {  // borrowed: the caller holds the node
    IUnknown* unknown = nullptr;
    node->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
    if (unknown) unknown->Release();
    return unknown;
}

// Every read of `node`, its attributes and, recursively, its children
// against what the standard interfaces give.
void expectAgreement(IXMLDOMNode* node) {
    std::wstring const name = nameOf(node);
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    auto r = readerOf(node);
    ASSERT_TRUE(r);
    EXPECT_EQ(readName(r), name);
    long count = -1;
    if (typeOf(node) != NODE_ELEMENT) {
        EXPECT_EQ(readText(r), valueOf(node));
        EXPECT_EQ(E_FAIL, r->attributeCount(&count));
        return;
    }
    ComPtr<IXMLDOMNode> first;
    node->get_firstChild(first.put());
    EXPECT_EQ(readText(r), typeOf(first.get()) == NODE_TEXT ? valueOf(first.get()) : L"(null)");

    ComPtr<IXMLDOMNamedNodeMap> map;
    ASSERT_EQ(S_OK, node->get_attributes(map.put()));
    long attributes = 0;
    map->get_length(&attributes);
    ASSERT_EQ(S_OK, r->attributeCount(&count));
    EXPECT_EQ(count, attributes);
    for (long i = 0; i < attributes; ++i) {
        ComPtr<IXMLDOMNode> item;
        ComPtr<IXMLDOMAttribute> at;
        map->get_item(i, item.put());
        ASSERT_EQ(S_OK, r->attributeAt(i, at.put()));
        std::wstring const key = nameOf(item.get());
        EXPECT_EQ(nameOf(at.get()), key);
        EXPECT_EQ(readAttribute(r, key.c_str()), valueOf(item.get()));
        expectAgreement(item.get());
    }

    ComPtr<IXMLDOMNodeList> children;
    ASSERT_EQ(S_OK, node->get_childNodes(children.put()));
    ComPtr<IXMLDOMChildCursor> cursor;
    ASSERT_EQ(S_OK, r->openElementChildren(cursor.put()));
    long length = 0;
    children->get_length(&length);
    for (long i = 0; i < length; ++i) {
        ComPtr<IXMLDOMNode> child;
        children->get_item(i, child.put());
        if (typeOf(child.get()) == NODE_ELEMENT) {
            IXMLDOMElement* given = nullptr;
            IXMLDOMNodeReader* reader = nullptr;
            ASSERT_EQ(S_OK, cursor->next(&given, &reader));
            EXPECT_EQ(identity(given), identity(child.get()));
            given->Release();
        }
        expectAgreement(child.get());
    }
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
    ComPtr<IXMLDOMAttribute> k;
    ASSERT_EQ(S_OK, element(root.get(), L"*[5]")->getAttributeNode(Arg(L"k"), k.put()));
    for (wchar_t const* part : {L"a\U0001F600b", L"c"}) {
        ComPtr<IXMLDOMText> text;
        ComPtr<IXMLDOMNode> added;
        doc->createTextNode(Arg(part), text.put());
        ASSERT_EQ(S_OK, k->appendChild(text.get(), added.put()));
    }
    EXPECT_EQ(readText(readerOf(k.get())), L"a\U0001F600bc");

    ComPtr<IXMLDOMNodeList> top;  // the declaration, the comment, the root
    ASSERT_EQ(S_OK, doc->get_childNodes(top.put()));
    for (ComPtr<IXMLDOMNode> child; top->nextNode(child.put()) == S_OK && child;) expectAgreement(child.get());

    auto r = readerOf(root.get());
    EXPECT_EQ(readAttribute(r, L"a0"), L"\u00e9<\U0001F600");
    EXPECT_EQ(readText(readerOf(element(root.get(), L"*[1]").get())), L"t\u00e9\u4e2d\U0001D11E");
    EXPECT_EQ(readText(readerOf(element(root.get(), L"*[2]").get())), L"(null)") << "CDATA is no text";
    EXPECT_EQ(readText(readerOf(element(root.get(), L"*[3]").get())), L"(null)") << "nor a comment";
    // Declarations come first, whatever their place in the source.
    ComPtr<IXMLDOMAttribute> first;
    ASSERT_EQ(S_OK, r->attributeAt(0, first.put()));
    EXPECT_EQ(nameOf(first.get()), L"xmlns:p");
}

TEST(Reader, AttributeLookupsAndBounds) {
    auto doc = parse(L"<r xmlns:p='urn:p' xmlns='urn:d' p:a='1' b=''><c/></r>");
    auto r = readerOf(rootOf(doc.get()).get());
    EXPECT_EQ(readAttribute(r, L"xmlns:p"), L"urn:p");
    EXPECT_EQ(readAttribute(r, L"xmlns"), L"urn:d");
    EXPECT_EQ(readAttribute(r, L"xmlns:q"), L"(null)");
    EXPECT_EQ(readAttribute(r, L"p:a"), L"1");
    EXPECT_EQ(readAttribute(r, L"a"), L"(null)") << "matched by qualified name only";
    EXPECT_EQ(readAttribute(r, L"b"), L"") << "present but empty is not absent";
    EXPECT_EQ(readAttribute(r, L"missing"), L"(null)");
    EXPECT_EQ(readAttribute(r, nullptr), L"(null)");
    EXPECT_EQ(E_POINTER, r->readName(nullptr, nullptr));

    long count = 0;
    ASSERT_EQ(S_OK, r->attributeCount(&count));
    EXPECT_EQ(count, 4);
    ComPtr<IXMLDOMAttribute> none;
    for (long past : {count, count + 5, -1L}) {
        EXPECT_EQ(S_FALSE, r->attributeAt(past, none.put())) << past;
        EXPECT_FALSE(none);
    }
    // Only an element has attributes and element children.
    ComPtr<IXMLDOMAttribute> b;
    ASSERT_EQ(S_OK, r->attributeAt(3, b.put()));
    EXPECT_EQ(readAttribute(readerOf(b.get()), L"b"), L"(failed)");
    ComPtr<IXMLDOMChildCursor> cursor;
    EXPECT_EQ(E_FAIL, readerOf(b.get())->openElementChildren(cursor.put()));
}

TEST(Reader, MoveToAttributeOnlyWhenNothingElseSeesTheMove) {
    auto doc = parse(L"<r xmlns:p='urn:p' a='1' p:b='2' c='3'/>");
    auto root = rootOf(doc.get());
    auto r = readerOf(root.get());
    ComPtr<IXMLDOMAttribute> moving, decl;
    ASSERT_EQ(S_OK, r->attributeAt(1, moving.put()));
    auto m = readerOf(moving.get());
    {
        ComPtr<IXMLDOMAttribute> extra(moving.get()), c;
        EXPECT_EQ(S_FALSE, m->moveToAttributeOf(r.get(), 2)) << "another reference would see its node change";
        extra = {};
        root->getAttributeNode(Arg(L"c"), c.put());
        EXPECT_EQ(S_FALSE, m->moveToAttributeOf(r.get(), 3)) << "c has an object already";
    }
    for (long refused : {0L, 4L, -1L}) EXPECT_EQ(S_FALSE, m->moveToAttributeOf(r.get(), refused)) << refused;
    EXPECT_EQ(readName(m), L"a");

    ASSERT_EQ(S_OK, m->moveToAttributeOf(r.get(), 2));
    EXPECT_EQ(readName(m) + L"=" + readText(m), L"p:b=2");
    EXPECT_EQ(nameOf(moving.get()), L"p:b");
    ASSERT_EQ(S_OK, m->moveToAttributeOf(r.get(), 1)) << "nothing may be left behind on the old attribute";
    ASSERT_EQ(S_OK, m->moveToAttributeOf(r.get(), 2));
    // The map gives the moved object for its new attribute and a working,
    // separate one for the old attribute.
    ComPtr<IXMLDOMNamedNodeMap> map;
    root->get_attributes(map.put());
    ComPtr<IXMLDOMNode> b, a;
    map->getNamedItem(Arg(L"p:b"), b.put());
    EXPECT_EQ(identity(b.get()), identity(moving.get()));
    b = {};
    map->getNamedItem(Arg(L"a"), a.put());
    ASSERT_TRUE(a);
    EXPECT_NE(identity(a.get()), identity(moving.get()));
    EXPECT_EQ(valueOf(a.get()), L"1");
    EXPECT_EQ(S_FALSE, m->moveToAttributeOf(r.get(), 1)) << "a has its object again";
    a = {};
    ASSERT_EQ(S_OK, moving->put_value(textVariant(Arg(L"two"))));
    EXPECT_EQ(xmlOf(root.get()), L"<r xmlns:p=\"urn:p\" a=\"1\" p:b=\"two\" c=\"3\"/>");

    // A declaration object and an element never move.
    ASSERT_EQ(S_OK, r->attributeAt(0, decl.put()));
    EXPECT_EQ(S_FALSE, readerOf(decl.get())->moveToAttributeOf(r.get(), 1));
    EXPECT_EQ(S_FALSE, r->moveToAttributeOf(r.get(), 1));
    moving = {};
    m = {};
    for (xmlAttrPtr p = mx::engineNodeOf(root.get())->properties; p; p = p->next) EXPECT_FALSE(p->_private);
}

// libxml2 frees nodes on its own (text merging, whole-value rewrites, XSLT
// stripping): a reader of such a node fails, it never reads freed memory.
TEST(Reader, ReadersOfFreedNodesFail) {
    auto doc = parse(L"<r xmlns:q='urn:q' a='x'><e k='v' l='w'>t<f/></e></r>");
    auto root = rootOf(doc.get());
    ComPtr<IXMLDOMAttribute> decl, k, none;
    ASSERT_EQ(S_OK, readerOf(root.get())->attributeAt(0, decl.put()));
    auto rd = readerOf(decl.get());
    ASSERT_EQ(S_OK, root->removeAttribute(Arg(L"xmlns:q")));
    EXPECT_EQ(readName(rd) + readText(rd), L"(failed)(failed)");

    auto e = element(root.get(), L"e");
    auto re = readerOf(e.get());
    ASSERT_EQ(S_OK, re->attributeAt(0, k.put()));
    auto rk = readerOf(k.get());
    xmlNodePtr node = mx::engineNodeOf(e.get());
    ASSERT_TRUE(node);
    xmlUnlinkNode(node);
    xmlFreeNode(node);
    EXPECT_EQ(readName(re) + readText(re) + readAttribute(re, L"k"), L"(failed)(failed)(failed)");
    long count = 0;
    ComPtr<IXMLDOMChildCursor> cursor;
    EXPECT_EQ(E_FAIL, re->openElementChildren(cursor.put()));
    EXPECT_EQ(E_FAIL, re->attributeCount(&count));
    EXPECT_EQ(E_FAIL, re->attributeAt(0, none.put()));
    EXPECT_EQ(readName(rk), L"(failed)");
    EXPECT_EQ(S_FALSE, rk->moveToAttributeOf(re.get(), 1));
    EXPECT_EQ(xmlOf(root.get()), L"<r a=\"x\"/>");
}

}  // namespace
