// XmlLoaderRegistry: the singleton that picks the loader for a file (by its
// root tag, read without parsing the whole file) or for a document (by its
// root element) and hands the load over.
#pragma once

#include "registry/XmlHandlerRegistry.h"

class TrelDOMDocument;
class XmlLoader;
class XmlLoaderContext;

class XmlLoaderRegistry : public XmlHandlerRegistry {
public:
    // Made on first use; never destroyed.
    static XmlLoaderRegistry* getInstance();

    // Takes ownership; null is ignored. The first registration for a tag wins.
    void registerLoader(XmlLoader* loader);
    // The first handler accepting tag, when it is a loader; else null.
    XmlLoader* getLoader(wchar_t const* tag) const;

    // False without file name (no message), when the file has no readable
    // root tag (invalid-file message), when no loader accepts the root tag
    // (no-loader message); otherwise the loader's result. The messages go to
    // context (a null context drops them).
    bool loadFile(wchar_t const* fileName, XmlLoaderContext* context) const;
    // False without document (no message) or when no loader accepts the root
    // tag ("<no root>" for a document without root); otherwise the loader's
    // result.
    bool loadDocument(TrelDOMDocument const* document, XmlLoaderContext* context) const;

private:
    static XmlLoaderRegistry* _instance;

    XmlLoaderRegistry() = default;
    ~XmlLoaderRegistry() override = default;
};
