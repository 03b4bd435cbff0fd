// The smart pointers of the model types, instantiated once and exported.
#include "core/XmlSmartPtr.h"
#include "model/TrelDOMAttribute.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/TrelSAXAttributes.h"
#include "model/TrelSAXErrorHandler.h"
#include "model/TrelSAXXMLReader.h"
#include "model/TrelXSLTProcessor.h"

template class XmlSmartPtr<TrelDOMDocument>;
template class XmlSmartPtr<TrelDOMElement>;
template class XmlSmartPtr<TrelDOMNode>;
template class XmlSmartPtr<TrelSAXAttributes>;
template class XmlSmartPtr<TrelSAXErrorHandler>;
template class XmlSmartPtr<TrelSAXXMLReader>;
template class XmlSmartPtr<TrelXSLTProcessor>;

template bool operator==(XmlSmartPtr<TrelDOMDocument> const&, TrelDOMDocument const*);
template bool operator==(XmlSmartPtr<TrelDOMElement> const&, TrelDOMElement const*);
template bool operator==(XmlSmartPtr<TrelDOMNode> const&, TrelDOMNode const*);
template bool operator==(XmlSmartPtr<TrelXSLTProcessor> const&, TrelXSLTProcessor const*);

template class BASIC_ARRAY<XmlSmartPtr<TrelDOMElement>, 16, long>;
