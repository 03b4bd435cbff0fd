// The DOM tests' helpers: the engine's objects from the common header, the
// names of a node's children, and attributes as text.
#pragma once

#include "tests/unit/common/engine_objects.h"

namespace domtest {

using namespace enginetest;

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

inline ComPtr<IXMLDOMNode> createElement(IXMLDOMDocument3* doc, std::wstring const& name, std::wstring const& uri = L"") {
    ComPtr<IXMLDOMNode> node;
    Arg u(uri);
    doc->createNode(intVariant(NODE_ELEMENT), Arg(name), uri.empty() ? nullptr : u.b, node.put());
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

}  // namespace domtest
