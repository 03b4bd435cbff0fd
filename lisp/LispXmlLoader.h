// A loader whose work is done by Lisp functions: one called with a file
// name, one called with a document handle. REGISTER-XML-LOADER makes these;
// other modules of the host may use the handler half on its own.
#pragma once

#include "platform/host/lisp_host.h"
#include "registry/XmlHandler.h"
#include "registry/XmlLoader.h"

class TrelDOMDocument;
class XmlLoaderContext;

// A handler for one root tag that calls Lisp. Both functions are kept from
// the collector for as long as the handler lives (registered loaders live
// for the rest of the process); a function that was not given is nil and is
// still called.
class LispXmlHandler : public virtual XmlHandlerImpl {
public:
    LispXmlHandler(wchar_t const* tag, LAOBJ* fileHandler, LAOBJ* documentHandler);
    ~LispXmlHandler() override;
    LispXmlHandler(LispXmlHandler const&) = delete;
    LispXmlHandler& operator=(LispXmlHandler const&) = delete;

    // The file handler's result for the file name as a Lisp string.
    LAOBJ* handleFile(wchar_t const* file);
    // The document handler's result for a new handle of the document (one
    // more handle-cache entry, which stays until DOCUMENT-DISPOSE or
    // CLEAR-XML-CACHE).
    LAOBJ* handleDocument(TrelDOMDocument const* document);

    LAOBJ* getFileHandler() const { return fileHandler_.get(); }
    LAOBJ* getDocumentHandler() const { return documentHandler_.get(); }

private:
    LispRoot fileHandler_;
    LispRoot documentHandler_;
};

// The registry's view of a LispXmlHandler: loaded means the Lisp function
// returned t itself. The context is left alone: whatever the Lisp function
// wants to report, it reports on its own.
//
// A Lisp exit out of a handler function (error, throw, return-from) leaves
// through these calls as the host's C++ exception and carries on in Lisp.
class LispXmlLoader : public LispXmlHandler, public XmlDocumentLoader {
public:
    LispXmlLoader(wchar_t const* tag, LAOBJ* fileHandler, LAOBJ* documentHandler);
    ~LispXmlLoader() override;

    bool loadFile(wchar_t const* fileName, XmlLoaderContext* context) override;
    bool loadDocument(TrelDOMDocument const* document, XmlLoaderContext* context) override;
};
