// Lisp handles of documents, elements and attributes, and the cache of
// counted references that keeps their objects alive.
//
// A handle is a structure of the host (make_ptr) holding the interface
// pointer and a stamp; it owns nothing. Every hand-out adds one entry, and
// with it one reference, to the cache's HandleTable; DOCUMENT-DISPOSE gives
// one document entry back (with the last one, the entries of the document's
// elements and attributes) and CLEAR-XML-CACHE gives back all of them.
//
// Stale handles. A handle resolves only while the entry its stamp names is
// listed; stamps are never reused, so a handle left from a freed object
// resolves to null, like nil, without its pointer ever being followed, even
// when a new object has taken the address.
#pragma once

#include "lisp/HandleTable.h"
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

    // makeStructure(element) in two steps, for a run of elements of one
    // document (the children of an element share its document): the entry,
    // whose stamp makes the handle, and the handle. The entry alone holds
    // the element; a handle never made leaves it listed like any other.
    static std::uint64_t addElement(TrelDOMElement const* element, TrelDOMDocument const* document);
    static LAOBJ* elementHandle(TrelDOMElement const* element, std::uint64_t stamp);

    // Gives back one entry of the document (which may die, and with its
    // last entry its nodes' entries go); false when it has none.
    static bool remove(TrelDOMDocument const* document);
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
    DOMHandleCache();
    // Never called by the module: the instance lives until the process ends.
    virtual ~DOMHandleCache();

    HandleTable table_;

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
