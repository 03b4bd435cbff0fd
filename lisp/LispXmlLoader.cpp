#include "lisp/LispXmlLoader.h"

#include "lisp/DOMHandleCache.h"

LispXmlHandler::LispXmlHandler(wchar_t const* tag, LAOBJ* fileHandler, LAOBJ* documentHandler)
    : XmlHandlerImpl(tag), fileHandler_(fileHandler), documentHandler_(documentHandler) {}

LispXmlHandler::~LispXmlHandler() = default;

LAOBJ* LispXmlHandler::handleFile(wchar_t const* file) { return ifuncall1(fileHandler_.get(), makeLispString(file)); }

LAOBJ* LispXmlHandler::handleDocument(TrelDOMDocument const* document) {
    return ifuncall1(documentHandler_.get(), makeStructure(document));
}

// XmlHandlerImpl is a virtual base: the most derived class constructs it,
// once, for both halves.
LispXmlLoader::LispXmlLoader(wchar_t const* tag, LAOBJ* fileHandler, LAOBJ* documentHandler)
    : XmlHandlerImpl(tag), LispXmlHandler(tag, fileHandler, documentHandler) {}

LispXmlLoader::~LispXmlLoader() = default;

bool LispXmlLoader::loadFile(wchar_t const* fileName, XmlLoaderContext*) { return handleFile(fileName) == Ct; }

bool LispXmlLoader::loadDocument(TrelDOMDocument const* document, XmlLoaderContext*) {
    return handleDocument(document) == Ct;
}
