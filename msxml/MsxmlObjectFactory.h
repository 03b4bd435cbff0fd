// The object factory that XmlObjectFactory::getInstance() always answers
// with: every creation is a fresh engine object wrapped in its model class.
#pragma once

#include <atomic>

#include "model/XmlObjectFactory.h"

class MsxmlObjectFactory : public XmlObjectFactory {
public:
    // Made on first use (by one thread, when several ask at once); lives
    // until reset() or the end of the process.
    static MsxmlObjectFactory* getInstance();
    // Deletes the instance; the next getInstance() starts with counters at 0.
    // Only while no thread uses the factory or anything it made.
    static void reset();

    TrelDOMDocument* createDocument() const override;
    using XmlObjectFactory::createDocument;
    TrelXSLTProcessor* createXSLTProcessor(TrelDOMDocument const* stylesheet) const override;
    TrelXSLTProcessor* createXSLTProcessor(wchar_t const* stylesheetPath) const override;
    TrelXSDValidator* createXSDValidator(TrelDOMDocument const* schema) const override;
    TrelXSDValidator* createXSDValidator(wchar_t const* schemaPath) const override;
    TrelSAXXMLReader* createSAXXMLReader() const override;

private:
    MsxmlObjectFactory() = default;
    ~MsxmlObjectFactory() override = default;

    static std::atomic<MsxmlObjectFactory*> instance_;
};
