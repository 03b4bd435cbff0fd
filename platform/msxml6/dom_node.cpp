// Node objects: creation and recycling, identity through _private, interface
// queries by kind, and the element/attribute/character-data methods.
#include "platform/msxml6/dom_node.h"

#include <vector>

#include "platform/msxml6/dom_document.h"
#include "platform/msxml6/dom_util.h"
#include "platform/msxml6/thread_state.h"

namespace mx {

namespace {

struct FreeList {
    std::vector<void*> blocks;
    ~FreeList() {
        for (void* p : blocks) ::operator delete(p);
    }
};

constexpr size_t kMaxPooled = 4096;

}  // namespace

// Late in a thread's exit the list is gone and blocks go to the heap.
void* Node::operator new(size_t size) {
    FreeList* freeList = ThreadState<FreeList>::get();
    if (size == sizeof(Node) && freeList && !freeList->blocks.empty()) {
        void* p = freeList->blocks.back();
        freeList->blocks.pop_back();
        return p;
    }
    return ::operator new(size);
}

void Node::operator delete(void* p, size_t size) {
    FreeList* freeList = ThreadState<FreeList>::get();
    if (size == sizeof(Node) && freeList && freeList->blocks.size() < kMaxPooled) {
        freeList->blocks.push_back(p);
        return;
    }
    ::operator delete(p);
}

namespace {

void destroyNode(Node* object) {
    xmlNodePtr node = object->node;
    DocContent* content = object->content;
    NodeBase* owner = object->owner;
    if (node) node->_private = nullptr;
    delete object;
    if (node && content) freeIfOrphan(node, content);
    if (owner) owner->release();
    if (content) content->release();
}

Kind kindOf(xmlNodePtr n) {
    switch (n->type) {
    case XML_ELEMENT_NODE: return Kind::Element;
    case XML_ATTRIBUTE_NODE: return Kind::Attribute;
    case XML_TEXT_NODE: return Kind::Text;
    case XML_CDATA_SECTION_NODE: return Kind::CData;
    case XML_COMMENT_NODE: return Kind::Comment;
    case XML_PI_NODE: return xmlStrEqual(n->name, BAD_CAST "xml") ? Kind::Decl : Kind::PI;
    default: return Kind::Other;
    }
}

// The object of `n` with a new reference; made when there is none.
NodeBase* objectFor(xmlNodePtr n) {
    if (auto* existing = static_cast<NodeBase*>(n->_private);
        existing && existing->magic == kNodeMagic && existing->node == n) {
        existing->addRef();
        return existing;
    }
    DocContent* content = DocContent::of(n->doc);
    if (!content) return nullptr;
    auto* object = new Node;
    object->kind = kindOf(n);
    object->node = n;
    object->content = content;
    content->addRef();
    n->_private = static_cast<NodeBase*>(object);
    return object;
}

}  // namespace

ULONG NodeBase::release() {
    ULONG left = --refs;
    if (left) return left;
    if (kind == Kind::Document)
        delete static_cast<DocumentObj*>(this);
    else
        destroyNode(static_cast<Node*>(this));
    return 0;
}

IXMLDOMNode* NodeBase::primary() {
    if (kind == Kind::Document) return static_cast<DocumentObj*>(this)->primaryNode();
    return static_cast<Node*>(this)->primaryNode();
}

xmlNodePtr NodeBase::target() const { return kind == Kind::NsDecl ? owner->node : node; }

xmlNsPtr NodeBase::liveNs() const {
    if (kind != Kind::NsDecl || !owner->node) return nullptr;
    for (xmlNsPtr d = owner->node->nsDef; d; d = d->next)
        if (d == ns) return d;
    return nullptr;
}

NodeBase* nodeBaseOf(IUnknown* object) {
    void* out = nullptr;
    if (!object || FAILED(object->QueryInterface(IID_DomNodeBase, &out))) return nullptr;
    return static_cast<NodeBase*>(out);
}

IXMLDOMNode* wrapNode(xmlNodePtr node) {
    if (!node) return nullptr;
    if (node->type == XML_DOCUMENT_NODE) {
        DocContent* content = DocContent::of(reinterpret_cast<xmlDocPtr>(node));
        return content ? DocumentObj::forContent(content)->primaryNode() : nullptr;
    }
    if (node->type == XML_NAMESPACE_DECL) return nullptr;
    NodeBase* object = objectFor(node);
    return object ? object->primary() : nullptr;
}

IXMLDOMNode* wrapNsDecl(xmlNodePtr element, xmlNsPtr ns) {
    NodeBase* owner = objectFor(element);
    if (!owner) return nullptr;
    auto* object = new Node;
    object->kind = Kind::NsDecl;
    object->ns = ns;
    object->owner = owner;
    return object->primaryNode();
}

IXMLDOMNode* wrapDecl(DocContent* content) {
    if (!content->decl) {
        xmlDocPtr doc = content->doc();
        std::string text = declarationText(doc);
        content->decl = xmlNewDocPI(doc, BAD_CAST "xml", xstr(text));
        if (!content->decl) return nullptr;
    }
    NodeBase* object = objectFor(content->decl);
    return object ? object->primary() : nullptr;
}

HRESULT handOut(IXMLDOMNode* object, REFIID riid, void** out) {
    if (!out) {
        if (object) object->Release();
        return E_POINTER;
    }
    *out = nullptr;
    if (!object) return E_FAIL;
    if (riid == IID_IXMLDOMNode) {
        *out = object;
        return S_OK;
    }
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
}

HRESULT Node::query(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    void* p = nullptr;
    if (riid == IID_IXMLDOMNodeReader)  // first: walkers ask for it on every read
        p = static_cast<IXMLDOMNodeReader*>(this);
    else if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IXMLDOMNode)
        p = primaryNode();
    else if (riid == IID_IEngineNode)
        p = static_cast<IEngineNode*>(this);
    else if (riid == IID_DomNodeBase)
        p = static_cast<NodeBase*>(this);
    else {
        auto* textSide = static_cast<IXMLDOMCDATASection*>(this);
        switch (kind) {
        case Kind::Element:
            if (riid == IID_IXMLDOMElement) p = static_cast<IXMLDOMElement*>(this);
            break;
        case Kind::Attribute:
        case Kind::NsDecl:
            if (riid == IID_IXMLDOMAttribute) p = static_cast<IXMLDOMAttribute*>(this);
            break;
        case Kind::Text:
        case Kind::CData:
            if (riid == IID_IXMLDOMText) p = static_cast<IXMLDOMText*>(textSide);
            if (riid == IID_IXMLDOMCharacterData) p = static_cast<IXMLDOMCharacterData*>(textSide);
            if (riid == IID_IXMLDOMCDATASection && kind == Kind::CData) p = textSide;
            break;
        case Kind::Comment:
            if (riid == IID_IXMLDOMComment) p = static_cast<IXMLDOMComment*>(this);
            if (riid == IID_IXMLDOMCharacterData)
                p = static_cast<IXMLDOMCharacterData*>(static_cast<IXMLDOMComment*>(this));
            break;
        case Kind::PI:
        case Kind::Decl:
            if (riid == IID_IXMLDOMProcessingInstruction) p = static_cast<IXMLDOMProcessingInstruction*>(this);
            break;
        default: break;
        }
    }
    if (!p) return E_NOINTERFACE;
    addRef();
    *out = p;
    return S_OK;
}

namespace {

xmlNodePtr elementOf(NodeBase& self) { return self.kind == Kind::Element && self.node ? self.node : nullptr; }

}  // namespace

HRESULT Node::getAttribute(BSTR name, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    xmlNodePtr element = elementOf(*this);
    if (!element || !name) return E_FAIL;
    std::string qname = utf8Of(name);
    BSTR text = nullptr;
    if (xmlNsPtr ns = findNsDecl(element, qname.c_str())) {
        text = bstrFromUtf8(ns->href ? chars(ns->href) : "");
    } else if (xmlAttrPtr attr = findAttribute(element, qname.c_str())) {
        XmlString content(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attr)));
        text = bstrFromUtf8(content.get() ? content.c_str() : "");
    } else {
        value->vt = VT_NULL;
        return S_FALSE;
    }
    value->vt = VT_BSTR;
    value->bstrVal = text;
    return S_OK;
}

HRESULT Node::setAttribute(BSTR name, VARIANT value) {
    xmlNodePtr element = elementOf(*this);
    std::string text;
    if (!element || !name || !variantText(value, text)) return E_FAIL;
    return setElementAttribute(element, utf8Of(name).c_str(), text.c_str());
}

}  // namespace mx
