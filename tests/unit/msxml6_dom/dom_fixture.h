// Helpers for the DOM tests: documents made through the class factory,
// owned strings and variants, temporary folders, file bytes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/unit/common/temp_files.h"

#include "platform/msxml6/engine.h"
#include "platform/msxml6/msxml6.h"
#include "platform/msxml6/com.h"

namespace domtest {

using mx::ComPtr;

template <class U, class T>
ComPtr<U> query(ComPtr<T> const& from, IID const& iid) {
    return ComPtr<U>::query(from.get(), iid);
}

inline std::wstring take(BSTR s) {
    std::wstring out = s ? std::wstring(s, SysStringLen(s)) : std::wstring();
    SysFreeString(s);
    return out;
}

// An owned BSTR for arguments.
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
    v.bstrVal = s;  // borrowed: the callee does not free arguments
    return v;
}

inline VARIANT intVariant(LONG n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

inline VARIANT objectVariant(IUnknown* o, VARTYPE vt = VT_UNKNOWN) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.punkVal = o;
    return v;
}

inline ComPtr<IXMLDOMDocument3> newDocument() {
    DllGetClassObjectFn entry = DllGetClassObject;
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK, entry(CLSID_FreeThreadedDOMDocument60, IID_IClassFactory, reinterpret_cast<void**>(factory.put())));
    ComPtr<IXMLDOMDocument3> doc;
    if (factory) {
        EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IXMLDOMDocument3, reinterpret_cast<void**>(doc.put())));
    }
    return doc;
}

inline bool loadXML(IXMLDOMDocument3* doc, std::wstring const& text) {
    Arg a(text);
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = doc->loadXML(a, &ok);
    return SUCCEEDED(hr) && ok == VARIANT_TRUE;
}

inline ComPtr<IXMLDOMDocument3> parse(std::wstring const& text) {
    ComPtr<IXMLDOMDocument3> doc = newDocument();
    EXPECT_TRUE(loadXML(doc.get(), text)) << "could not load the test document";
    return doc;
}

inline bool loadFile(IXMLDOMDocument3* doc, std::wstring const& path) {
    Arg a(path);
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = doc->load(textVariant(a), &ok);
    return SUCCEEDED(hr) && ok == VARIANT_TRUE;
}

inline std::wstring xmlOf(IXMLDOMNode* node) {
    BSTR s = nullptr;
    EXPECT_TRUE(SUCCEEDED(node->get_xml(&s)));
    return take(s);
}

inline std::wstring nameOf(IXMLDOMNode* node) {
    BSTR s = nullptr;
    if (FAILED(node->get_nodeName(&s))) return L"<failed>";
    return take(s);
}

inline std::wstring textOf(IXMLDOMNode* node) {
    BSTR s = nullptr;
    EXPECT_TRUE(SUCCEEDED(node->get_text(&s)));
    return take(s);
}

inline ComPtr<IXMLDOMElement> rootOf(IXMLDOMDocument3* doc) {
    ComPtr<IXMLDOMElement> root;
    doc->get_documentElement(root.put());
    return root;
}

inline ComPtr<IXMLDOMNode> select(IXMLDOMNode* context, std::wstring const& path) {
    Arg a(path);
    ComPtr<IXMLDOMNode> found;
    context->selectSingleNode(a, found.put());
    return found;
}

inline ComPtr<IXMLDOMElement> element(IXMLDOMNode* context, std::wstring const& path) {
    return query<IXMLDOMElement>(select(context, path), IID_IXMLDOMElement);
}

// The names of a node's children, "#text" etc. included, space-separated.
inline std::wstring childNames(IXMLDOMNode* node) {
    std::wstring out;
    ComPtr<IXMLDOMNode> child;
    node->get_firstChild(child.put());
    while (child) {
        if (!out.empty()) out += L' ';
        out += nameOf(child.get());
        ComPtr<IXMLDOMNode> next;
        child->get_nextSibling(next.put());
        child = std::move(next);
    }
    return out;
}

using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

inline std::wstring wide(std::filesystem::path const& p) { return mx::toWide(p.string().c_str()); }

}  // namespace domtest
