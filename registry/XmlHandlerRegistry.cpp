#include "registry/XmlHandlerRegistry.h"

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "platform/host/ux_string.h"
#include "registry/XmlHandler.h"

XmlHandlerImpl::XmlHandlerImpl(wchar_t const* tag) : tag_(ux_strdup(tag)) {}

XmlHandlerImpl::~XmlHandlerImpl() { ux_strfree(tag_); }

bool XmlHandlerImpl::canHandle(wchar_t const* tag) const { return ux_strequal(tag, tag_); }

XmlHandlerRegistry::~XmlHandlerRegistry() { clearHandlers(); }

void XmlHandlerRegistry::registerHandler(XmlHandler* handler) {
    if (handler) handlers_.append(handler);
}

XmlHandler* XmlHandlerRegistry::getHandler(wchar_t const* tag) const {
    if (!tag) return nullptr;
    for (long i = 0; i < handlers_.size(); ++i)
        if (XmlHandler* handler = handlers_.elt(i); handler && handler->canHandle(tag)) return handler;
    return nullptr;
}

XmlHandler* XmlHandlerRegistry::getHandler(TrelDOMDocument const* document) const {
    if (!document) return nullptr;
    XmlSmartPtr<TrelDOMElement> root(document->getRoot());
    return root ? getHandler(root->getTag()) : nullptr;
}

void XmlHandlerRegistry::clearHandlers() {
    for (long i = 0; i < handlers_.size(); ++i) {
        delete handlers_.elt(i);
        handlers_.elt(i) = nullptr;
    }
    handlers_.reset(0);
}
