// The engine's objects as the engine tests use them: documents made through
// the class factory, owned argument strings, borrowed variants, and the
// usual reads and edits of a node.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/msxml6/com.h"
#include "platform/msxml6/engine.h"
#include "platform/msxml6/msxml6.h"
#include "tests/unit/common/temp_files.h"

namespace enginetest {

using mx::ComPtr;
using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

template <class T>
ComPtr<T> query(IUnknown* from, IID const& iid) {
    return mx::queryAs<T>(from, iid);
}

inline std::wstring take(BSTR s) {
    std::wstring out = s ? std::wstring(s, SysStringLen(s)) : std::wstring();
    SysFreeString(s);
    return out;
}

// An owned BSTR for arguments (callees never free theirs).
struct Arg {
    explicit Arg(std::wstring const& s) : b(SysAllocStringLen(s.data(), static_cast<unsigned>(s.size()))) {}
    ~Arg() { SysFreeString(b); }
    Arg(Arg const&) = delete;
    operator BSTR() const { return b; }
    BSTR b;
};

// Variants borrowing their value for one call.
inline VARIANT textVariant(BSTR s) {
    VARIANT v{};
    v.vt = VT_BSTR, v.bstrVal = s;
    return v;
}
inline VARIANT objectVariant(IUnknown* o, VARTYPE vt = VT_DISPATCH) {
    VARIANT v{};
    v.vt = vt, v.punkVal = o;
    return v;
}

template <class T>
ComPtr<T> create(CLSID const& clsid, IID const& iid) {
    ComPtr<IClassFactory> factory;
    ComPtr<T> object;
    EXPECT_EQ(S_OK, DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.put())));
    if (factory) {
        EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.put())));
    }
    return object;
}

inline ComPtr<IXMLDOMDocument3> newDocument() {
    return create<IXMLDOMDocument3>(CLSID_FreeThreadedDOMDocument60, IID_IXMLDOMDocument3);
}

inline bool loadXML(IXMLDOMDocument3* doc, std::wstring const& text) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(doc->loadXML(Arg(text), &ok)) && ok == VARIANT_TRUE;
}

inline bool loadFile(IXMLDOMDocument3* doc, std::wstring const& path) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(doc->load(textVariant(Arg(path)), &ok)) && ok == VARIANT_TRUE;
}

// A document loaded from text; empty (and a failure) when it does not load.
inline ComPtr<IXMLDOMDocument3> parse(std::wstring const& text) {
    auto doc = newDocument();
    if (doc && loadXML(doc.get(), text)) return doc;
    ADD_FAILURE() << "could not load " << mx::toUtf8(text.c_str());
    return {};
}

inline HRESULT saveTo(IXMLDOMDocument3* doc, std::filesystem::path const& path) {
    return doc->save(textVariant(Arg(path.wstring())));
}

// A string property of a node; `failed` when the call fails.
template <class Get>
std::wstring textProperty(IXMLDOMNode* node, Get get, wchar_t const* failed) {
    BSTR s = nullptr;
    return node && SUCCEEDED((node->*get)(&s)) ? take(s) : failed;
}
inline std::wstring xmlOf(IXMLDOMNode* n) { return textProperty(n, &IXMLDOMNode::get_xml, L"<no xml>"); }
inline std::wstring nameOf(IXMLDOMNode* n) { return textProperty(n, &IXMLDOMNode::get_nodeName, L"<failed>"); }
inline std::wstring textOf(IXMLDOMNode* n) { return textProperty(n, &IXMLDOMNode::get_text, L"<failed>"); }
inline std::wstring uriOf(IXMLDOMNode* n) { return textProperty(n, &IXMLDOMNode::get_namespaceURI, L""); }

inline ComPtr<IXMLDOMElement> rootOf(IXMLDOMDocument3* doc) {
    ComPtr<IXMLDOMElement> root;
    doc->get_documentElement(root.put());
    return root;
}

inline ComPtr<IXMLDOMNode> select(IXMLDOMNode* context, std::wstring const& path) {
    ComPtr<IXMLDOMNode> found;
    context->selectSingleNode(Arg(path), found.put());
    return found;
}

inline ComPtr<IXMLDOMElement> element(IXMLDOMNode* context, std::wstring const& path) {
    return query<IXMLDOMElement>(select(context, path).get(), IID_IXMLDOMElement);
}

// The reason of the document's last parse error.
inline std::wstring parseReason(IXMLDOMDocument3* doc) {
    ComPtr<IXMLDOMParseError> error;
    BSTR reason = nullptr;
    if (FAILED(doc->get_parseError(error.put())) || !error) return L"<none>";
    error->get_reason(&reason);
    return take(reason);
}

// Calls visit(child) for each of a node's children, in order.
template <class Visit>
void forEachChild(IXMLDOMNode* node, Visit visit) {
    ComPtr<IXMLDOMNodeList> children;
    long length = 0;
    if (SUCCEEDED(node->get_childNodes(children.put()))) children->get_length(&length);
    for (long i = 0; i < length; ++i) {
        ComPtr<IXMLDOMNode> child;
        children->get_item(i, child.put());
        visit(child.get());
    }
}

// The names of a node's children, "#text" etc. included, space-separated.
inline std::wstring childNames(IXMLDOMNode* node) {
    std::wstring out;
    forEachChild(node, [&](IXMLDOMNode* child) { out += (out.empty() ? L"" : L" ") + nameOf(child); });
    return out;
}

inline ComPtr<IXMLDOMNode> append(IXMLDOMNode* parent, IXMLDOMNode* child) {
    ComPtr<IXMLDOMNode> out;
    parent->appendChild(child, out.put());
    return out;
}

inline ComPtr<IXMLDOMNode> createElement(IXMLDOMDocument3* doc, std::wstring const& name,
                                         std::wstring const& uri = L"") {
    ComPtr<IXMLDOMNode> node;
    VARIANT type{};
    type.vt = VT_I4, type.lVal = NODE_ELEMENT;
    Arg u(uri);
    doc->createNode(type, Arg(name), uri.empty() ? nullptr : u.b, node.put());
    return node;
}

// An attribute's value; "<none>" when the element has no such attribute.
inline std::wstring attribute(IXMLDOMElement* e, std::wstring const& name) {
    VARIANT v;
    if (!e || e->getAttribute(Arg(name), &v) != S_OK) return L"<none>";
    return take(v.bstrVal);
}

inline HRESULT setAttribute(IXMLDOMElement* e, std::wstring const& name, std::wstring const& value) {
    return e->setAttribute(Arg(name), textVariant(Arg(value)));
}

inline ComPtr<IXMLDOMNodeReader> readerOf(IUnknown* node) {
    return mx::queryAs<IXMLDOMNodeReader>(node, IID_IXMLDOMNodeReader);
}

// Entity bombs: a billion laughs, and 50 KB referenced 20 000 times (1 GB
// once expanded) in text or an attribute.
inline std::string laughs() {
    std::string s = "<!DOCTYPE r [<!ENTITY a0 'lol'>";
    for (int i = 1; i < 10; ++i) {
        s += "<!ENTITY a" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) s += "&a" + std::to_string(i - 1) + ";";
        s += "'>";
    }
    return s + "]><r>&a9;</r>";
}

inline std::string quadratic(bool inAttribute) {
    std::string s = "<!DOCTYPE r [<!ENTITY a '" + std::string(50000, 'x') + "'>]>";
    s += inAttribute ? "<r v='" : "<r>";
    for (int i = 0; i < 20000; ++i) s += "&a;";
    return s + (inAttribute ? "'/>" : "</r>");
}

}  // namespace enginetest
