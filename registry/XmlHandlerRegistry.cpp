#include "registry/XmlHandlerRegistry.h"

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "platform/host/ux_string.h"
#include "registry/XmlHandler.h"

XmlHandlerImpl::XmlHandlerImpl(wchar_t const* tag) : _tag(ux_strdup(tag)) {}

XmlHandlerImpl::~XmlHandlerImpl() { ux_strfree(_tag); }

bool XmlHandlerImpl::canHandle(wchar_t const* tag) const { return ux_strequal(tag, _tag); }

XmlHandlerRegistry::~XmlHandlerRegistry() { clearHandlers(); }

void XmlHandlerRegistry::registerHandler(XmlHandler* handler) {
    if (handler) _handlers.append(handler);
}

XmlHandler* XmlHandlerRegistry::getHandler(wchar_t const* tag) const {
    if (!tag) return nullptr;
    for (long i = 0; i < _handlers.size(); ++i)
        if (XmlHandler* handler = _handlers.elt(i); handler && handler->canHandle(tag)) return handler;
    return nullptr;
}

XmlHandler* XmlHandlerRegistry::getHandler(TrelDOMDocument const* document) const {
    if (!document) return nullptr;
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    return root ? getHandler(root->getTag()) : nullptr;
}

void XmlHandlerRegistry::clearHandlers() {
    for (long i = 0; i < _handlers.size(); ++i) {
        delete _handlers.elt(i);
        _handlers.elt(i) = nullptr;
    }
    _handlers.reset(0);
}
