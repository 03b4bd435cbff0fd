#include "model/DummyObjectFactory.h"

DummyObjectFactory* DummyObjectFactory::instance = nullptr;

DummyObjectFactory* DummyObjectFactory::getInstance() {
  if (!instance) instance = new DummyObjectFactory;
  return instance;
}

void DummyObjectFactory::reset() {
  delete instance;
  instance = nullptr;
}

TrelDOMDocument* DummyObjectFactory::createDocument() const { return nullptr; }

TrelXSLTProcessor* DummyObjectFactory::createXSLTProcessor(TrelDOMDocument const*) const {
  return nullptr;
}

TrelXSLTProcessor* DummyObjectFactory::createXSLTProcessor(wchar_t const*) const {
  return nullptr;
}

TrelXSDValidator* DummyObjectFactory::createXSDValidator(TrelDOMDocument const*) const {
  return nullptr;
}

TrelXSDValidator* DummyObjectFactory::createXSDValidator(wchar_t const*) const { return nullptr; }

TrelSAXXMLReader* DummyObjectFactory::createSAXXMLReader() const { return nullptr; }
