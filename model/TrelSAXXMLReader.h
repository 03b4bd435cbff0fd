// Parses files event by event into a content handler.
#pragma once

#include "core/XmlRCObject.h"
#include "core/XmlSmartPtr.h"

class TrelSAXContentHandler;
class TrelSAXErrorHandler;

// The reader does not count its handlers, and neither do the engine's
// adapters: the caller keeps them alive until the parse returns, on its stack
// or counted. Handlers stay set across parses until changed.
class TrelSAXXMLReader : public XmlRCObject {
protected:
    TrelSAXXMLReader() = default;
    ~TrelSAXXMLReader() override = default;

public:
    TrelSAXXMLReader(TrelSAXXMLReader const&) = delete;
    TrelSAXXMLReader& operator=(TrelSAXXMLReader const&) = delete;

    // True when the whole file was parsed and no callback stopped it; false
    // for a file that cannot be opened or is malformed.
    virtual bool parseFile(wchar_t const* path) = 0;

    // One call: a reader from the object factory, the handlers that are not
    // null, and the parse. False when no reader can be made.
    static bool parseFile(wchar_t const* path, TrelSAXContentHandler* contentHandler,
                          TrelSAXErrorHandler* errorHandler);

    TrelSAXContentHandler* getContentHandler() const { return contentHandler_; }
    void setContentHandler(TrelSAXContentHandler* handler) { contentHandler_ = handler; }
    TrelSAXErrorHandler* getErrorHandler() const { return errorHandler_; }
    void setErrorHandler(TrelSAXErrorHandler* handler) { errorHandler_ = handler; }

private:
    TrelSAXContentHandler* contentHandler_ = nullptr;
    TrelSAXErrorHandler* errorHandler_ = nullptr;
};

extern template class XmlSmartPtr<TrelSAXXMLReader>;
