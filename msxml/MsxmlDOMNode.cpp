#include "msxml/MsxmlDOMNode.h"

#include <cwchar>
#include <vector>

#include "msxml/MsxmlCom.h"
#include "msxml/MsxmlDOMAttribute.h"
#include "msxml/MsxmlDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "platform/host/ux_string.h"

namespace {

template <class T>
T* queryNode(IXMLDOMNode* node, IID const& iid) {
    void* out = nullptr;
    if (!node || FAILED(node->QueryInterface(iid, &out))) return nullptr;
    return static_cast<T*>(out);
}

// Free blocks by 8-byte size class, for the few wrapper sizes there are: the
// heap's chunks step by 16 bytes with 8 of them taken by its own header, so
// a 56-byte wrapper asked for as 64 would cost 80 instead of 64.
struct WrapperBlocks {
    static constexpr size_t kClasses = 24;
    static constexpr size_t kKept = 4096;  // per class
    std::vector<void*> free[kClasses];
    bool alive = true;

    ~WrapperBlocks() {
        alive = false;
        for (auto& blocks : free)
            for (void* p : blocks) ::operator delete(p);
    }
};

thread_local WrapperBlocks wrapperBlocks;

size_t sizeClass(size_t size) { return (size + 7) / 8 - 1; }

}  // namespace

void* MsxmlDOMNode::operator new(size_t size) {
    size_t const c = sizeClass(size);
    if (c >= WrapperBlocks::kClasses) return ::operator new(size);
    WrapperBlocks& blocks = wrapperBlocks;
    if (blocks.alive && !blocks.free[c].empty()) {
        void* p = blocks.free[c].back();
        blocks.free[c].pop_back();
        return p;
    }
    return ::operator new((c + 1) * 8);
}

void MsxmlDOMNode::operator delete(void* p, size_t size) {
    size_t const c = sizeClass(size);
    if (c < WrapperBlocks::kClasses) {
        WrapperBlocks& blocks = wrapperBlocks;
        if (blocks.alive && blocks.free[c].size() < WrapperBlocks::kKept) {
            blocks.free[c].push_back(p);
            return;
        }
    }
    ::operator delete(p);
}

IXMLDOMElement* castToElement(IXMLDOMNode* node) { return queryNode<IXMLDOMElement>(node, IID_IXMLDOMElement); }

IXMLDOMAttribute* castToAttribute(IXMLDOMNode* node) {
    return queryNode<IXMLDOMAttribute>(node, IID_IXMLDOMAttribute);
}

IXMLDOMText* castToText(IXMLDOMNode* node) { return queryNode<IXMLDOMText>(node, IID_IXMLDOMText); }

IXMLDOMNodeReader* readerOf(IXMLDOMNode* node) {
    return queryInterface<IXMLDOMNodeReader>(node, IID_IXMLDOMNodeReader).detach();
}

// Reading a document drops text that is only white space, unless
// xml:space="preserve" on the element or above keeps it: such text would not
// read back, so it is refused where it enters (an empty text clears instead).
bool textReadsBack(IXMLDOMNode* node, wchar_t const* text) {
    if (!text || !*text || text[wcsspn(text, L" \t\r\n")]) return true;
    ComPtr<IXMLDOMNode> cur = ComPtr<IXMLDOMNode>::share(node);
    BStr space(L"xml:space");
    while (cur) {
        if (ComPtr<IXMLDOMElement> element{castToElement(cur.get())}) {
            Variant value;
            if (element->getAttribute(space.get(), value.put()) == S_OK && value.get().vt == VT_BSTR)
                return wcscmp(value.get().bstrVal, L"preserve") == 0;
        }
        ComPtr<IXMLDOMNode> parent;
        if (FAILED(cur->get_parentNode(parent.put()))) return false;
        cur = std::move(parent);
    }
    return false;
}

bool clearText(IXMLDOMNode* element) {
    ComPtr<IXMLDOMText> first{getFirstTextChild(element)};
    ComPtr<IXMLDOMNode> removed;
    return !first || SUCCEEDED(element->removeChild(first.get(), removed.put()));
}

TrelNodeType getNodeType(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    if (!node || FAILED(node->get_nodeType(&type))) return TREL_NO_NODE;
    return static_cast<TrelNodeType>(type);
}

// Code-unit comparison: exact and case-sensitive, and it needs no BSTR copy
// of `text`, which keeps tag tests on large trees cheap.
bool nameEquals(IXMLDOMNode* node, wchar_t const* text) {
    if (!node || !text) return false;
    if (ComPtr<IXMLDOMNodeReader> reader{readerOf(node)}) {
        wchar_t const* name = nullptr;
        return SUCCEEDED(reader->readName(&name, nullptr)) && name && wcscmp(name, text) == 0;
    }
    BStr name;
    if (FAILED(node->get_nodeName(name.put())) || !name.get()) return false;
    return wcscmp(name.get(), text) == 0;
}

IXMLDOMText* getFirstTextChild(IXMLDOMNode* node) {
    if (!node) return nullptr;
    ComPtr<IXMLDOMNode> child;
    if (FAILED(node->get_firstChild(child.put())) || !child) return nullptr;
    if (getNodeType(child.get()) != TREL_TEXT_NODE) return nullptr;
    return castToText(child.get());
}

MsxmlDOMNode::MsxmlDOMNode(IXMLDOMNode* node, MsxmlDOMDocument const* document)
    : node_(node), document_(document), reader_(readerOf(node)) {
    if (node_) node_->AddRef();
}

