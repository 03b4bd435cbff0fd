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
    if (!list_->acceptsChild(child)) return list_->skipUnknownChildren();
    std::unique_ptr<Unmarshallable> item(list_->createItem());
    if (!item || !item->unmarshal(child, version_)) return false;
    list_->append(item.release());
    return true;
}

// ---- factory --------------------------------------------------------------------

// Made once even when threads meet at the first use.
UnmarshallableObjectFactory* UnmarshallableObjectFactory::_instance = nullptr;

UnmarshallableObjectFactory* UnmarshallableObjectFactory::getInstance() {
    // A function-local static makes the first use safe from any thread.
    static bool const made = (_instance = new UnmarshallableObjectFactory(), true);
    (void)made;
    return _instance;
}

void UnmarshallableObjectFactory::registerCreator(UnmarshallableObjectCreator* creator) { registerHandler(creator); }

Unmarshallable* UnmarshallableObjectFactory::createObject(wchar_t const* tag) const {
    auto* creator = dynamic_cast<UnmarshallableObjectCreator*>(getHandler(tag));
    return creator ? creator->createObject(tag) : nullptr;
}

// ---- unmarshaller ---------------------------------------------------------------

Unmarshallable* Unmarshaller::unmarshal(TrelDOMElement const* element, int version) const {
    if (!element || !factory_) return nullptr;
    std::unique_ptr<Unmarshallable> object(factory_->createObject(element->getTag()));
    if (!object || !object->unmarshal(element, version)) return nullptr;
    return object.release();
}

Unmarshallable* Unmarshaller::unmarshal(TrelDOMDocument const* document) const {
    if (!document) return nullptr;
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    if (!root) return nullptr;
    return unmarshal(root, root->getIntAttributeValue(L"version"));
}
