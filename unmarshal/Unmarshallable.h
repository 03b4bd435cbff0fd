// Unmarshalling: application objects built from XML elements. Other modules
// define the object classes and register one creator per root tag with the
// UnmarshallableObjectFactory; the Unmarshaller builds the object for a
// document's root element and lets it read its element.
#pragma once

#include "model/TrelDOMVisitor.h"
#include "platform/host/basic_array.h"
#include "registry/XmlHandler.h"

class TrelDOMElement;

// An object that reads its content from an element. version is the format
// version of the document (its root's "version" attribute, 0 without one),
// passed unchanged to every level.
class Unmarshallable {
public:
    virtual ~Unmarshallable() = default;
    // False when the element could not be read.
    virtual bool unmarshal(TrelDOMElement const* element, int version) = 0;
};

// Makes the objects for the tags it accepts (canHandle).
class UnmarshallableObjectCreator : public XmlHandler {
public:
    // A new object for an element with that tag, or null.
    virtual Unmarshallable* createObject(wchar_t const* tag) = 0;
};

typedef BASIC_ARRAY<Unmarshallable*, 4, long> UnmarshallablePtrArray;

// The items of a list in document order, owned: the destructor deletes them.
// Read them with size() and elt(i).
class UnmarshallableBaseList : public UnmarshallablePtrArray {
public:
    UnmarshallableBaseList() = default;
    virtual ~UnmarshallableBaseList();
    UnmarshallableBaseList(UnmarshallableBaseList const&) = delete;
    UnmarshallableBaseList& operator=(UnmarshallableBaseList const&) = delete;
};

// A list whose element's children are its items. Each accepted child gets a
// fresh item (createItem) that reads it; a child the list does not accept is
// passed over or fails the list, as skipUnknownChildren says. An item that
// fails is deleted and stops the list; items read before it stay in the list.
class UnmarshallableList : public UnmarshallableBaseList, public Unmarshallable {
public:
    bool unmarshal(TrelDOMElement const* element, int version) override;

    virtual bool acceptsChild(TrelDOMElement const* child) = 0;
    // A new, empty item, or null.
    virtual Unmarshallable* createItem() = 0;
    virtual bool skipUnknownChildren() = 0;
};

// Reads the children of a list's element into the list.
class UnmarshallingVisitor : public TrelDOMElementVisitor {
public:
    UnmarshallingVisitor(UnmarshallableList* list, int version) : list_(list), version_(version) {}
    bool visit(TrelDOMElement const* child) override;

private:
    UnmarshallableList* list_;  // not owned
    int version_;
};
