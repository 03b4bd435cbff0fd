// The COM side of DOM objects: NodeImpl implements IXMLDOMNode once for
// both node objects and document objects (by forwarding to dom_ops), Node is
// the one class behind every node kind. A node answers QueryInterface only
// for the interfaces of its kind (an element is no IXMLDOMText).
#pragma once

#include "platform/msxml6/dom_core.h"

namespace mx {

namespace ops {
HRESULT nodeName(NodeBase& self, BSTR* name);
HRESULT nodeValue(NodeBase& self, VARIANT* value);
HRESULT putNodeValue(NodeBase& self, VARIANT const& value);
HRESULT nodeType(NodeBase& self, DOMNodeType* type);
HRESULT parentNode(NodeBase& self, IXMLDOMNode** parent);
HRESULT childNodes(NodeBase& self, IXMLDOMNodeList** children);
HRESULT firstChild(NodeBase& self, IXMLDOMNode** child);
HRESULT attributes(NodeBase& self, IXMLDOMNamedNodeMap** map);
HRESULT removeChild(NodeBase& self, IXMLDOMNode* child, IXMLDOMNode** out);
HRESULT appendChild(NodeBase& self, IXMLDOMNode* child, IXMLDOMNode** out);
HRESULT ownerDocument(NodeBase& self, IXMLDOMDocument** document);
HRESULT namespaceURI(NodeBase& self, BSTR* uri);
HRESULT text(NodeBase& self, BSTR* text);
HRESULT xml(NodeBase& self, BSTR* xml);
HRESULT selectSingleNode(NodeBase& self, BSTR expression, IXMLDOMNode** node);
}  // namespace ops

template <class Derived, class Primary, class... Others>
class NodeImpl : public Primary, public Others..., public IEngineNode, public NodeBase {
public:
    IXMLDOMNode* primaryNode() { return static_cast<Primary*>(this); }

    HRESULT QueryInterface(REFIID riid, void** out) override { return static_cast<Derived*>(this)->query(riid, out); }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }

    xmlNodePtr engineNode() override { return target(); }

    HRESULT get_nodeName(BSTR* name) override { return ops::nodeName(*this, name); }
    HRESULT get_nodeValue(VARIANT* value) override { return ops::nodeValue(*this, value); }
    HRESULT put_nodeValue(VARIANT value) override { return ops::putNodeValue(*this, value); }
    HRESULT get_nodeType(DOMNodeType* type) override { return ops::nodeType(*this, type); }
    HRESULT get_parentNode(IXMLDOMNode** parent) override { return ops::parentNode(*this, parent); }
    HRESULT get_childNodes(IXMLDOMNodeList** children) override { return ops::childNodes(*this, children); }
    HRESULT get_firstChild(IXMLDOMNode** child) override { return ops::firstChild(*this, child); }
    HRESULT get_attributes(IXMLDOMNamedNodeMap** map) override { return ops::attributes(*this, map); }
    HRESULT removeChild(IXMLDOMNode* child, IXMLDOMNode** out) override { return ops::removeChild(*this, child, out); }
    HRESULT appendChild(IXMLDOMNode* child, IXMLDOMNode** out) override { return ops::appendChild(*this, child, out); }
    HRESULT get_ownerDocument(IXMLDOMDocument** document) override { return ops::ownerDocument(*this, document); }
    HRESULT get_namespaceURI(BSTR* uri) override { return ops::namespaceURI(*this, uri); }
    HRESULT get_text(BSTR* text) override { return ops::text(*this, text); }
    HRESULT get_xml(BSTR* xml) override { return ops::xml(*this, xml); }
    HRESULT selectSingleNode(BSTR expression, IXMLDOMNode** node) override {
        return ops::selectSingleNode(*this, expression, node);
    }
};

// Every node kind: element, attribute (real or a namespace declaration),
// text, CDATA, comment, processing instruction, the XML declaration, others.
class Node final : public NodeImpl<Node, IXMLDOMElement, IXMLDOMAttribute, IXMLDOMCDATASection, IXMLDOMComment,
                                   IXMLDOMProcessingInstruction, IXMLDOMNodeReader> {
public:
    // Node objects come and go with every query: recycled through a small
    // per-thread free list instead of the general heap.
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size);

    HRESULT query(REFIID riid, void** out);

    // IXMLDOMElement
    HRESULT getAttribute(BSTR name, VARIANT* value) override;
    HRESULT setAttribute(BSTR name, VARIANT value) override;
    // IXMLDOMNodeReader (dom_reader.cpp)
    HRESULT readName(wchar_t const** name, size_t* length) override;
    HRESULT readNameKey(wchar_t const** name, size_t* length, uint64_t* key) override;
    HRESULT readText(wchar_t const** text, size_t* length) override;
    HRESULT readAttribute(wchar_t const* name, wchar_t const** value, size_t* length) override;
    HRESULT openElementChildren(IXMLDOMChildCursor** cursor) override;  // dom_cursor.cpp
    HRESULT nextAttribute(IXMLDOMAttribute* previous, IXMLDOMAttribute** next) override;
    HRESULT readTextUtf8(char const** text, size_t* bytes) override;
    HRESULT readAttributeUtf8(wchar_t const* name, char const** value, size_t* bytes) override;
    HRESULT readNamedAttributeUtf8(char const* name, char const** value, size_t* bytes) override;
    HRESULT scanAttributeNamesUtf8(IXMLAttributeNameSink* sink) override;
};

}  // namespace mx
