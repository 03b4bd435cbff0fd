// An array of counted element references: an element stays alive while it is
// in such an array.
#pragma once

#include "core/XmlSmartPtr.h"
#include "platform/host/basic_array.h"

class TrelDOMElement;

typedef BASIC_ARRAY<XmlSmartPtr<TrelDOMElement>, 16, long> TrelDOMElementPtrArray;
