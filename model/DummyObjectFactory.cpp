#include "model/DummyObjectFactory.h"

std::atomic<DummyObjectFactory*> DummyObjectFactory::instance_{nullptr};

// Threads meeting at the first use keep the first instance made.
DummyObjectFactory* DummyObjectFactory::getInstance() {
    DummyObjectFactory* current = instance_.load(std::memory_order_acquire);
    if (current) return current;
    auto* made = new DummyObjectFactory;
    if (instance_.compare_exchange_strong(current, made, std::memory_order_acq_rel)) return made;
    delete made;
    return current;
}

void DummyObjectFactory::reset() { delete instance_.exchange(nullptr, std::memory_order_acq_rel); }

TrelDOMDocument* DummyObjectFactory::createDocument() const { return nullptr; }

TrelXSLTProcessor* DummyObjectFactory::createXSLTProcessor(TrelDOMDocument const*) const { return nullptr; }

TrelXSLTProcessor* DummyObjectFactory::createXSLTProcessor(wchar_t const*) const { return nullptr; }

TrelXSDValidator* DummyObjectFactory::createXSDValidator(TrelDOMDocument const*) const { return nullptr; }

TrelXSDValidator* DummyObjectFactory::createXSDValidator(wchar_t const*) const { return nullptr; }

TrelSAXXMLReader* DummyObjectFactory::createSAXXMLReader() const { return nullptr; }
