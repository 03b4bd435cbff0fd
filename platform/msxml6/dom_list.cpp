// IXMLDOMNodeList (live child lists, fixed selection results) and
// IXMLDOMNamedNodeMap (live attribute maps).
//
// Callers walk lists by index (get_length, then get_item(0..n-1)). A list
// remembers where its last lookup ended, so such a walk is linear; the
// position is trusted only while the DOM generation is unchanged, i.e. no
// node was inserted, removed or freed since.
#include "platform/msxml6/dom_list.h"

#include <atomic>

#include "platform/msxml6/dom_node.h"
#include "platform/msxml6/dom_util.h"

namespace mx {

namespace {

template <class Itf>
class ComObject : public Itf {
public:
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid()) {
            *out = static_cast<Itf*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;
    virtual IID const& iid() const = 0;

private:
    std::atomic<ULONG> refs_{1};
};

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

HRESULT giveNode(IXMLDOMNode* node, IXMLDOMNode** out) {
    if (!out) {
        if (node) node->Release();
        return E_POINTER;
    }
    *out = node;
    return node ? S_OK : S_FALSE;
}

// ---- children --------------------------------------------------------------------
class ChildList final : public ComObject<IXMLDOMNodeList> {
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

    HRESULT nextNode(IXMLDOMNode** node) override {
        HRESULT hr = get_item(cursor_, node);
        if (hr == S_OK) ++cursor_;
        return hr;
    }

    HRESULT reset() override {
        cursor_ = 0;
        return S_OK;
    }

private:
    IID const& iid() const override { return IID_IXMLDOMNodeList; }

    bool leadingDecl() const { return parent_->kind == Kind::Document && hasDeclaration(parent_->content); }

    xmlNodePtr firstChild() const {
        switch (parent_->kind) {
        case Kind::Document:
        case Kind::Element:
        case Kind::Attribute:
            return parent_->node ? parent_->node->children : nullptr;
        default:
            return nullptr;
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
    long cursor_ = 0;
    uint64_t cacheGeneration_ = ~0ULL;
    long cacheIndex_ = 0;
    xmlNodePtr cacheNode_ = nullptr;
    uint64_t lengthGeneration_ = ~0ULL;
    long length_ = -1;
};

// ---- fixed lists -------------------------------------------------------------------
class StaticList final : public ComObject<IXMLDOMNodeList> {
public:
    explicit StaticList(std::vector<IXMLDOMNode*> nodes) : nodes_(std::move(nodes)) {}
    ~StaticList() override {
        for (IXMLDOMNode* n : nodes_) n->Release();
    }

    HRESULT get_item(long index, IXMLDOMNode** node) override {
        if (!node) return E_POINTER;
        *node = nullptr;
        if (index < 0 || static_cast<size_t>(index) >= nodes_.size()) return S_FALSE;
        *node = nodes_[static_cast<size_t>(index)];
        (*node)->AddRef();
        return S_OK;
    }
    HRESULT get_length(long* length) override {
        if (!length) return E_POINTER;
        *length = static_cast<long>(nodes_.size());
        return S_OK;
    }
    HRESULT nextNode(IXMLDOMNode** node) override {
        HRESULT hr = get_item(cursor_, node);
        if (hr == S_OK) ++cursor_;
        return hr;
    }
    HRESULT reset() override {
        cursor_ = 0;
        return S_OK;
    }

private:
    IID const& iid() const override { return IID_IXMLDOMNodeList; }
    std::vector<IXMLDOMNode*> nodes_;
    long cursor_ = 0;
};

// ---- attributes ---------------------------------------------------------------------
class AttributeMap final : public ComObject<IXMLDOMNamedNodeMap> {
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

    HRESULT removeNamedItem(BSTR name, IXMLDOMNode** node) override {
        if (node) *node = nullptr;
        xmlNodePtr el = element_->node;
        if (!el || !name) return E_FAIL;
        std::string qname = utf8Of(name);
        IXMLDOMNode* removed = nullptr;
        if (xmlAttrPtr attr = findAttribute(el, qname.c_str()); attr && node)
            removed = wrapNode(reinterpret_cast<xmlNodePtr>(attr));  // keeps it for the caller
        HRESULT hr = removeElementAttribute(el, qname.c_str());
        if (hr != S_OK) {
            if (removed) removed->Release();
            return hr;
        }
        if (node) *node = removed;
        return S_OK;
    }

private:
    IID const& iid() const override { return IID_IXMLDOMNamedNodeMap; }
    HeldNode element_;
};

}  // namespace

IXMLDOMNodeList* newChildList(NodeBase& parent) { return new ChildList(parent); }

IXMLDOMNodeList* newStaticList(std::vector<IXMLDOMNode*> nodes) { return new StaticList(std::move(nodes)); }

IXMLDOMNamedNodeMap* newAttributeMap(NodeBase& element) { return new AttributeMap(element); }

}  // namespace mx
