// The DOM tests' helpers: the engine's objects from the common header, and
// the names of a node's children.
#pragma once

#include "tests/unit/common/engine_objects.h"

namespace domtest {

using namespace enginetest;

// The names of a node's children, "#text" etc. included, space-separated.
inline std::wstring childNames(IXMLDOMNode* node) {
    std::wstring out;
    ComPtr<IXMLDOMNode> child;
    node->get_firstChild(child.put());
    while (child) {
        out += (out.empty() ? L"" : L" ") + nameOf(child.get());
        ComPtr<IXMLDOMNode> next;
        child->get_nextSibling(next.put());
        child = std::move(next);
    }
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

inline ComPtr<IXMLDOMNodeReader> readerOf(IUnknown* node) {
    return ComPtr<IXMLDOMNodeReader>::query(node, IID_IXMLDOMNodeReader);
}

}  // namespace domtest
