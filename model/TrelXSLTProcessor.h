// A style sheet compiled once, applied to any number of documents.
#pragma once

#include "core/XmlRCObject.h"
#include "core/XmlSmartPtr.h"

class TrelDOMDocument;

class TrelXSLTProcessor : public XmlRCObject {
protected:
    TrelXSLTProcessor() = default;
    ~TrelXSLTProcessor() override = default;

public:
    TrelXSLTProcessor(TrelXSLTProcessor const&) = delete;
    TrelXSLTProcessor& operator=(TrelXSLTProcessor const&) = delete;

    // Writes the result to outputPath (created or overwritten).
    virtual bool transform(TrelDOMDocument const* input, wchar_t const* outputPath) const = 0;
    // The result as a new count-0 document; null on failure.
    virtual TrelDOMDocument* transform(TrelDOMDocument const* input) const = 0;

    // The absolute path of the style sheet `name` shipped in "xml/stylesheet"
    // among the configuration directories, or null when none is readable. The
    // result lives in a buffer of the calling thread that its next call
    // overwrites.
    static wchar_t const* getInternalStylesheet(wchar_t const* name);
};

extern template class XmlSmartPtr<TrelXSLTProcessor>;
extern template bool operator==(XmlSmartPtr<TrelXSLTProcessor> const&, TrelXSLTProcessor const*);
