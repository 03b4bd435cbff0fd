#include "msxml/MsxmlDOMElement.h"

#include <cwchar>

#include "model/TrelDOMAttribute.h"
#include "msxml/MsxmlCom.h"
#include "msxml/MsxmlDOMAttribute.h"
#include "msxml/MsxmlDOMDocument.h"

namespace {

// The child list of `node` and its length; false when either is unavailable.
bool childList(IXMLDOMNode* node, ComPtr<IXMLDOMNodeList>& list, long& length) {
    length = 0;
    if (!node || FAILED(node->get_childNodes(list.put())) || !list) return false;
    return SUCCEEDED(list->get_length(&length));
}

// A snapshot of a child list: every slot holds one reference until it is
// taken; whatever was not taken is released on destruction, so an early stop
// of a scan leaks nothing.
class NodeSnapshot {
public:
    NodeSnapshot() = default;
    NodeSnapshot(NodeSnapshot const&) = delete;
    NodeSnapshot& operator=(NodeSnapshot const&) = delete;
    ~NodeSnapshot() {
        for (long i = 0; i < nodes_.size(); ++i)
            if (IXMLDOMNode* node = nodes_.elt(i)) node->Release();
    }

    // One pass with the list's cursor: asking for the length first would
    // walk the children twice.
    bool collect(IXMLDOMNode* parent) {
        ComPtr<IXMLDOMNodeList> list;
        if (!parent || FAILED(parent->get_childNodes(list.put())) || !list) return false;
        for (;;) {
            IXMLDOMNode* item = nullptr;
            if (list->nextNode(&item) != S_OK || !item) break;
            nodes_.append(item);
        }
        return true;
    }
    long size() const { return nodes_.size(); }
    ComPtr<IXMLDOMNode> take(long i) {
        IXMLDOMNode* node = nodes_.elt(i);
        nodes_.elt(i) = nullptr;
        return ComPtr<IXMLDOMNode>(node);
    }

private:
    IXMLDOMNodePtrArray nodes_;
};

bool isElement(IXMLDOMNode* node) { return getNodeType(node) == TREL_ELEMENT_NODE; }

// The node's value as the engine gives it (a string variant), or empty.
bool readValue(IXMLDOMNode* node, Variant& value) { return node && SUCCEEDED(node->get_nodeValue(value.put())); }

}  // namespace

IXMLDOMAttribute* findAttribute(wchar_t const* name, IXMLDOMNode* node) {
    if (!name || !node) return nullptr;
    ComPtr<IXMLDOMNamedNodeMap> map;
    if (FAILED(node->get_attributes(map.put())) || !map) return nullptr;
    BStr key(name);
    ComPtr<IXMLDOMNode> item;
    if (FAILED(map->getNamedItem(key.get(), item.put())) || !item) return nullptr;
    return castToAttribute(item.get());
}

bool SelectedChildVisitor::visit(TrelDOMElement const* element) {
    if (!element->tagEquals(tag_)) return true;
    return inner_->visit(element);
}

MsxmlDOMElement::MsxmlDOMElement(IXMLDOMElement* element, MsxmlDOMDocument const* document)
    : MsxmlDOMNode(element, document) {}

long MsxmlDOMElement::childCount() const {
    ComPtr<IXMLDOMNodeList> list;
    long length = 0;
    if (!childList(getWrapped(), list, length)) return 0;
    long count = 0;
    for (long i = 0; i < length; ++i) {
        ComPtr<IXMLDOMNode> item;
        if (SUCCEEDED(list->get_item(i, item.put())) && isElement(item.get())) ++count;
    }
    return count;
}

TrelDOMElement* MsxmlDOMElement::getFirstChild(wchar_t const* tag) const { return selectElement(tag); }

TrelDOMElement* MsxmlDOMElement::getFirstChild() const {
    ComPtr<IXMLDOMNode> first;
    if (FAILED(getWrapped()->get_firstChild(first.put())) || !first) return nullptr;
    ComPtr<IXMLDOMElement> element(castToElement(first.get()));
    return element ? getMsxmlDocument()->createTrelElement(element.get()) : nullptr;
}

TrelDOMElement* MsxmlDOMElement::getChild(wchar_t const* tag, int index) const {
    ComPtr<IXMLDOMNodeList> list;
    long length = 0;
    if (!childList(getWrapped(), list, length) || length <= index) return nullptr;
    int matches = 0;
    for (long i = 0; i < length; ++i) {
        ComPtr<IXMLDOMNode> item;
        if (FAILED(list->get_item(i, item.put())) || !isElement(item.get()) || !::nameEquals(item.get(), tag))
            continue;
        if (matches++ != index) continue;
        ComPtr<IXMLDOMElement> element(castToElement(item.get()));
        return element ? getMsxmlDocument()->createTrelElement(element.get()) : nullptr;
    }
    return nullptr;
}

