// A factory that creates nothing: every creating operation gives null. Useful
// where a factory is required but no XML engine may be touched.
#pragma once

#include <atomic>

#include "model/XmlObjectFactory.h"

class DummyObjectFactory : public XmlObjectFactory {
public:
    static DummyObjectFactory* getInstance();
    static void reset();

    TrelDOMDocument* createDocument() const override;
    using XmlObjectFactory::createDocument;
    TrelXSLTProcessor* createXSLTProcessor(TrelDOMDocument const* stylesheet) const override;
    TrelXSLTProcessor* createXSLTProcessor(wchar_t const* stylesheetPath) const override;
    TrelXSDValidator* createXSDValidator(TrelDOMDocument const* schema) const override;
    TrelXSDValidator* createXSDValidator(wchar_t const* schemaPath) const override;
    TrelSAXXMLReader* createSAXXMLReader() const override;

private:
    DummyObjectFactory() = default;
    ~DummyObjectFactory() override = default;

    static std::atomic<DummyObjectFactory*> instance_;
};
