// Defaults of the SAX handlers and the one-call parse.
#include "core/XmlSmartPtr.h"
#include "model/TrelSAXContentHandler.h"
#include "model/TrelSAXErrorHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "model/XmlObjectFactory.h"

bool TrelSAXContentHandler::startDocument() { return true; }
bool TrelSAXContentHandler::endDocument() { return true; }
bool TrelSAXContentHandler::startElement(wchar_t const*, TrelSAXAttributes const*) { return true; }
bool TrelSAXContentHandler::endElement(wchar_t const*) { return true; }
bool TrelSAXContentHandler::characters(wchar_t const*) { return true; }

void TrelSAXErrorHandler::fatalError(int, int, wchar_t const*) {}

bool TrelSAXXMLReader::parseFile(wchar_t const* path, TrelSAXContentHandler* contentHandler,
                                 TrelSAXErrorHandler* errorHandler) {
    XmlSmartPtr<TrelSAXXMLReader> reader(XmlObjectFactory::getInstance()->createSAXXMLReader());
    if (!reader) return false;
    if (contentHandler) reader->setContentHandler(contentHandler);
    if (errorHandler) reader->setErrorHandler(errorHandler);
    return reader->parseFile(path);
}
