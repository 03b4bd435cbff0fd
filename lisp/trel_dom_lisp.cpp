// The DOM functions: documents, elements and attributes, one model call each.
//
// Every function checks its argument count, resolves handles (nil, other
// kinds and stale handles give null) and strings (anything else gives null),
// and answers nil when one of them is null or the model call fails. New
// model objects are held by a smart pointer until the handle cache has its
// own reference, so none is lost when making the handle fails.
//
// A walk calls these functions for every element: values, texts and
// attribute names are made straight from what the tree lends, with nothing
// interned or wrapped for them, and every string read from the tree is a
// base string when it is Latin-1 all through, as the list functions make it.
#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "lisp/DOMHandleCache.h"
#include "lisp/xml_lisp_private.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/TrelTreeStream.h"
#include "model/XmlObjectFactory.h"

namespace {

// The attribute names of an element, in scan order.
class AttributeNameList : public TrelNameSink {
public:
    void name(char const* utf8, std::size_t bytes) override { names_.append(makeCompactLispString(utf8, bytes)); }
    LAOBJ* list() const { return names_.list(); }

private:
    LispListBuilder names_;
};

template <class T>
LAOBJ* handOut(T* created) {
    XmlSmartPtr<T> held(created);
    return makeStructure(static_cast<T const*>(held));
}

// The elements a scan visits, each entered in the handle cache as it comes
// (the entry holds the wrapper the scan lets go), their handles made once
// the scan is over, so that no Lisp runs inside it. The document is asked
// for once, at the first child: children share their parent's.
class ChildEntries : public TrelDOMElementVisitor {
public:
    explicit ChildEntries(TrelDOMElement const* parent) : parent_(parent), entries_(std::move(spare())) {
        entries_.clear();
    }
    ~ChildEntries() {
        if (entries_.capacity() > spare().capacity()) spare() = std::move(entries_);
    }
    ChildEntries(ChildEntries const&) = delete;
    ChildEntries& operator=(ChildEntries const&) = delete;

    bool visit(TrelDOMElement const* element) override {
        if (entries_.empty()) document_ = parent_->getDocument();
        entries_.push_back({element, DOMHandleCache::addElement(element, document_)});
        return true;
    }
    // Handles of the visited elements, in visit order.
    LAOBJ* handles() const {
        LAOBJ* list = Cnil;
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
            list = make_cons(DOMHandleCache::elementHandle(it->element, it->stamp), list);
        return list;
    }

private:
    struct Entry {
        TrelDOMElement const* element;
        std::uint64_t stamp;
    };
    // The storage of the last list, taken by the next one: a walk allocates
    // none after its widest element. A nested call finds it taken and has
    // its own.
    static std::vector<Entry>& spare() {
        thread_local std::vector<Entry> entries;
        return entries;
    }

    TrelDOMElement const* parent_;
    TrelDOMDocument const* document_ = nullptr;
    std::vector<Entry> entries_;
};

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
    wchar_t const* tag = element ? element->getTag() : nullptr;
    setResult(tag ? makeCompactLispString(tag, std::wcslen(tag)) : Cnil);
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
    ChildEntries children(element);
    element->scanChildren(&children);
    setResult(children.handles());
}

void Lelement_get_named_children() {
    vs.check_arg(2);
    TrelDOMElement* element = getElement(vs_base[0]);
    WideCopy tag = copyString(vs_base[1]);
    if (!element || !tag) return setResult(Cnil);
    ChildEntries children(element);
    element->scanChildren(tag.get(), &children);
    setResult(children.handles());
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
    char const* text = nullptr;
    std::size_t bytes = 0;
    bool const found = element && readTextUtf8(element, &text, &bytes);
    setResult(found ? makeCompactLispString(text, bytes) : Cnil);
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
    AttributeNameList names;
    setResult(scanAttributeNames(element, names) ? names.list() : Cnil);
}

void Lelement_get_attribute() {
    vs.check_arg(2);
    TrelDOMElement* element = getElement(vs_base[0]);
    std::string name;  // compared in UTF-8, as the tree holds names
    char const* value = nullptr;
    std::size_t bytes = 0;
    bool const found =
        element && readStringUtf8(vs_base[1], name) && readAttributeUtf8(element, name.c_str(), &value, &bytes);
    setResult(found ? makeCompactLispString(value, bytes) : Cnil);
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
