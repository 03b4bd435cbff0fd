// The creators' registry and the Unmarshaller that uses it.
#pragma once

#include "registry/XmlHandlerRegistry.h"

class TrelDOMDocument;
class TrelDOMElement;
class Unmarshallable;
class UnmarshallableObjectCreator;

// The singleton registry of creators, searched in registration order: the
// first creator that accepts a tag makes its objects.
class UnmarshallableObjectFactory : public XmlHandlerRegistry {
public:
    // Made on first use; never destroyed.
    static UnmarshallableObjectFactory* getInstance();

    // Takes ownership; null is ignored.
    void registerCreator(UnmarshallableObjectCreator* creator);
    // The first accepting creator's new object; null when no creator accepts
    // the tag or it makes nothing.
    virtual Unmarshallable* createObject(wchar_t const* tag) const;

private:
    static UnmarshallableObjectFactory* _instance;

    UnmarshallableObjectFactory() = default;
    ~UnmarshallableObjectFactory() override = default;
};

// Builds objects from elements through a factory (not owned). Every object
// returned belongs to the caller; an object that fails to read its element is
// deleted and gives null.
class Unmarshaller {
public:
    explicit Unmarshaller(UnmarshallableObjectFactory* factory) : factory_(factory) {}
    virtual ~Unmarshaller() = default;
    Unmarshaller(Unmarshaller const&) = delete;
    Unmarshaller& operator=(Unmarshaller const&) = delete;

    Unmarshallable* unmarshal(TrelDOMElement const* element, int version) const;
    // The root element with the root's "version" attribute (0 without one).
    Unmarshallable* unmarshal(TrelDOMDocument const* document) const;

private:
    UnmarshallableObjectFactory* factory_;
};
