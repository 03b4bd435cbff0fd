#include "lisp/DOMHandleCache.h"

#include "lisp/xml_lisp.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"

namespace {

// The key is the interface pointer handles hold; the cache lists it, so the
// object is alive and reaching its counted part is safe.
XmlRCObject const* objectOf(void const* key, HandleTable::Kind kind) {
    switch (kind) {
    case HandleTable::Document: return static_cast<TrelDOMDocument const*>(key);
    case HandleTable::Element: return static_cast<TrelDOMNode const*>(static_cast<TrelDOMElement const*>(key));
    case HandleTable::Attribute: break;
    }
    return static_cast<TrelDOMNode const*>(static_cast<TrelDOMAttribute const*>(key));
}

// The pointer a handle of that type holds, if the handle stands for a listed
// entry; null otherwise. The pointer is not followed.
void* resolve(HandleTable const& table, LAOBJ* type, HandleTable::Kind kind, LAOBJ* handle) {
    if (handle == Cnil) return nullptr;
    void* pointer = object_to_NonEntity_ptr(type, handle, nullptr);
    return pointer && table.resolves(ptr_stamp(handle), pointer, kind) ? pointer : nullptr;
}

}  // namespace

DOMHandleCache* DOMHandleCache::_instance = nullptr;

DOMHandleCache::DOMHandleCache() : table_(objectOf) {}

DOMHandleCache::~DOMHandleCache() = default;

DOMHandleCache* DOMHandleCache::getInstance() {
    if (!_instance) _instance = new DOMHandleCache;
    return _instance;
}

// The entry is made before the handle: should the host refuse the handle,
// the entry stays listed and is given back like any other.
LAOBJ* DOMHandleCache::makeStructure(TrelDOMDocument const* document) {
    if (!document) return Cnil;
    return make_ptr(xml_document_struct_def, document, getInstance()->table_.addDocument(document));
}

LAOBJ* DOMHandleCache::makeStructure(TrelDOMElement const* element) {
    if (!element) return Cnil;
    return elementHandle(element, addElement(element, element->getDocument()));
}

std::uint64_t DOMHandleCache::addElement(TrelDOMElement const* element, TrelDOMDocument const* document) {
    return getInstance()->table_.addNode(element, HandleTable::Element, document);
}

LAOBJ* DOMHandleCache::elementHandle(TrelDOMElement const* element, std::uint64_t stamp) {
    return make_ptr(xml_element_struct_def, element, stamp);
}

LAOBJ* DOMHandleCache::makeStructure(TrelDOMAttribute const* attribute) {
    if (!attribute) return Cnil;
    std::uint64_t const stamp =
        getInstance()->table_.addNode(attribute, HandleTable::Attribute, attribute->getDocument());
    return make_ptr(xml_attribute_struct_def, attribute, stamp);
}

bool DOMHandleCache::remove(TrelDOMDocument const* document) { return getInstance()->table_.releaseDocument(document); }

void DOMHandleCache::clear() { getInstance()->table_.clear(); }

long DOMHandleCache::entryCount() { return _instance ? _instance->table_.entries() : 0; }

TrelDOMDocument* DOMHandleCache::lookupDocument(LAOBJ* handle) {
    return static_cast<TrelDOMDocument*>(
        resolve(getInstance()->table_, xml_document_struct_def, HandleTable::Document, handle));
}

TrelDOMElement* DOMHandleCache::lookupElement(LAOBJ* handle) {
    return static_cast<TrelDOMElement*>(
        resolve(getInstance()->table_, xml_element_struct_def, HandleTable::Element, handle));
}

TrelDOMAttribute* DOMHandleCache::lookupAttribute(LAOBJ* handle) {
    return static_cast<TrelDOMAttribute*>(
        resolve(getInstance()->table_, xml_attribute_struct_def, HandleTable::Attribute, handle));
}

// ------------------------------------------------------------ free functions

LAOBJ* makeStructure(TrelDOMDocument const* document) { return DOMHandleCache::makeStructure(document); }

LAOBJ* makeStructure(TrelDOMElement const* element) { return DOMHandleCache::makeStructure(element); }

LAOBJ* makeStructure(TrelDOMAttribute const* attribute) { return DOMHandleCache::makeStructure(attribute); }

LAOBJ* makeStructure(TrelDOMNode const* node) {
    if (auto const* element = dynamic_cast<TrelDOMElement const*>(node)) return DOMHandleCache::makeStructure(element);
    if (auto const* attribute = dynamic_cast<TrelDOMAttribute const*>(node))
        return DOMHandleCache::makeStructure(attribute);
    return Cnil;
}

TrelDOMDocument* getDocument(LAOBJ* handle) { return DOMHandleCache::lookupDocument(handle); }

TrelDOMElement* getElement(LAOBJ* handle) { return DOMHandleCache::lookupElement(handle); }

TrelDOMAttribute* getAttribute(LAOBJ* handle) { return DOMHandleCache::lookupAttribute(handle); }
