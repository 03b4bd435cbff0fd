// IXMLDOMNodeList (live child lists) and
// IXMLDOMNamedNodeMap (live attribute maps).
//
// Callers walk lists by index (get_length, then get_item(0..n-1)). A list
// remembers where its last lookup ended, so such a walk is linear; the
// position is trusted only while the DOM generation is unchanged, i.e. no
// node was inserted, removed or freed since.
#include "platform/msxml6/com.h"
#include "platform/msxml6/dom_node.h"
#include "platform/msxml6/dom_util.h"

namespace mx {

namespace {

// Holds a reference to a NodeBase for the lifetime of a list or map.
class HeldNode {
public:
    explicit HeldNode(NodeBase& node) : node_(&node) { node_->addRef(); }
    HeldNode(HeldNode const&) = delete;
    HeldNode& operator=(HeldNode const&) = delete;
    ~HeldNode() { node_->release(); }
    NodeBase& operator*() const { return *node_; }
    NodeBase* operator->() const { return node_; }

private:
    NodeBase* node_;
};

class ChildList final : public ComObject<IXMLDOMNodeList, IID_IXMLDOMNodeList> {
public:
    explicit ChildList(NodeBase& parent) : parent_(parent) {}

    HRESULT get_item(long index, IXMLDOMNode** node) override {
        if (!node) return E_POINTER;
        *node = nullptr;
        if (index < 0) return S_FALSE;
        bool decl = leadingDecl();
        if (decl && index == 0) return giveNode(wrapDecl(parent_->content), node);
        return giveNode(wrapNode(childAt(index - (decl ? 1 : 0))), node);
    }

    HRESULT get_length(long* length) override {
        if (!length) return E_POINTER;
        *length = count() + (leadingDecl() ? 1 : 0);
        return S_OK;
    }

private:
    bool leadingDecl() const { return parent_->kind == Kind::Document && hasDeclaration(parent_->content); }

    xmlNodePtr firstChild() const {
        switch (parent_->kind) {
        case Kind::Document:
        case Kind::Element:
        case Kind::Attribute: return parent_->node ? parent_->node->children : nullptr;
        default: return nullptr;
        }
    }

    long count() {
        uint64_t now = domGeneration();
        if (lengthGeneration_ == now && length_ >= 0) return length_;
        long n = 0;
        for (xmlNodePtr c = firstChild(); c; c = c->next) ++n;
        length_ = n;
        lengthGeneration_ = now;
        return n;
    }

    xmlNodePtr childAt(long index) {
        uint64_t now = domGeneration();
        long at = 0;
        xmlNodePtr c = firstChild();
        if (cacheGeneration_ == now && cacheNode_ && cacheIndex_ <= index) {
            at = cacheIndex_;
            c = cacheNode_;
        }
        while (c && at < index) {
            c = c->next;
            ++at;
        }
        if (c) {
            cacheGeneration_ = now;
            cacheIndex_ = at;
            cacheNode_ = c;
        }
        return c;
    }

    HeldNode parent_;
    uint64_t cacheGeneration_ = ~0ULL;
    long cacheIndex_ = 0;
    xmlNodePtr cacheNode_ = nullptr;
    uint64_t lengthGeneration_ = ~0ULL;
    long length_ = -1;
};

class AttributeMap final : public ComObject<IXMLDOMNamedNodeMap, IID_IXMLDOMNamedNodeMap> {
public:
    explicit AttributeMap(NodeBase& element) : element_(element) {}

    HRESULT getNamedItem(BSTR name, IXMLDOMNode** node) override {
        if (!node) return E_POINTER;
        *node = nullptr;
        xmlNodePtr el = element_->node;
        if (!el || !name) return E_FAIL;
        std::string qname = utf8Of(name);
        if (xmlNsPtr ns = findNsDecl(el, qname.c_str())) return giveNode(wrapNsDecl(el, ns), node);
        xmlAttrPtr attr = findAttribute(el, qname.c_str());
        return giveNode(attr ? wrapNode(reinterpret_cast<xmlNodePtr>(attr)) : nullptr, node);
    }

    HRESULT get_item(long index, IXMLDOMNode** node) override {
        if (!node) return E_POINTER;
        *node = nullptr;
        xmlNodePtr el = element_->node;
        if (!el) return E_FAIL;
        if (index < 0) return S_FALSE;
        for (xmlNsPtr ns = el->nsDef; ns; ns = ns->next)
            if (index-- == 0) return giveNode(wrapNsDecl(el, ns), node);
        for (xmlAttrPtr a = el->properties; a; a = a->next)
            if (index-- == 0) return giveNode(wrapNode(reinterpret_cast<xmlNodePtr>(a)), node);
        return S_FALSE;
    }

    HRESULT get_length(long* length) override {
        if (!length) return E_POINTER;
        *length = 0;
        xmlNodePtr el = element_->node;
        if (!el) return E_FAIL;
        for (xmlNsPtr ns = el->nsDef; ns; ns = ns->next) ++*length;
        for (xmlAttrPtr a = el->properties; a; a = a->next) ++*length;
        return S_OK;
    }

private:
    HeldNode element_;
};

}  // namespace

IXMLDOMNodeList* newChildList(NodeBase& parent) { return new ChildList(parent); }

IXMLDOMNamedNodeMap* newAttributeMap(NodeBase& element) { return new AttributeMap(element); }

}  // namespace mx
