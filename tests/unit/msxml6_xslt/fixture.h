// Shared helpers for the XSLT and schema tests: engine objects through the
// class factory and documents from text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/msxml6/msxml6.h"
#include "platform/msxml6/xslt_common.h"
#include "tests/unit/common/temp_files.h"

namespace xt {

using mx::BstrPtr;
template <class T>
using ComRef = mx::ComPtr<T>;

inline BstrPtr bstr(std::wstring const& s) { return BstrPtr(SysAllocStringLen(s.data(), static_cast<unsigned>(s.size()))); }

template <class T>
ComRef<T> create(CLSID const& clsid, IID const& iid) {
    ComRef<IClassFactory> factory;
    ComRef<T> object;
    if (FAILED(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.put())))) return object;
    factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.put()));
    return object;
}

inline ComRef<IXMLDOMDocument3> newDocument() {
    return create<IXMLDOMDocument3>(CLSID_FreeThreadedDOMDocument60, IID_IXMLDOMDocument3);
}

// A document loaded from text; empty (and a test failure) when it does not load.
inline ComRef<IXMLDOMDocument3> parse(std::wstring const& xml) {
    auto doc = newDocument();
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (!doc || FAILED(doc->loadXML(bstr(xml).get(), &ok)) || !ok) {
        ADD_FAILURE() << "document did not load";
        return {};
    }
    return doc;
}

inline std::wstring xmlOf(IXMLDOMNode* node) {
    BSTR text = nullptr;
    if (!node || FAILED(node->get_xml(&text))) return L"<no xml>";
    BstrPtr owned(text);
    return std::wstring(text ? text : L"", SysStringLen(text));
}

inline VARIANT objectVariant(IUnknown* object) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = static_cast<IDispatch*>(object);  // borrowed: callers do not clear it
    return v;
}

// The style sheet's processor, with `input` set; empty on failure.
inline ComRef<IXSLProcessor> processorFor(std::wstring const& sheet, IXMLDOMDocument3* input) {
    ComRef<IXSLProcessor> processor;
    auto sheetDoc = parse(sheet);
    auto xslt = create<IXSLTemplate>(CLSID_XSLTemplate60, IID_IXSLTemplate);
    if (!sheetDoc || !xslt || FAILED(xslt->putref_stylesheet(sheetDoc.get()))) return processor;
    if (FAILED(xslt->createProcessor(processor.put()))) return processor;
    if (input && FAILED(processor->put_input(objectVariant(input)))) processor.reset();
    return processor;
}

inline std::wstring sheet(std::wstring const& body, std::wstring const& extraNamespaces = L"") {
    return L"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' " + extraNamespaces +
           L">" + body + L"</xsl:stylesheet>";
}

using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

}  // namespace xt
