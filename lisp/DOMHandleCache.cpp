#include "lisp/DOMHandleCache.h"

#include "lisp/HandleIndex.h"
#include "lisp/xml_lisp.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"

namespace {

// Beside the cache rather than in it: the cache's layout is shared with the
// host's other modules. Never destroyed, like the cache.
HandleIndex& handleIndex() {
    static HandleIndex* const index = new HandleIndex;
    return *index;
}

// The key a listed object is indexed by: the interface pointer its handles
// hold. The object is alive (the cache holds it), so asking its type is safe.
void const* indexKey(XmlRCObject const* object) {
    if (auto const* document = dynamic_cast<TrelDOMDocument const*>(object)) return document;
    if (auto const* element = dynamic_cast<TrelDOMElement const*>(object)) return element;
    if (auto const* attribute = dynamic_cast<TrelDOMAttribute const*>(object)) return attribute;
    return object;
}

// The pointer a handle of that type holds; null for anything else. The
// pointer is not followed.
void* pointerOf(LAOBJ* type, LAOBJ* handle) {
    return handle == Cnil ? nullptr : object_to_NonEntity_ptr(type, handle, nullptr);
}

}  // namespace

DOMHandleCache* DOMHandleCache::_instance = nullptr;

DOMHandleCache::~DOMHandleCache() {
    handleIndex().clear();
    _cache.clearAll();
}

DOMHandleCache* DOMHandleCache::getInstance() {
    if (!_instance) _instance = new DOMHandleCache;
    return _instance;
}

// A node records the serial of its document's entries: it is usable while
// they exist, as the cache has then held its document all along. Should the
// host refuse to make the handle, the entry is taken back.
LAOBJ* DOMHandleCache::handOut(LAOBJ* type, void const* key, XmlRCObject const* object,
                               TrelDOMDocument const* document) {
    HandleIndex& index = handleIndex();
    // Nodes come in runs of one document (a child list): its serial is
    // looked up once per run, and checked against the log after that.
    static TrelDOMDocument const* lastDocument = nullptr;  // compared, never followed
    static std::uint64_t lastDocumentSerial = 0;
    if (document != lastDocument || !index.live(lastDocumentSerial, document)) {
        lastDocument = document;
        lastDocumentSerial = document ? index.serialOf(document) : 0;
    }
    std::uint64_t const documentSerial = lastDocumentSerial;
    std::uint64_t const serial = index.add(key, documentSerial);
    LAOBJ* handle = Cnil;
    try {
        handle = make_ptr(type, key, serial);
    } catch (...) {
        index.release(key);
        throw;
    }
    _cache.add(object);
    return handle;
}

LAOBJ* DOMHandleCache::makeStructure(TrelDOMDocument const* document) {
    if (!document) return Cnil;
    return getInstance()->handOut(xml_document_struct_def, document, document, nullptr);
}

LAOBJ* DOMHandleCache::makeStructure(TrelDOMElement const* element) {
    if (!element) return Cnil;
    return getInstance()->handOut(xml_element_struct_def, element,
                                  static_cast<TrelDOMNode const*>(element),
                                  element->getDocument());
}

LAOBJ* DOMHandleCache::makeStructure(TrelDOMAttribute const* attribute) {
    if (!attribute) return Cnil;
    return getInstance()->handOut(xml_attribute_struct_def, attribute,
                                  static_cast<TrelDOMNode const*>(attribute),
                                  attribute->getDocument());
}

bool DOMHandleCache::lists(XmlRCObject const* object) const {
    for (long i = 0; i < _cache.size(); ++i)
        if (_cache.elt(i) == object) return true;
    return false;
}

// Only a listed object is asked for its type: any other may be gone.
bool DOMHandleCache::remove(XmlRCObject const* object) {
    DOMHandleCache* cache = getInstance();
    if (!object || !cache->lists(object)) return false;
    handleIndex().release(indexKey(object));
    return cache->_cache.remove(object);
}

void DOMHandleCache::clear() {
    handleIndex().clear();
    getInstance()->_cache.clearAll();
}

long DOMHandleCache::entryCount() {
    return _instance ? _instance->_cache.size() : 0;
}

TrelDOMDocument* DOMHandleCache::lookupDocument(LAOBJ* handle) {
    void* pointer = pointerOf(xml_document_struct_def, handle);
    if (!pointer || !handleIndex().live(ptr_stamp(handle), pointer)) return nullptr;
    return static_cast<TrelDOMDocument*>(pointer);
}

TrelDOMElement* DOMHandleCache::lookupElement(LAOBJ* handle) {
    void* pointer = pointerOf(xml_element_struct_def, handle);
    if (!pointer || !handleIndex().liveWithDocument(ptr_stamp(handle), pointer)) return nullptr;
    return static_cast<TrelDOMElement*>(pointer);
}

TrelDOMAttribute* DOMHandleCache::lookupAttribute(LAOBJ* handle) {
    void* pointer = pointerOf(xml_attribute_struct_def, handle);
    if (!pointer || !handleIndex().liveWithDocument(ptr_stamp(handle), pointer)) return nullptr;
    return static_cast<TrelDOMAttribute*>(pointer);
}

// ------------------------------------------------------------ free functions

LAOBJ* makeStructure(TrelDOMDocument const* document) {
    return DOMHandleCache::makeStructure(document);
}

LAOBJ* makeStructure(TrelDOMElement const* element) {
    return DOMHandleCache::makeStructure(element);
}

LAOBJ* makeStructure(TrelDOMAttribute const* attribute) {
    return DOMHandleCache::makeStructure(attribute);
}

LAOBJ* makeStructure(TrelDOMNode const* node) {
    if (auto const* element = dynamic_cast<TrelDOMElement const*>(node))
        return DOMHandleCache::makeStructure(element);
    if (auto const* attribute = dynamic_cast<TrelDOMAttribute const*>(node))
        return DOMHandleCache::makeStructure(attribute);
    return Cnil;
}

TrelDOMDocument* getDocument(LAOBJ* handle) {
    return DOMHandleCache::lookupDocument(handle);
}

TrelDOMElement* getElement(LAOBJ* handle) {
    return DOMHandleCache::lookupElement(handle);
}

TrelDOMAttribute* getAttribute(LAOBJ* handle) {
    return DOMHandleCache::lookupAttribute(handle);
}