IXMLDOMNode* MsxmlDOMElement::selectMsxmlNode(wchar_t const* path) const {
    if (!path) return nullptr;
    BStr expression(path);
    ComPtr<IXMLDOMNode> node;
    if (FAILED(getWrapped()->selectSingleNode(expression.get(), node.put()))) return nullptr;
    return node.detach();
}

TrelDOMNode* MsxmlDOMElement::selectNode(wchar_t const* path) const {
    ComPtr<IXMLDOMNode> node(selectMsxmlNode(path));
    return node ? getMsxmlDocument()->createTrelNode(node.get()) : nullptr;
}

TrelDOMElement* MsxmlDOMElement::selectElement(wchar_t const* path) const {
    ComPtr<IXMLDOMNode> node(selectMsxmlNode(path));
    ComPtr<IXMLDOMElement> element(castToElement(node.get()));
    return element ? getMsxmlDocument()->createTrelElement(element.get()) : nullptr;
}

// The attribute's value as the engine's reader lends it: false when the
// engine has no reader, else `value` is the lent text (null when absent).
bool MsxmlDOMElement::readAttribute(wchar_t const* key, wchar_t const*& value, size_t& length) const {
    IXMLDOMNodeReader* reader = getReader();
    if (!reader) return false;
    value = nullptr;
    if (key && reader->readAttribute(key, &value, &length) != S_OK) value = nullptr;
    return true;
}

wchar_t const* MsxmlDOMElement::getAttributeValue(wchar_t const* key) const {
    wchar_t const* lent = nullptr;
    size_t length = 0;
    if (readAttribute(key, lent, length)) return getMsxmlDocument()->intern(lent, length);
    ComPtr<IXMLDOMAttribute> attribute(findAttribute(key, getWrapped()));
    Variant value;
    if (!readValue(attribute.get(), value)) return nullptr;
    return intern(value.text());
}

// A null value equals an empty one, as the platform's string comparison has it.
bool MsxmlDOMElement::attributeEquals(wchar_t const* key, wchar_t const* value) const {
    wchar_t const* lent = nullptr;
    size_t length = 0;
    if (readAttribute(key, lent, length)) return lent && wcscmp(lent, value ? value : L"") == 0;
    ComPtr<IXMLDOMAttribute> attribute(findAttribute(key, getWrapped()));
    Variant current;
    if (!readValue(attribute.get(), current)) return false;
    wchar_t const* text = current.text();
    return wcscmp(text ? text : L"", value ? value : L"") == 0;
}

bool MsxmlDOMElement::setAttribute(wchar_t const* key, wchar_t const* value) {
    if (!key || !value || getType() != TREL_ELEMENT_NODE) return false;
    ComPtr<IXMLDOMElement> element(castToElement(getWrapped()));
    if (!element) return false;
    BStr name(key);
    Variant text;
    text.setString(value);
    return SUCCEEDED(element->setAttribute(name.get(), text.get()));
}

IXMLDOMElement* MsxmlDOMElement::addMsxmlChild(IXMLDOMElement* child) const {
    if (!child) return nullptr;
    ComPtr<IXMLDOMNode> appended;
    if (FAILED(getWrapped()->appendChild(child, appended.put())) || !appended) return nullptr;
    return castToElement(appended.get());
}

// The new child is made in this element's namespace, read straight from the
// engine so that no string is interned for it.
IXMLDOMElement* MsxmlDOMElement::createChild(wchar_t const* tag, wchar_t const* text) const {
    BStr uri;
    if (getWrapped()->get_namespaceURI(uri.put()) != S_OK) uri.reset();
    return getMsxmlDocument()->createMsxmlElement(tag, uri.get(), text);
}

bool MsxmlDOMElement::addChild(wchar_t const* tag, wchar_t const* text) {
    if (!tag || !text) return false;
    ComPtr<IXMLDOMElement> child(createChild(tag, text));
    ComPtr<IXMLDOMElement> appended(addMsxmlChild(child.get()));
    return static_cast<bool>(appended);
}

bool MsxmlDOMElement::addChild(TrelDOMElement const* child) {
    auto const* msxmlChild = dynamic_cast<MsxmlDOMElement const*>(child);
    if (!msxmlChild) return false;
    ComPtr<IXMLDOMElement> element(castToElement(msxmlChild->getWrapped()));
    ComPtr<IXMLDOMElement> appended(addMsxmlChild(element.get()));
    return static_cast<bool>(appended);
}

TrelDOMElement* MsxmlDOMElement::addChild(wchar_t const* tag) {
    if (!tag) return nullptr;
    ComPtr<IXMLDOMElement> child(createChild(tag, nullptr));
    ComPtr<IXMLDOMElement> appended(addMsxmlChild(child.get()));
    return appended ? getMsxmlDocument()->createTrelElement(appended.get()) : nullptr;
}

bool MsxmlDOMElement::addComment(wchar_t const* text) {
    ComPtr<IXMLDOMComment> comment(getMsxmlDocument()->createMsxmlComment(text));
    if (!comment) return false;
    ComPtr<IXMLDOMNode> appended;
    return SUCCEEDED(getWrapped()->appendChild(comment.get(), appended.put())) && appended;
}

