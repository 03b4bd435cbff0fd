// IXMLDOMNode, shared by node and document objects. The DOM's view differs
// from libxml2's in a few places handled here: a document shows its XML
// declaration as a first child, attributes have no parent or siblings,
// namespace declarations are attributes named xmlns / xmlns:p.
#include "platform/msxml6/dom_document.h"
#include "platform/msxml6/dom_util.h"
#include "platform/msxml6/write_check.h"

namespace mx::ops {

namespace {

constexpr char kXmlnsNamespace[] = "http://www.w3.org/2000/xmlns/";

std::string qualifiedName(xmlNodePtr n) {
    std::string out;
    if (n->ns && n->ns->prefix) {
        out = chars(n->ns->prefix);
        out += ':';
    }
    out += n->name ? chars(n->name) : "";
    return out;
}

// The node behind `self`, or null when it is gone.
bool alive(NodeBase& self) {
    if (self.kind == Kind::NsDecl) return self.liveNs() != nullptr;
    return self.node != nullptr;
}

// Clears an out-parameter: E_POINTER without one, E_FAIL when the node is gone.
template <class T>
HRESULT prepare(NodeBase& self, T** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return alive(self) ? S_OK : E_FAIL;
}

HRESULT giveVariantText(char const* utf8, VARIANT* value) {
    value->vt = VT_BSTR;
    value->bstrVal = bstrFromUtf8(utf8 ? utf8 : "");
    return value->bstrVal ? S_OK : E_OUTOFMEMORY;
}

// Text that a node of this kind can hold and write back as it is.
bool fitsMarkup(Kind kind, std::string const& text) {
    switch (kind) {
    case Kind::Comment: return isCommentText(text);
    case Kind::PI: return isPIData(text);
    default: return isXmlText(text);
    }
}

// Declaration-aware wrap of a document's first child.
IXMLDOMNode* documentFirst(DocContent* content) {
    if (hasDeclaration(content)) return wrapDecl(content);
    return wrapNode(content->doc()->children);
}

// libxml2 numbers the node kinds the DOM knows as the DOM does.
DOMNodeType typeOf(xmlNodePtr n) {
    static_assert(int{XML_ELEMENT_NODE} == NODE_ELEMENT && int{XML_NOTATION_NODE} == NODE_NOTATION);
    if (n->type <= XML_NOTATION_NODE) return static_cast<DOMNodeType>(n->type);
    if (n->type == XML_DTD_NODE) return NODE_DOCUMENT_TYPE;
    return n->type == XML_ENTITY_DECL ? NODE_ENTITY : NODE_INVALID;
}

}  // namespace

HRESULT nodeName(NodeBase& self, BSTR* name) {
    if (HRESULT hr = prepare(self, name); hr != S_OK) return hr;
    switch (self.kind) {
    case Kind::Document: return giveText("#document", name);
    case Kind::NsDecl:
        return giveText(self.ns->prefix ? "xmlns:" + std::string(chars(self.ns->prefix)) : std::string("xmlns"), name);
    case Kind::Decl: return giveText("xml", name);
    default: break;
    }
    xmlNodePtr n = self.node;
    switch (n->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
        if (!n->ns || !n->ns->prefix) return giveText(n->name, name);
        return giveText(qualifiedName(n), name);
    case XML_TEXT_NODE: return giveText("#text", name);
    case XML_CDATA_SECTION_NODE: return giveText("#cdata-section", name);
    case XML_COMMENT_NODE: return giveText("#comment", name);
    case XML_DOCUMENT_FRAG_NODE: return giveText("#document-fragment", name);
    default: return giveText(n->name, name);
    }
}

HRESULT nodeValue(NodeBase& self, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    if (!alive(self)) return E_FAIL;
    switch (self.kind) {
    case Kind::Text:
    case Kind::CData:
    case Kind::Comment:
    case Kind::PI:
    case Kind::Decl: return giveVariantText(chars(self.node->content), value);
    case Kind::Attribute: {
        // The usual single text child is read in place; libxml2 would only
        // hand back a copy of the same text.
        xmlNodePtr only = self.node->children;
        if (only && !only->next && (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE))
            return giveVariantText(chars(only->content), value);
        XmlString content(xmlNodeGetContent(self.node));
        return giveVariantText(content.c_str(), value);
    }
    case Kind::NsDecl: return giveVariantText(chars(self.ns->href), value);
    default: value->vt = VT_NULL; return S_FALSE;
    }
}

HRESULT putNodeValue(NodeBase& self, VARIANT const& value) {
    std::string text;
    if (!alive(self)) return E_FAIL;
    if (!variantText(value, text)) return E_INVALIDARG;
    switch (self.kind) {
    case Kind::Text:
    case Kind::CData:
    case Kind::Comment:
    case Kind::PI:
        if (!fitsMarkup(self.kind, text)) return E_INVALIDARG;
        xmlNodeSetContent(self.node, xstr(text));  // literal for these node types
        return S_OK;
    case Kind::Decl:
        xmlNodeSetContent(self.node, xstr(text));
        if (self.isAttachedDecl()) applyDeclaration(self.content->doc(), xstr(text));
        return S_OK;
    case Kind::Attribute:
        if (!isXmlText(text)) return E_INVALIDARG;
        setAttributeText(reinterpret_cast<xmlAttrPtr>(self.node), text.c_str());
        return S_OK;
    case Kind::NsDecl: return setNamespaceValue(self.owner->node, self.ns, text.c_str());
    default: return E_FAIL;
    }
}

HRESULT nodeType(NodeBase& self, DOMNodeType* type) {
    if (!type) return E_POINTER;
    *type = NODE_INVALID;
    if (!alive(self)) return E_FAIL;
    switch (self.kind) {
    case Kind::Document: *type = NODE_DOCUMENT; break;
    case Kind::NsDecl: *type = NODE_ATTRIBUTE; break;
    default: *type = typeOf(self.node); break;
    }
    return S_OK;
}

HRESULT parentNode(NodeBase& self, IXMLDOMNode** parent) {
    if (HRESULT hr = prepare(self, parent); hr != S_OK) return hr;
    switch (self.kind) {
    case Kind::Document:
    case Kind::NsDecl:
    case Kind::Attribute: return S_FALSE;  // attributes have no parent in the DOM
    case Kind::Decl:
        return giveNode(self.isAttachedDecl() ? wrapNode(reinterpret_cast<xmlNodePtr>(self.content->doc())) : nullptr,
                        parent);
    default: return giveNode(wrapNode(self.node->parent), parent);
    }
}

HRESULT childNodes(NodeBase& self, IXMLDOMNodeList** children) {
    if (HRESULT hr = prepare(self, children); hr != S_OK) return hr;
    *children = newChildList(self);
    return S_OK;
}

HRESULT firstChild(NodeBase& self, IXMLDOMNode** child) {
    if (HRESULT hr = prepare(self, child); hr != S_OK) return hr;
    switch (self.kind) {
    case Kind::Document: return giveNode(documentFirst(self.content), child);
    case Kind::Element:
    case Kind::Attribute: return giveNode(wrapNode(self.node->children), child);
    default: return S_FALSE;
    }
}

HRESULT attributes(NodeBase& self, IXMLDOMNamedNodeMap** map) {
    if (HRESULT hr = prepare(self, map); hr != S_OK) return hr;
    if (self.kind != Kind::Element) return S_FALSE;
    *map = newAttributeMap(self);
    return S_OK;
}

namespace {

// Runs `fn(NodeBase&)` for an argument node of ours (E_INVALIDARG otherwise).
template <class Fn>
HRESULT withNode(IUnknown* object, Fn fn) {
    NodeBase* base = nodeBaseOf(object);
    if (!base) return E_INVALIDARG;
    HRESULT hr = fn(*base);
    base->release();
    return hr;
}

}  // namespace

HRESULT removeChild(NodeBase& self, IXMLDOMNode* child, IXMLDOMNode** out) {
    if (out) *out = nullptr;
    return withNode(child, [&](NodeBase& c) { return mx::removeChild(self, c, out); });
}

HRESULT appendChild(NodeBase& self, IXMLDOMNode* child, IXMLDOMNode** out) {
    if (out) *out = nullptr;
    return withNode(child, [&](NodeBase& c) { return insertChild(self, c, out); });
}

HRESULT ownerDocument(NodeBase& self, IXMLDOMDocument** document) {
    if (!document) return E_POINTER;
    *document = nullptr;
    if (self.kind == Kind::Document) return S_FALSE;
    DocContent* content = self.contentOf();
    if (!content) return E_FAIL;
    DocumentObj* owner = DocumentObj::forContent(content);
    *document = owner;
    return S_OK;
}

HRESULT namespaceURI(NodeBase& self, BSTR* uri) {
    if (HRESULT hr = prepare(self, uri); hr != S_OK) return hr;
    if (self.kind == Kind::NsDecl) return giveText(kXmlnsNamespace, uri);
    if (self.kind != Kind::Element && self.kind != Kind::Attribute) return S_FALSE;
    xmlNsPtr ns = self.node->ns;
    if (!ns || !ns->href || !*ns->href) return S_FALSE;
    return giveText(ns->href, uri);
}

HRESULT text(NodeBase& self, BSTR* text) {
    if (HRESULT hr = prepare(self, text); hr != S_OK) return hr;
    switch (self.kind) {
    case Kind::NsDecl: return giveText(self.ns->href, text);
    case Kind::Text:
    case Kind::CData:
    case Kind::Comment:
    case Kind::PI:
    case Kind::Decl: return giveText(self.node->content, text);
    default: {
        XmlString content(xmlNodeGetContent(self.node));
        return giveText(content.get(), text);
    }
    }
}

HRESULT xml(NodeBase& self, BSTR* xml) {
    if (HRESULT hr = prepare(self, xml); hr != S_OK) return hr;
    std::string out;
    if (!serializeNode(self, out)) return E_FAIL;
    return giveText(out, xml);
}

HRESULT selectSingleNode(NodeBase& self, BSTR expression, IXMLDOMNode** node) {
    if (HRESULT hr = prepare(self, node); hr != S_OK) return hr;
    if (!expression) return E_FAIL;
    return selectFirst(self, utf8Of(expression), node);
}

}  // namespace mx::ops
