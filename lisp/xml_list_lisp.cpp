// Element lists: a whole element tree written as nested Lisp lists,
//   (tag attributes content)
// tag a string; attributes nil or a list of (name . value) pairs; content nil,
// a string (the text) or a list of element lists (the children). The
// functions here build and grow such lists, and turn one into a document.
#include "lisp/DOMHandleCache.h"
#include "lisp/xml_lisp_private.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"

namespace {

// Nesting beyond this builds no element: the builder recurses, and a list
// nested deeply enough would otherwise exhaust the C++ stack. Four times as
// deep as any document the engine parses.
constexpr int kMaxDepth = 1024;

// A list that ends, or a type-error: walking a circular one would never end.
// (An improper tail is left to the host's list functions, which report it.)
void requireFiniteList(LAOBJ* list) {
    LAOBJ* slow = list;
    LAOBJ* fast = list;
    while (type_of(fast) == kind_cons && type_of(cdr(fast)) == kind_cons) {
        fast = cdr(cdr(fast));
        slow = cdr(slow);
        if (fast == slow) lisp_type_error(list, "LIST");
    }
}

// Appends entry to the item held in the car of cell: a nil item becomes a
// one-entry list (the result is then cell), a list grows at its end (the
// result is the item). Anything else, text included, stays as it is: nil.
LAOBJ* appendToListSlot(LAOBJ* cell, LAOBJ* entry) {
    if (type_of(cell) != kind_cons) return Cnil;
    LAOBJ* item = car(cell);
    if (item == Cnil) return rplaca(cell, make_cons(entry, Cnil));
    if (type_of(item) == kind_cons) {
        requireFiniteList(item);
        return nconc(item, make_cons(entry, Cnil));
    }
    return Cnil;
}

using ElementPtr = XmlSmartPtr<TrelDOMElement>;

// A string holding a NUL anywhere in the list refuses the whole list: the
// builder notes it here and the result is nil, never a document that lacks
// the text.
struct Refusal {
    bool refused = false;
    bool refuse() {
        refused = true;
        return false;
    }
};

// Sets the attributes of the entries in order; false for an entry whose name
// or value is a cons, which fails the whole element.
bool setAttributes(TrelDOMElement* element, LAOBJ* attributes, Refusal& refusal) {
    requireFiniteList(attributes);
    for (LAOBJ* rest = attributes; rest != Cnil; rest = cdr(rest)) {
        LAOBJ* entry = car(rest);
        LAOBJ* name = car(entry);
        LAOBJ* value = cdr(entry);
        if (type_of(name) == kind_cons || type_of(value) == kind_cons) return false;
        WideCopy nameCopy = copyString(name);
        WideCopy valueCopy = copyString(value);
        if (isUnreadableString(name, nameCopy) || isUnreadableString(value, valueCopy)) return refusal.refuse();
        if (nameCopy && valueCopy) element->setAttribute(nameCopy.get(), valueCopy.get());
    }
    return true;
}

ElementPtr createElementFromList(TrelDOMDocument const* document, LAOBJ* list, int depth, Refusal& refusal);

// Text, or children: an entry that builds no element is skipped.
bool setContent(TrelDOMDocument const* document, TrelDOMElement* element, LAOBJ* content, int depth, Refusal& refusal) {
    if (type_of(content) == kind_string) {
        WideCopy text = copyString(content);
        if (!text) return refusal.refuse();
        element->setText(text.get());
        return true;
    }
    requireFiniteList(content);
    for (LAOBJ* rest = content; rest != Cnil && !refusal.refused; rest = cdr(rest))
        if (ElementPtr child = createElementFromList(document, car(rest), depth + 1, refusal))
            element->addChild(static_cast<TrelDOMElement const*>(child));
    return !refusal.refused;
}

// The element the list describes, held by the result; null when the tag is
// not a string or an attribute entry is malformed.
ElementPtr createElementFromList(TrelDOMDocument const* document, LAOBJ* list, int depth, Refusal& refusal) {
    if (depth > kMaxDepth) return nullptr;
    LAOBJ* tag = kar(list);
    if (type_of(tag) == kind_cons) return nullptr;
    WideCopy tagCopy = copyString(tag);
    if (isUnreadableString(tag, tagCopy)) refusal.refuse();
    if (!tagCopy) return nullptr;
    ElementPtr element(document->createElement(tagCopy.get()));
    tagCopy.reset();
    if (!element) return nullptr;
    if (!setAttributes(element, cadr(list), refusal)) return nullptr;
    if (!setContent(document, element, caddr(list), depth, refusal)) return nullptr;
    return element;
}

}  // namespace

// tag &key :attribute :attributes :child :children :text
void Lxml_list_create_element() {
    if (vs.count() < 1) too_few_arguments();
    parse_key(vs_base + 1, false, false, 5, Kattribute, Kattributes, Kchild, Kchildren, Ktext);
    LAOBJ** key = vs_base + 1;
    LAOBJ* const attribute = key[0];
    LAOBJ* const attributes = key[1];
    LAOBJ* const child = key[2];
    LAOBJ* const children = key[3];
    LAOBJ* const text = key[4];
    LAOBJ* attributeItem = attribute != Cnil ? make_cons(attribute, Cnil) : attributes;
    LAOBJ* contentItem = text != Cnil ? text : child != Cnil ? make_cons(child, Cnil) : children;
    setResult(make_cons(vs_base[0], make_cons(attributeItem, make_cons(contentItem, Cnil))));
}

// element-list name value
void Lxml_list_add_attribute() {
    vs.check_arg(3);
    setResult(appendToListSlot(cdr(vs_base[0]), make_cons(vs_base[1], vs_base[2])));
}

// element-list child
void Lxml_list_add_child() {
    vs.check_arg(2);
    setResult(appendToListSlot(cddr(vs_base[0]), vs_base[1]));
}

// A document is returned even when the list builds no root; nil when a
// string in it holds a NUL.
void Lxml_list_to_document() {
    vs.check_arg(1);
    XmlSmartPtr<TrelDOMDocument> document(XmlObjectFactory::getInstance()->createDocument());
    if (!document) return setResult(Cnil);
    Refusal refusal;
    ElementPtr root = createElementFromList(document, vs_base[0], 0, refusal);
    if (refusal.refused) return setResult(Cnil);
    if (root) document->setRoot(root);
    setResult(makeStructure(static_cast<TrelDOMDocument const*>(document)));
}
