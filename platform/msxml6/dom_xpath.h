// XPath 1.0 selection from a context node (no namespace prefixes bound).
#pragma once

#include <string>

#include "platform/msxml6/dom_core.h"

namespace mx {

// First match in document order; S_FALSE and null when nothing matches,
// E_FAIL for a bad expression or one that gives no node-set.
HRESULT selectFirst(NodeBase& context, std::string const& expression, IXMLDOMNode** node);

}  // namespace mx
