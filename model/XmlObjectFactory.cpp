#include "model/XmlObjectFactory.h"

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "msxml/MsxmlObjectFactory.h"

XmlObjectFactory* XmlObjectFactory::getInstance() { return MsxmlObjectFactory::getInstance(); }

void XmlObjectFactory::reset() { MsxmlObjectFactory::reset(); }

TrelDOMDocument* XmlObjectFactory::createDocument(wchar_t const* path) const {
    TrelDOMDocument* document = createDocument();
    if (!document) return nullptr;
    if (document->load(path)) return document;
    XmlSmartPtr<TrelDOMDocument> discard(document);  // still count 0: dies here
    return nullptr;
}

int XmlObjectFactory::noteCreated(TrelDOMDocument const*) {
    return documents_.fetch_add(1, std::memory_order_relaxed) + 1;
}
int XmlObjectFactory::noteCreated(TrelDOMNode const*) { return nodes_.fetch_add(1, std::memory_order_relaxed) + 1; }
int XmlObjectFactory::noteDeleted(TrelDOMDocument const*) {
    return documents_.fetch_sub(1, std::memory_order_relaxed) - 1;
}
int XmlObjectFactory::noteDeleted(TrelDOMNode const*) { return nodes_.fetch_sub(1, std::memory_order_relaxed) - 1; }