bool MsxmlDOMElement::scanChildren(wchar_t const* tag, TrelDOMElementVisitor* v) const {
    SelectedChildVisitor selected(tag, v);
    return scanChildren(&selected);
}

// Visits exactly the children present at the start, each once, even when a
// visitor moves, removes or adds children. The engine's child cursor gives
// that without a pass over the list first; other engines are read through a
// snapshot taken before the first visit.
bool MsxmlDOMElement::scanChildren(TrelDOMElementVisitor* v) const {
    MsxmlDOMDocument const* document = getMsxmlDocument();
    // As in scanAttributes, one wrapper serves while the visitor keeps none.
    XmlSmartPtr<MsxmlDOMElement> child;
    auto const visit = [&](IXMLDOMElement* element, IXMLDOMNodeReader* reader) {
        if (child && child->referenceCount() == 1)
            child->rebind(element, reader);
        else
            child = new MsxmlDOMElement(element, document);
        return v->visit(child);
    };
    if (IXMLDOMNodeReader* reader = getReader()) {
        ComPtr<IXMLDOMChildCursor> cursor;
        if (FAILED(reader->openElementChildren(cursor.put())) || !cursor) return false;
        for (;;) {
            IXMLDOMElement* next = nullptr;
            IXMLDOMNodeReader* nextReader = nullptr;
            HRESULT const hr = cursor->next(&next, &nextReader);
            if (hr != S_OK) return SUCCEEDED(hr);
            ComPtr<IXMLDOMElement> element(next);
            if (!visit(element.get(), nextReader)) return false;
        }
    }
    NodeSnapshot children;
    if (!children.collect(getWrapped())) return false;
    for (long i = 0; i < children.size(); ++i) {
        ComPtr<IXMLDOMNode> node = children.take(i);
        // Only elements answer the element interface: text, comments and the
        // like are no children.
        ComPtr<IXMLDOMElement> element(castToElement(node.get()));
        if (element && !visit(element.get(), nullptr)) return false;
    }
    return true;
}

namespace {

// The scan's attribute wrapper, borrowed from its document's parking place
// and given back on every way out of the scan.
class ScanAttribute {
public:
    explicit ScanAttribute(MsxmlDOMDocument const* document)
        : document_(document), wrapper_(document->takeParkedAttribute()) {}
    ~ScanAttribute() { document_->parkAttribute(wrapper_); }
    ScanAttribute(ScanAttribute const&) = delete;
    ScanAttribute& operator=(ScanAttribute const&) = delete;

    XmlSmartPtr<MsxmlDOMAttribute>& operator*() { return wrapper_; }

private:
    MsxmlDOMDocument const* document_;
    XmlSmartPtr<MsxmlDOMAttribute> wrapper_;
};

}  // namespace

// The live attribute map is walked by index: a visitor must not add or
// remove attributes of this element.
bool MsxmlDOMElement::scanAttributes(TrelDOMAttributeVisitor* v) const {
    if (IXMLDOMNodeReader* reader = getReader()) {
        long length = 0;
        if (FAILED(reader->attributeCount(&length))) return false;
        if (length == 0) return true;
        MsxmlDOMDocument const* document = getMsxmlDocument();
        // One wrapper serves the scan while the visitor keeps no reference
        // to it, and then the next scan; a kept one is left alone and a
        // fresh one made.
        ScanAttribute scan(document);
        XmlSmartPtr<MsxmlDOMAttribute>& attribute = *scan;
        for (long i = 0; i < length; ++i) {
            bool const reusable = attribute && attribute->referenceCount() == 1;
            // The engine's object moves along with the wrapper when it can.
            if (!reusable || !attribute->getReader() || attribute->getReader()->moveToAttributeOf(reader, i) != S_OK) {
                ComPtr<IXMLDOMAttribute> node;
                if (reader->attributeAt(i, node.put()) != S_OK || !node) continue;
                if (reusable)
                    attribute->rebind(node.get());
                else
                    attribute = new MsxmlDOMAttribute(node.get(), document);
            }
            if (!v->visit(attribute)) return false;
        }
        return true;
    }
    ComPtr<IXMLDOMNamedNodeMap> map;
    if (FAILED(getWrapped()->get_attributes(map.put()))) return false;
    if (!map) return true;
    long length = 0;
    if (FAILED(map->get_length(&length))) return false;
    MsxmlDOMDocument const* document = getMsxmlDocument();
    for (long i = 0; i < length; ++i) {
        ComPtr<IXMLDOMNode> item;
        if (FAILED(map->get_item(i, item.put())) || !item) continue;
        ComPtr<IXMLDOMAttribute> node(castToAttribute(item.get()));
        if (!node) continue;
        XmlSmartPtr<TrelDOMAttribute> attribute(document->createTrelAttribute(node.get()));
        if (!v->visit(attribute)) return false;
    }
    return true;
}
