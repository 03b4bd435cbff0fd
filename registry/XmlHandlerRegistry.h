// XmlHandlerRegistry: an ordered list of handlers searched by root tag. The
// loader registry and the unmarshallable object factory build on it.
#pragma once

#include "core/StringCache.h"
#include "platform/host/basic_array.h"

class TrelDOMDocument;
class XmlHandler;

typedef BASIC_ARRAY<XmlHandler*, 8, long> XmlHandlerPtrArray;

// Owns every handler registered in it. Lookup scans in registration order
// and the first handler that accepts the tag wins, so a later registration
// for a tag already accepted is never chosen. The string table base is kept
// empty; nothing here uses it.
class XmlHandlerRegistry : public STRING_TABLE {
public:
    // Appends handler and takes ownership; null is ignored. Duplicates are
    // allowed.
    void registerHandler(XmlHandler* handler);
    // The first handler accepting tag; null for a null tag or when none does.
    XmlHandler* getHandler(wchar_t const* tag) const;
    // getHandler with the root element's tag; null without document or root.
    XmlHandler* getHandler(TrelDOMDocument const* document) const;
    long handlerCount() const { return handlers_.size(); }

    XmlHandlerRegistry(XmlHandlerRegistry const&) = delete;
    XmlHandlerRegistry& operator=(XmlHandlerRegistry const&) = delete;

protected:
    XmlHandlerRegistry() : STRING_TABLE(0) {}
    virtual ~XmlHandlerRegistry();
    // Destroys every handler, first registered first, and empties the list.
    void clearHandlers();

private:
    XmlHandlerPtrArray handlers_;
};
