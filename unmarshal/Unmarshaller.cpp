#include "unmarshal/Unmarshaller.h"

#include <memory>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "unmarshal/Unmarshallable.h"

// ---- lists ----------------------------------------------------------------------

UnmarshallableBaseList::~UnmarshallableBaseList() {
    for (long i = 0; i < size(); ++i) {
        delete elt(i);
        elt(i) = nullptr;
    }
    reset(0);
}

bool UnmarshallableList::unmarshal(TrelDOMElement const* element, int version) {
    if (!element) return false;
    UnmarshallingVisitor visitor(this, version);
    return element->scanChildren(&visitor);
}

bool UnmarshallingVisitor::visit(TrelDOMElement const* child) {
    if (!_list->acceptsChild(child)) return _list->skipUnknownChildren();
    std::unique_ptr<Unmarshallable> item(_list->createItem());
    if (!item || !item->unmarshal(child, _version)) return false;
    _list->append(item.release());
    return true;
}

// ---- factory --------------------------------------------------------------------

// Made once even when threads meet at the first use.
UnmarshallableObjectFactory* UnmarshallableObjectFactory::getInstance() {
    static UnmarshallableObjectFactory* const instance = new UnmarshallableObjectFactory();
    return instance;
}

void UnmarshallableObjectFactory::registerCreator(UnmarshallableObjectCreator* creator) {
    registerHandler(creator);
}

Unmarshallable* UnmarshallableObjectFactory::createObject(wchar_t const* tag) const {
    auto* creator = dynamic_cast<UnmarshallableObjectCreator*>(getHandler(tag));
    return creator ? creator->createObject(tag) : nullptr;
}

// ---- unmarshaller ---------------------------------------------------------------

Unmarshallable* Unmarshaller::unmarshal(TrelDOMElement const* element, int version) const {
    if (!element || !_factory) return nullptr;
    std::unique_ptr<Unmarshallable> object(_factory->createObject(element->getTag()));
    if (!object || !object->unmarshal(element, version)) return nullptr;
    return object.release();
}

Unmarshallable* Unmarshaller::unmarshal(TrelDOMDocument const* document) const {
    if (!document) return nullptr;
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    if (!root) return nullptr;
    return unmarshal(root, root->getIntAttributeValue(L"version"));
}
