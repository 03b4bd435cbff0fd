// Where new documents, XSLT processors, XSD validators and SAX readers come
// from, without naming an implementation. Also counts live documents and
// nodes, which lets callers and tests see leaks.
#pragma once

#include <atomic>

class TrelDOMDocument;
class TrelDOMNode;
class TrelSAXXMLReader;
class TrelXSDValidator;
class TrelXSLTProcessor;

// Every creating operation returns a new count-0 object that the caller wraps
// in a smart pointer, or null. The factory itself is not counted: it lives
// until the process ends (or reset()).
class XmlObjectFactory {
public:
    // The engine-backed factory.
    static XmlObjectFactory* getInstance();
    // Drops the engine-backed singleton; the next getInstance() makes a fresh
    // one with its counters at 0.
    static void reset();

    // createDocument() then load(path); a file that does not load gives null
    // and leaves no document behind.
    virtual TrelDOMDocument* createDocument(wchar_t const* path) const;
    virtual TrelDOMDocument* createDocument() const = 0;
    virtual TrelXSLTProcessor* createXSLTProcessor(TrelDOMDocument const* stylesheet) const = 0;
    virtual TrelXSLTProcessor* createXSLTProcessor(wchar_t const* stylesheetPath) const = 0;
    virtual TrelXSDValidator* createXSDValidator(TrelDOMDocument const* schema) const = 0;
    virtual TrelXSDValidator* createXSDValidator(wchar_t const* schemaPath) const = 0;
    virtual TrelSAXXMLReader* createSAXXMLReader() const = 0;

protected:
    XmlObjectFactory() = default;
    virtual ~XmlObjectFactory() = default;

public:
    XmlObjectFactory(XmlObjectFactory const&) = delete;
    XmlObjectFactory& operator=(XmlObjectFactory const&) = delete;

    // Called by the document and node base classes; each returns the counter's
    // new value.
    int noteCreated(TrelDOMDocument const* document);
    int noteCreated(TrelDOMNode const* node);
    int noteDeleted(TrelDOMDocument const* document);
    int noteDeleted(TrelDOMNode const* node);

    // Live documents and nodes (elements and attributes included).
    int getDocumentCount() const { return documents_.load(std::memory_order_relaxed); }
    int getNodeCount() const { return nodes_.load(std::memory_order_relaxed); }

private:
    // Threads with documents of their own create and delete objects at the
    // same time; the counts order nothing else, so relaxed is enough.
    std::atomic<int> documents_{0};
    std::atomic<int> nodes_{0};
};
