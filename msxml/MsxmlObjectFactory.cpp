#include "msxml/MsxmlObjectFactory.h"

#include "msxml/MsxmlCom.h"
#include "msxml/MsxmlDOMDocument.h"
#include "msxml/MsxmlFactory.h"
#include "msxml/MsxmlSAX.h"
#include "msxml/MsxmlXSDValidator.h"
#include "msxml/MsxmlXSLTProcessor.h"

MsxmlObjectFactory* MsxmlObjectFactory::instance_ = nullptr;

namespace {

IXMLDOMDocument3* engineDocumentOf(TrelDOMDocument const* document) {
    auto const* msxml = dynamic_cast<MsxmlDOMDocument const*>(document);
    return msxml ? msxml->getWrapped() : nullptr;
}

// A fresh engine document holding the file, or empty when it does not load.
ComPtr<IXMLDOMDocument3> loadEngineDocument(wchar_t const* path) {
    ComPtr<IXMLDOMDocument3> document(MsxmlFactory::getInstance()->createDocument());
    if (!document || !loadDocument(document.get(), path)) return ComPtr<IXMLDOMDocument3>();
    return document;
}

}  // namespace

MsxmlObjectFactory* MsxmlObjectFactory::getInstance() {
    if (!instance_) instance_ = new MsxmlObjectFactory();
    return instance_;
}

void MsxmlObjectFactory::reset() {
    delete instance_;
    instance_ = nullptr;
}

TrelDOMDocument* MsxmlObjectFactory::createDocument() const {
    ComPtr<IXMLDOMDocument3> document(MsxmlFactory::getInstance()->createDocument());
    return document ? new MsxmlDOMDocument(document.get()) : nullptr;
}

TrelXSLTProcessor* MsxmlObjectFactory::createXSLTProcessor(TrelDOMDocument const* stylesheet) const {
    return MsxmlXSLTProcessor::createInstance(engineDocumentOf(stylesheet));
}

TrelXSLTProcessor* MsxmlObjectFactory::createXSLTProcessor(wchar_t const* stylesheetPath) const {
    ComPtr<IXMLDOMDocument3> stylesheet = loadEngineDocument(stylesheetPath);
    return MsxmlXSLTProcessor::createInstance(stylesheet.get(), stylesheetPath);
}

TrelXSDValidator* MsxmlObjectFactory::createXSDValidator(TrelDOMDocument const* schema) const {
    return MsxmlXSDValidator::createInstance(engineDocumentOf(schema));
}

TrelXSDValidator* MsxmlObjectFactory::createXSDValidator(wchar_t const* schemaPath) const {
    ComPtr<IXMLDOMDocument3> schema = loadEngineDocument(schemaPath);
    return MsxmlXSDValidator::createInstance(schema.get());
}

TrelSAXXMLReader* MsxmlObjectFactory::createSAXXMLReader() const {
    ComPtr<ISAXXMLReader> reader(MsxmlFactory::getInstance()->createSAXXMLReader());
    return reader ? new MsxmlSAXXMLReader(reader.get()) : nullptr;
}
