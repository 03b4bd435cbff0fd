// Loaders: handlers that load an XML file, or an already parsed document,
// whose root element has their tag.
#pragma once

#include "registry/XmlHandler.h"

class TrelDOMDocument;
class XmlLoaderContext;

class XmlLoader : public virtual XmlHandler {
public:
    virtual bool loadFile(wchar_t const* fileName, XmlLoaderContext* context) = 0;
    virtual bool loadDocument(TrelDOMDocument const* document, XmlLoaderContext* context) = 0;
};

// Loads a file by parsing it into a document (logging "Loading <file>" at
// level 1) and handing that to loadDocument, which derived classes provide.
class XmlDocumentLoader : public XmlLoader {
public:
    bool loadFile(wchar_t const* fileName, XmlLoaderContext* context) override;
};

// A document loader for one root tag; concrete loaders implement loadDocument.
class XmlLoaderImpl : public XmlHandlerImpl, public XmlDocumentLoader {
public:
    explicit XmlLoaderImpl(wchar_t const* tag) : XmlHandlerImpl(tag) {}
    ~XmlLoaderImpl() override = default;
};
