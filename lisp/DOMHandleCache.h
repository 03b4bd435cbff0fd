// Lisp handles of documents, elements and attributes, and the cache of
// counted references that keeps their objects alive.
//
// A handle is a one-slot structure of the host (make_ptr) whose slot holds
// the interface pointer; it owns nothing. Every hand-out adds one entry, and
// with it one reference, to the cache; DOCUMENT-DISPOSE gives one document
// entry back and CLEAR-XML-CACHE gives back all of them.
//
// Stale handles. Once the entries behind a handle are gone, its object may
// be freed and its address reused. The cache therefore keeps an index of its
// entries by pointer, each with a serial number that the handle also carries
// (its stamp): a handle resolves only while an entry made with its serial
// exists, and an element or attribute handle only while the entry of its
// document that existed when the node's own entry was made still does. So
// nodes are usable while the cache holds their document, which is how Lisp
// reaches them in the first place. A stale handle resolves to null, like
// nil, without its pointer ever being followed.
#pragma once

#include "core/XmlRCObjectCache.h"
#include "platform/host/lisp_host.h"

class TrelDOMAttribute;
class TrelDOMDocument;
class TrelDOMElement;
class TrelDOMNode;

class DOMHandleCache {
public:
    static DOMHandleCache* getInstance();

    // A new handle of the object's kind, backed by one new entry; nil for
    // null.
    static LAOBJ* makeStructure(TrelDOMDocument const* document);
    static LAOBJ* makeStructure(TrelDOMElement const* element);
    static LAOBJ* makeStructure(TrelDOMAttribute const* attribute);

    // Gives back the first entry of the object (which may die); false when
    // it has none.
    static bool remove(XmlRCObject const* object);
    // Gives back every entry.
    static void clear();

    // The live object behind a handle of that kind; null for nil, another
    // kind, a non-handle and a stale handle.
    static TrelDOMDocument* lookupDocument(LAOBJ* handle);
    static TrelDOMElement* lookupElement(LAOBJ* handle);
    static TrelDOMAttribute* lookupAttribute(LAOBJ* handle);

    // Number of entries (for tests and leak checks).
    static long entryCount();

    DOMHandleCache(DOMHandleCache const&) = delete;
    DOMHandleCache& operator=(DOMHandleCache const&) = delete;

private:
    DOMHandleCache() = default;
    // Never called by the module: the instance lives until the process ends.
    virtual ~DOMHandleCache();

    LAOBJ* handOut(LAOBJ* type, void const* key, XmlRCObject const* object,
                   TrelDOMDocument const* document);
    bool lists(XmlRCObject const* object) const;

    XmlRCObjectCache _cache;

    static DOMHandleCache* _instance;
};

// The same as the cache's, for every Lisp function.
LAOBJ* makeStructure(TrelDOMDocument const* document);
LAOBJ* makeStructure(TrelDOMElement const* element);
LAOBJ* makeStructure(TrelDOMAttribute const* attribute);
// By the node's dynamic type: an element or an attribute handle; nil for any
// other node and for null.
LAOBJ* makeStructure(TrelDOMNode const* node);

// nil gives null without asking the host; so do other kinds and stale
// handles.
TrelDOMDocument* getDocument(LAOBJ* handle);
TrelDOMElement* getElement(LAOBJ* handle);
TrelDOMAttribute* getAttribute(LAOBJ* handle);
