#include "model/TrelDOMVisitors.h"

#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMElement.h"

bool ChildCollector::visit(TrelDOMElement const* element) {
  // The array holds references for its own use; the model hands elements to
  // visitors as const only to keep visitors from editing during a scan.
  out_.append(XmlSmartPtr<TrelDOMElement>(const_cast<TrelDOMElement*>(element)));
  return true;
}

bool RecursiveVisitor::visit(TrelDOMElement const* element) {
  if (!inner_->visit(element)) return false;
  return element->scanChildren(this);
}

bool ChildMoveVisitor::visit(TrelDOMElement const* element) {
  target_->addChild(element);
  return true;
}

bool AttributeCopyVisitor::visit(TrelDOMAttribute const* attribute) {
  wchar_t const* key = attribute->getKey();
  if (!key || target_->getAttributeValue(key)) return true;
  target_->setAttribute(key, attribute->getValue());
  return true;
}