void MsxmlDOMNode::rebind(IXMLDOMNode* node, IXMLDOMNodeReader* knownReader) {
    if (node) node->AddRef();
    IXMLDOMNodeReader* reader = knownReader ? knownReader : readerOf(node);
    if (knownReader) knownReader->AddRef();
    if (reader_) reader_->Release();
    if (node_) node_->Release();
    node_ = node;
    reader_ = reader;
}

MsxmlDOMNode::~MsxmlDOMNode() {
    if (reader_) reader_->Release();
    if (node_) node_->Release();
}

TrelNodeType MsxmlDOMNode::getType() const { return getNodeType(node_); }

// A node moved into another document belongs to that one now; this wrapper
// still interns its strings in the document it was made for.
TrelDOMDocument const* MsxmlDOMNode::getDocument() const {
    ComPtr<IXMLDOMDocument> owner;
    if (!node_ || FAILED(node_->get_ownerDocument(owner.put())) || !owner) return document_;
    if (owner.get() == document_->getWrapped()) return document_;
    MsxmlDOMDocument const* current = MsxmlDOMDocument::wrapperOf(owner.get());
    return current ? current : document_;
}

TrelDOMElement* MsxmlDOMNode::getParent() const {
    if (!node_) return nullptr;
    ComPtr<IXMLDOMNode> parent;
    if (FAILED(node_->get_parentNode(parent.put())) || !parent) return nullptr;
    ComPtr<IXMLDOMElement> element(castToElement(parent.get()));
    if (!element) return nullptr;
    return document_->createTrelElement(element.get());
}

wchar_t const* MsxmlDOMNode::intern(BSTR text) const { return text ? document_->unmarshal(text) : nullptr; }

wchar_t const* MsxmlDOMNode::getName() const {
    if (!node_) return nullptr;
    if (reader_) {
        wchar_t const* name = nullptr;
        size_t length = 0;
        uint64_t stamp = 0;
        if (FAILED(reader_->readNameStamped(&name, &length, &stamp))) return nullptr;
        return document_->internName(name, length, stamp);
    }
    BStr name;
    if (FAILED(node_->get_nodeName(name.put()))) return nullptr;
    return intern(name.get());
}

wchar_t const* MsxmlDOMNode::getNamespaceURI() const {
    if (!node_) return nullptr;
    BStr uri;
    // S_FALSE or no text: the node is in no namespace.
    if (node_->get_namespaceURI(uri.put()) != S_OK || uri.length() == 0) return nullptr;
    return intern(uri.get());
}

bool MsxmlDOMNode::nameEquals(wchar_t const* text) const {
    if (!reader_ || !text) return ::nameEquals(node_, text);
    wchar_t const* name = nullptr;
    return SUCCEEDED(reader_->readName(&name, nullptr)) && name && wcscmp(name, text) == 0;
}

wchar_t const* MsxmlDOMNode::getValue() const {
    switch (getNodeType(node_)) {
    case TREL_TEXT_NODE:
    case TREL_ATTRIBUTE_NODE:
        return ownValue();
    case TREL_ELEMENT_NODE:
        return firstTextValue();
    default:
        return nullptr;
    }
}

// Through the engine's reader when there is one: the value of a text or an
// attribute, or the first text child of an element.
bool MsxmlDOMNode::readText(wchar_t const*& text) const {
    if (!reader_) return false;
    wchar_t const* lent = nullptr;
    size_t length = 0;
    text = reader_->readText(&lent, &length) == S_OK ? document_->intern(lent, length) : nullptr;
    return true;
}

wchar_t const* MsxmlDOMNode::ownValue() const {
    if (wchar_t const* text; readText(text)) return text;
    Variant value;
    if (!node_ || FAILED(node_->get_nodeValue(value.put()))) return nullptr;
    return intern(value.text());
}

wchar_t const* MsxmlDOMNode::firstTextValue() const {
    if (wchar_t const* text; readText(text)) return text;
    ComPtr<IXMLDOMText> text(getFirstTextChild(node_));
    Variant value;
    if (!text || FAILED(text->get_nodeValue(value.put()))) return nullptr;
    return intern(value.text());
}

bool MsxmlDOMNode::valueEquals(wchar_t const* text) const { return ux_strequal(getValue(), text); }

bool MsxmlDOMNode::setValue(wchar_t const* text) {
    if (!node_) return false;
    Variant value;
    value.setString(text);
    TrelNodeType const type = getNodeType(node_);
    // An attribute takes its value whole; namespace declarations have no text child.
    if (type == TREL_ATTRIBUTE_NODE) return text && SUCCEEDED(node_->put_nodeValue(value.get()));
    if (type == TREL_ELEMENT_NODE && text && !*text) return clearText(node_);
    if (!textReadsBack(node_, text)) return false;
    if (ComPtr<IXMLDOMText> first{getFirstTextChild(node_)}) return SUCCEEDED(first->put_nodeValue(value.get()));

    ComPtr<IXMLDOMText> fresh(document_->createMsxmlText(text));
    if (!fresh) return false;
    ComPtr<IXMLDOMNode> appended;
    return SUCCEEDED(node_->appendChild(fresh.get(), appended.put())) && appended;
}

MsxmlDOMAttribute::MsxmlDOMAttribute(IXMLDOMAttribute* attribute, MsxmlDOMDocument const* document)
    : MsxmlDOMNode(attribute, document) {}
