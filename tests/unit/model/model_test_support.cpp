#include "model_test_support.h"

namespace modeltest {

XmlSmartPtr<TrelDOMDocument> parse(wchar_t const* text) {
  XmlSmartPtr<TrelDOMDocument> document(XmlObjectFactory::getInstance()->createDocument());
  EXPECT_TRUE(document && document->loadXML(text)) << "does not parse";
  return document;
}

std::wstring textAt(TrelDOMDocument const* document, wchar_t const* path) {
  wchar_t const* text = document->getText(path);
  return text ? text : L"(null)";
}

}  // namespace modeltest
