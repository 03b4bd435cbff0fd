// Receives the events of a SAX parse. Every callback returns true to go on
// and false to stop the parse; the defaults do nothing and go on, so a
// handler overrides only what it needs.
#pragma once

#include "core/XmlRCObject.h"

class TrelSAXAttributes;

class TrelSAXContentHandler : public XmlRCObject {
public:
    // With ignoreWhitespace, each text run arrives trimmed of leading and
    // trailing white space, and runs that are empty after trimming not at all.
    explicit TrelSAXContentHandler(bool ignoreWhitespace) : ignoreWhitespace_(ignoreWhitespace) {}
    // Public so that handlers may live on the stack for one parse.
    ~TrelSAXContentHandler() override = default;

    virtual bool startDocument();
    virtual bool endDocument();
    // Tags are local names, without prefix.
    virtual bool startElement(wchar_t const* tag, TrelSAXAttributes const* attributes);
    virtual bool endElement(wchar_t const* tag);
    virtual bool characters(wchar_t const* text);

    void setIgnoreWhitespace(bool on) { ignoreWhitespace_ = on; }
    bool getIgnoreWhitespace() const { return ignoreWhitespace_; }

private:
    bool ignoreWhitespace_;
};
