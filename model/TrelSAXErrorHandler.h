// Receives the fatal error of a SAX parse.
#pragma once

#include "core/XmlRCObject.h"
#include "core/XmlSmartPtr.h"

class TrelSAXErrorHandler : public XmlRCObject {
public:
    TrelSAXErrorHandler() = default;
    // Public so that handlers may live on the stack for one parse.
    ~TrelSAXErrorHandler() override = default;

    // The parser's line, column and message; the default ignores it.
    virtual void fatalError(int line, int column, wchar_t const* message);
};

extern template class XmlSmartPtr<TrelSAXErrorHandler>;
