#include "msxml/MsxmlDOMNode.h"

#include <cassert>
#include <cwchar>

#include "msxml/MsxmlCom.h"
#include "msxml/MsxmlDOMAttribute.h"
#include "msxml/MsxmlDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "platform/host/ux_string.h"

IXMLDOMElement* castToElement(IXMLDOMNode* node) {
    return queryInterface<IXMLDOMElement>(node, IID_IXMLDOMElement).detach();
}

IXMLDOMAttribute* castToAttribute(IXMLDOMNode* node) {
    return queryInterface<IXMLDOMAttribute>(node, IID_IXMLDOMAttribute).detach();
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

IXMLDOMText* getFirstTextChild(IXMLDOMNode* node) {
    if (!node) return nullptr;
    ComPtr<IXMLDOMNode> child;
    if (FAILED(node->get_firstChild(child.put())) || !child) return nullptr;
    if (getNodeType(child.get()) != TREL_TEXT_NODE) return nullptr;
    return queryInterface<IXMLDOMText>(child.get(), IID_IXMLDOMText).detach();
}

// The engine answers the reader for every node it hands out; nothing here
// reads a node any other way.
MsxmlDOMNode::MsxmlDOMNode(IXMLDOMNode* node, MsxmlDOMDocument const* document)
    : MsxmlDOMNode(ComPtr<IXMLDOMNode>::share(node),
                   queryInterface<IXMLDOMNodeReader>(node, IID_IXMLDOMNodeReader).get(), document) {}

MsxmlDOMNode::MsxmlDOMNode(ComPtr<IXMLDOMNode> node, IXMLDOMNodeReader* reader, MsxmlDOMDocument const* document)
    : node_(std::move(node)), document_(document), reader_(reader) {
    assert(node_ && reader_);
}

TrelNodeType MsxmlDOMNode::getType() const { return getNodeType(node_.get()); }

// A node moved into another document belongs to that one now; this wrapper
// still interns its strings in the document it was made for.
TrelDOMDocument const* MsxmlDOMNode::getDocument() const { return currentDocument(); }

MsxmlDOMDocument const* MsxmlDOMNode::currentDocument() const {
    ComPtr<IXMLDOMDocument> owner;
    if (FAILED(node_->get_ownerDocument(owner.put())) || !owner) return document_;
    if (owner.get() == document_->getWrapped()) return document_;
    MsxmlDOMDocument const* current = MsxmlDOMDocument::wrapperOf(owner.get());
    return current ? current : document_;
}

TrelDOMElement* MsxmlDOMNode::getParent() const {
    ComPtr<IXMLDOMNode> parent;
    if (FAILED(node_->get_parentNode(parent.put())) || !parent) return nullptr;
    ComPtr<IXMLDOMElement> element(castToElement(parent.get()));
    if (!element) return nullptr;
    return currentDocument()->createTrelElement(element.get());
}

wchar_t const* MsxmlDOMNode::getName() const {
    wchar_t const* name = nullptr;
    size_t length = 0;
    uint64_t key = 0;
    if (FAILED(reader_->readNameKey(&name, &length, &key))) return nullptr;
    return document_->internName(key, name, length);
}

wchar_t const* MsxmlDOMNode::getNamespaceURI() const {
    BStr uri;
    // S_FALSE or no text: the node is in no namespace.
    if (node_->get_namespaceURI(uri.put()) != S_OK || uri.length() == 0) return nullptr;
    return document_->unmarshal(uri.get());
}

bool MsxmlDOMNode::nameEquals(wchar_t const* text) const {
    wchar_t const* name = nullptr;
    return text && SUCCEEDED(reader_->readName(&name, nullptr)) && name && wcscmp(name, text) == 0;
}

wchar_t const* MsxmlDOMNode::getValue() const {
    switch (getNodeType(node_.get())) {
    case TREL_TEXT_NODE:
    case TREL_ATTRIBUTE_NODE:
    case TREL_ELEMENT_NODE: return readValue();
    default: return nullptr;
    }
}

wchar_t const* MsxmlDOMNode::readValue() const {
    char const* lent = nullptr;
    size_t bytes = 0;
    return reader_->readTextUtf8(&lent, &bytes) == S_OK ? document_->internUtf8(lent, bytes) : nullptr;
}

bool MsxmlDOMNode::valueEquals(wchar_t const* text) const { return ux_strequal(getValue(), text); }

bool MsxmlDOMNode::setValue(wchar_t const* text) {
    Variant value;
    value.setString(text);
    TrelNodeType const type = getNodeType(node_.get());
    // An attribute takes its value whole; namespace declarations have no text child.
    if (type == TREL_ATTRIBUTE_NODE) return text && SUCCEEDED(node_->put_nodeValue(value.get()));
    if (type == TREL_ELEMENT_NODE && text && !*text) return clearText(node_.get());
    if (!textReadsBack(node_.get(), text)) return false;
    if (ComPtr<IXMLDOMText> first{getFirstTextChild(node_.get())}) return SUCCEEDED(first->put_nodeValue(value.get()));

    ComPtr<IXMLDOMText> fresh(document_->createMsxmlText(text));
    if (!fresh) return false;
    ComPtr<IXMLDOMNode> appended;
    return SUCCEEDED(node_->appendChild(fresh.get(), appended.put())) && appended;
}

MsxmlDOMAttribute::MsxmlDOMAttribute(ComPtr<IXMLDOMNode> attribute, IXMLDOMNodeReader* reader,
                                     MsxmlDOMDocument const* document)
    : MsxmlDOMNode(std::move(attribute), reader, document) {}
