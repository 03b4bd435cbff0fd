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

bool isElement(IXMLDOMNode* node) { return getNodeType(node) == TREL_ELEMENT_NODE; }

// True when the node's qualified name is `name`, code unit for code unit.
bool hasName(IXMLDOMNode* node, wchar_t const* name) {
    auto reader = queryInterface<IXMLDOMNodeReader>(node, IID_IXMLDOMNodeReader);
    wchar_t const* own = nullptr;
    return reader && name && SUCCEEDED(reader->readName(&own, nullptr)) && own && wcscmp(own, name) == 0;
}

// Passes on only the elements whose tag equals `tag`; the inner visitor's
// false still stops the scan.
struct SelectedChildVisitor : TrelDOMElementVisitor {
    SelectedChildVisitor(wchar_t const* t, TrelDOMElementVisitor* v) : tag(t), inner(v) {}
    bool visit(TrelDOMElement const* element) override { return !element->tagEquals(tag) || inner->visit(element); }
    wchar_t const* tag;
    TrelDOMElementVisitor* inner;
};

}  // namespace

MsxmlDOMElement::MsxmlDOMElement(IXMLDOMElement* element, MsxmlDOMDocument const* document)
    : MsxmlDOMNode(element, document) {}

MsxmlDOMElement::MsxmlDOMElement(ComPtr<IXMLDOMNode> element, IXMLDOMNodeReader* reader,
                                 MsxmlDOMDocument const* document)
    : MsxmlDOMNode(std::move(element), reader, document) {}

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
    return element ? currentDocument()->createTrelElement(element.get()) : nullptr;
}

TrelDOMElement* MsxmlDOMElement::getChild(wchar_t const* tag, int index) const {
    ComPtr<IXMLDOMNodeList> list;
    long length = 0;
    if (!childList(getWrapped(), list, length) || length <= index) return nullptr;
    int matches = 0;
    for (long i = 0; i < length; ++i) {
        ComPtr<IXMLDOMNode> item;
        if (FAILED(list->get_item(i, item.put())) || !isElement(item.get()) || !hasName(item.get(), tag)) continue;
        if (matches++ != index) continue;
        ComPtr<IXMLDOMElement> element(castToElement(item.get()));
        return element ? currentDocument()->createTrelElement(element.get()) : nullptr;
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
    return node ? currentDocument()->createTrelNode(node.get()) : nullptr;
}

TrelDOMElement* MsxmlDOMElement::selectElement(wchar_t const* path) const {
    ComPtr<IXMLDOMNode> node(selectMsxmlNode(path));
    ComPtr<IXMLDOMElement> element(castToElement(node.get()));
    return element ? currentDocument()->createTrelElement(element.get()) : nullptr;
}

wchar_t const* MsxmlDOMElement::getAttributeValue(wchar_t const* key) const {
    char const* lent = nullptr;
    size_t bytes = 0;
    if (!key || getReader()->readAttributeUtf8(key, &lent, &bytes) != S_OK) return nullptr;
    return getMsxmlDocument()->internUtf8(lent, bytes);
}

// A null value equals an empty one, as the platform's string comparison has it.
bool MsxmlDOMElement::attributeEquals(wchar_t const* key, wchar_t const* value) const {
    wchar_t const* lent = nullptr;
    return key && getReader()->readAttribute(key, &lent, nullptr) == S_OK && wcscmp(lent, value ? value : L"") == 0;
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
    return appended ? currentDocument()->createTrelElement(appended.get()) : nullptr;
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
// visitor moves, removes or adds children: the engine's child cursor sees
// to that. A child's wrapper the visitor did not keep stands for the next.
bool MsxmlDOMElement::scanChildren(TrelDOMElementVisitor* v) const {
    ComPtr<IXMLDOMChildCursor> cursor;
    if (FAILED(getReader()->openElementChildren(cursor.put())) || !cursor) return false;
    MsxmlDOMDocument const* document = nullptr;  // asked for at the first child: most elements have none
    XmlSmartPtr<MsxmlDOMElement> child;
    for (;;) {
        IXMLDOMElement* next = nullptr;
        IXMLDOMNodeReader* reader = nullptr;
        HRESULT const hr = cursor->next(&next, &reader);
        if (hr != S_OK) return SUCCEEDED(hr);
        if (!document) document = currentDocument();
        if (child && child->referenceCount() == 1)
            child->rebind(ComPtr<IXMLDOMNode>(next), reader);
        else
            child = document->adoptTrelElement(ComPtr<IXMLDOMElement>(next), reader);
        if (!v->visit(child)) return false;
    }
}

// Attributes are visited in the order of the engine's attribute map, one
// step from the last, so a scan stays linear in their number. A visitor
// must not add or remove attributes of this element. The wrapper of the
// last one holds the node the next step starts from; one the visitor did
// not keep then stands for the next attribute.
bool MsxmlDOMElement::scanAttributes(TrelDOMAttributeVisitor* v) const {
    XmlSmartPtr<MsxmlDOMAttribute> attribute;
    IXMLDOMAttribute* previous = nullptr;
    MsxmlDOMDocument const* const document = currentDocument();
    for (;;) {
        ComPtr<IXMLDOMAttribute> next;
        HRESULT const hr = getReader()->nextAttribute(previous, next.put());
        if (hr != S_OK) return SUCCEEDED(hr);
        previous = next.get();
        auto reader = queryInterface<IXMLDOMNodeReader>(previous, IID_IXMLDOMNodeReader);
        if (!reader) return false;
        if (attribute && attribute->referenceCount() == 1)
            attribute->rebind(ComPtr<IXMLDOMNode>(next.detach()), reader.get());
        else
            attribute = document->adoptTrelAttribute(std::move(next), reader.get());
        if (!v->visit(attribute)) return false;
    }
}
