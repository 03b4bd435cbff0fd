// The engine's objects as the engine tests use them: documents made through
// the class factory, owned argument strings, borrowed variants, and the
// usual reads of a node.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/msxml6.h"
#include "platform/msxml6/com.h"
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

inline VARIANT textVariant(BSTR s) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = s;  // borrowed
    return v;
}

inline VARIANT objectVariant(IUnknown* o, VARTYPE vt = VT_DISPATCH) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.punkVal = o;  // borrowed
    return v;
}

inline VARIANT intVariant(LONG n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
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
    Arg a(path);
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(doc->load(textVariant(a), &ok)) && ok == VARIANT_TRUE;
}

// A document loaded from text; empty (and a failure) when it does not load.
inline ComPtr<IXMLDOMDocument3> parse(std::wstring const& text) {
    auto doc = newDocument();
    if (doc && loadXML(doc.get(), text)) return doc;
    ADD_FAILURE() << "could not load " << mx::toUtf8(text.c_str());
    return {};
}

inline HRESULT saveTo(IXMLDOMDocument3* doc, std::filesystem::path const& path) {
    Arg p(path.wstring());
    return doc->save(textVariant(p));
}

inline std::wstring xmlOf(IXMLDOMNode* node) {
    BSTR s = nullptr;
    if (!node || FAILED(node->get_xml(&s))) return L"<no xml>";
    return take(s);
}

inline std::wstring nameOf(IXMLDOMNode* node) {
    BSTR s = nullptr;
    if (!node || FAILED(node->get_nodeName(&s))) return L"<failed>";
    return take(s);
}

inline std::wstring textOf(IXMLDOMNode* node) {
    BSTR s = nullptr;
    EXPECT_TRUE(SUCCEEDED(node->get_text(&s)));
    return take(s);
}

inline std::wstring uriOf(IXMLDOMNode* node) {
    BSTR s = nullptr;
    node->get_namespaceURI(&s);
    return take(s);
}

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
