#include "msxml/MsxmlObjectFactory.h"

#include "msxml/MsxmlCom.h"
#include "msxml/MsxmlDOMDocument.h"
#include "msxml/MsxmlFactory.h"
#include "msxml/MsxmlSAX.h"
#include "msxml/MsxmlXSDValidator.h"
#include "msxml/MsxmlXSLTProcessor.h"

std::atomic<MsxmlObjectFactory*> MsxmlObjectFactory::instance_{nullptr};

namespace {

// A fresh engine document holding the file, or empty when it does not load.
ComPtr<IXMLDOMDocument3> loadEngineDocument(wchar_t const* path) {
    ComPtr<IXMLDOMDocument3> document(MsxmlFactory::getInstance()->createDocument());
    if (!document || !loadDocument(document.get(), path)) return ComPtr<IXMLDOMDocument3>();
    return document;
}

}  // namespace

// Asked for by every node's constructor and destructor: one load when the
// instance exists. Threads meeting at the first use keep the first one made.
MsxmlObjectFactory* MsxmlObjectFactory::getInstance() {
    MsxmlObjectFactory* current = instance_.load(std::memory_order_acquire);
    if (current) return current;
    auto* made = new MsxmlObjectFactory();
    if (instance_.compare_exchange_strong(current, made, std::memory_order_acq_rel)) return made;
    delete made;
    return current;
}

void MsxmlObjectFactory::reset() { delete instance_.exchange(nullptr, std::memory_order_acq_rel); }

TrelDOMDocument* MsxmlObjectFactory::createDocument() const {
    ComPtr<IXMLDOMDocument3> document(MsxmlFactory::getInstance()->createDocument());
    return document ? new MsxmlDOMDocument(document.get()) : nullptr;
}

TrelXSLTProcessor* MsxmlObjectFactory::createXSLTProcessor(TrelDOMDocument const* stylesheet) const {
    return MsxmlXSLTProcessor::createInstance(MsxmlDOMDocument::engineOf(stylesheet));
}

TrelXSLTProcessor* MsxmlObjectFactory::createXSLTProcessor(wchar_t const* stylesheetPath) const {
    ComPtr<IXMLDOMDocument3> stylesheet = loadEngineDocument(stylesheetPath);
    return MsxmlXSLTProcessor::createInstance(stylesheet.get(), stylesheetPath);
}

TrelXSDValidator* MsxmlObjectFactory::createXSDValidator(TrelDOMDocument const* schema) const {
    return MsxmlXSDValidator::createInstance(MsxmlDOMDocument::engineOf(schema));
}

TrelXSDValidator* MsxmlObjectFactory::createXSDValidator(wchar_t const* schemaPath) const {
    ComPtr<IXMLDOMDocument3> schema = loadEngineDocument(schemaPath);
    return MsxmlXSDValidator::createInstance(schema.get());
}

TrelSAXXMLReader* MsxmlObjectFactory::createSAXXMLReader() const {
    ComPtr<ISAXXMLReader> reader(MsxmlFactory::getInstance()->createSAXXMLReader());
    return reader ? new MsxmlSAXXMLReader(reader.get()) : nullptr;
}
