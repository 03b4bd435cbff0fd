// The DOM functions: documents, elements and attributes, one model call each.
//
// Every function checks its argument count, resolves handles (nil, other
// kinds and stale handles give null) and strings (anything else gives null),
// and answers nil when one of them is null or the model call fails. New
// model objects are held by a smart pointer until the handle cache has its
// own reference, so none is lost when making the handle fails.
#include "lisp/DOMHandleCache.h"
#include "lisp/xml_lisp_private.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"

namespace {

// The attribute names of an element, in scan order.
class AttributeKeyCollector : public TrelDOMAttributeVisitor {
public:
    bool visit(TrelDOMAttribute const* attribute) override {
        LAOBJ* cell = make_cons(makeLispString(attribute->getKey()), Cnil);
        // Linking through the last cell keeps long attribute lists linear.
        if (_list == Cnil)
            _list = cell;
        else
            nconc(_last, cell);
        _last = cell;
        return true;
    }
    LAOBJ* list() const { return _list; }

private:
    LAOBJ* _list = Cnil;
    LAOBJ* _last = Cnil;
};

template <class T>
LAOBJ* handOut(T* created) {
    XmlSmartPtr<T> held(created);
    return makeStructure(static_cast<T const*>(held));
}

// Handles of the array's elements, in array order.
LAOBJ* handleList(TrelDOMElementPtrArray const& elements) {
    LAOBJ* list = Cnil;
    for (long i = elements.size(); i-- > 0;)
        list = make_cons(makeStructure(static_cast<TrelDOMElement const*>(elements.elt(i))), list);
    return list;
}

}  // namespace

// ---------------------------------------------------------------- documents

void Ldocument_create() {
    vs.check_arg(0);
    setResult(handOut(XmlObjectFactory::getInstance()->createDocument()));
}

void Ldocument_dispose() {
    vs.check_arg(1);
    TrelDOMDocument* document = getDocument(vs_base[0]);
    setResult(lispBool(document && DOMHandleCache::remove(document)));
}

void Ldocument_get_root() {
    vs.check_arg(1);
    TrelDOMDocument* document = getDocument(vs_base[0]);
    setResult(document ? handOut(document->getRoot()) : Cnil);
}

// The root is asked for again: the handle is of what the document now holds.
void Ldocument_set_root() {
    vs.check_arg(2);
    TrelDOMDocument* document = getDocument(vs_base[0]);
    TrelDOMElement* root = getElement(vs_base[1]);
    if (!document || !root || !document->setRoot(root)) return setResult(Cnil);
    setResult(handOut(document->getRoot()));
}

void Ldocument_select_node() {
    vs.check_arg(2);
    TrelDOMDocument* document = getDocument(vs_base[0]);
    WideCopy path = copyString(vs_base[1]);
    if (!document || !path) return setResult(Cnil);
    XmlSmartPtr<TrelDOMNode> node(document->selectNode(path.get()));
    setResult(makeStructure(static_cast<TrelDOMNode const*>(node)));
}

void Lclear_xml_cache() {
    vs.check_arg(0);
    DOMHandleCache::clear();
    setResult(Ct);
}

// --------------------------------------------------------------- attributes

void Lattribute_get_value() {
    vs.check_arg(1);
    TrelDOMAttribute* attribute = getAttribute(vs_base[0]);
    setResult(attribute ? makeLispString(attribute->getValue()) : Cnil);
}

void Lattribute_set_value() {
    vs.check_arg(2);
    TrelDOMAttribute* attribute = getAttribute(vs_base[0]);
    WideCopy value = copyString(vs_base[1]);
    setResult(lispBool(attribute && value && attribute->setValue(value.get())));
}

// ----------------------------------------------------------------- elements

void Lelement_create() {
    vs.check_arg(2);
    TrelDOMDocument* document = getDocument(vs_base[0]);
    WideCopy tag = copyString(vs_base[1]);
    if (!document || !tag) return setResult(Cnil);
    setResult(handOut(document->createElement(tag.get())));
}

void Lelement_get_tag() {
    vs.check_arg(1);
    TrelDOMElement* element = getElement(vs_base[0]);
    setResult(element ? makeLispString(element->getTag()) : Cnil);
}

void Lelement_get_child() {
    vs.check_arg(2);
    TrelDOMElement* element = getElement(vs_base[0]);
    WideCopy tag = copyString(vs_base[1]);
    if (!element || !tag) return setResult(Cnil);
    setResult(handOut(element->getFirstChild(tag.get())));
}

void Lelement_get_children() {
    vs.check_arg(1);
    TrelDOMElement* element = getElement(vs_base[0]);
    if (!element) return setResult(Cnil);
    TrelDOMElementPtrArray children;
    element->getChildren(children);
    setResult(handleList(children));
}

void Lelement_get_named_children() {
    vs.check_arg(2);
    TrelDOMElement* element = getElement(vs_base[0]);
    WideCopy tag = copyString(vs_base[1]);
    if (!element || !tag) return setResult(Cnil);
    TrelDOMElementPtrArray children;
    element->getChildren(tag.get(), children);
    setResult(handleList(children));
}

void Lelement_add_child() {
    vs.check_arg(2);
    TrelDOMElement* parent = getElement(vs_base[0]);
    TrelDOMElement* child = getElement(vs_base[1]);
    setResult(lispBool(parent && child && parent->addChild(static_cast<TrelDOMElement const*>(child))));
}

void Lelement_get_text() {
    vs.check_arg(1);
    TrelDOMElement* element = getElement(vs_base[0]);
    setResult(element ? makeLispString(element->getText()) : Cnil);
}

void Lelement_set_text() {
    vs.check_arg(2);
    TrelDOMElement* element = getElement(vs_base[0]);
    WideCopy text = copyString(vs_base[1]);
    setResult(lispBool(element && text && element->setText(text.get())));
}

void Lelement_get_attributes() {
    vs.check_arg(1);
    TrelDOMElement* element = getElement(vs_base[0]);
    if (!element) return setResult(Cnil);
    AttributeKeyCollector names;
    element->scanAttributes(&names);
    setResult(names.list());
}

void Lelement_get_attribute() {
    vs.check_arg(2);
    TrelDOMElement* element = getElement(vs_base[0]);
    WideCopy name = copyString(vs_base[1]);
    setResult(element && name ? makeLispString(element->getAttributeValue(name.get())) : Cnil);
}

void Lelement_set_attribute() {
    vs.check_arg(3);
    TrelDOMElement* element = getElement(vs_base[0]);
    WideCopy name = copyString(vs_base[1]);
    WideCopy value = copyString(vs_base[2]);
    setResult(lispBool(element && name && value && element->setAttribute(name.get(), value.get())));
}

void Lelement_get_parent() {
    vs.check_arg(1);
    TrelDOMElement* element = getElement(vs_base[0]);
    setResult(element ? handOut(element->getParent()) : Cnil);
}

// The document is not new: it gains an entry like any other hand-out.
void Lelement_get_document() {
    vs.check_arg(1);
    TrelDOMElement* element = getElement(vs_base[0]);
    setResult(element ? makeStructure(element->getDocument()) : Cnil);
}
