// Node lists and attribute maps.
#pragma once

#include <vector>

#include "platform/msxml6/dom_core.h"

namespace mx {

// The live list of `parent`'s children (a document's declaration first).
IXMLDOMNodeList* newChildList(NodeBase& parent);
// The live attribute map of an element: namespace declarations, then attributes.
IXMLDOMNamedNodeMap* newAttributeMap(NodeBase& element);

}  // namespace mx
