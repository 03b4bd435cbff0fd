// Serialisation of DOM nodes and documents.
#pragma once

#include <string>

#include "platform/msxml6/dom_core.h"

namespace mx {

// The XML text of one node (and subtree) as UTF-8, for get_xml. A non-root
// element carries the namespace declarations it inherits.
bool serializeNode(NodeBase& self, std::string& out);
// The whole document, no added white space, in the encoding its declaration
// names (UTF-8 without a declaration), written to `stream`.
HRESULT saveDocument(DocContent* content, IStream* stream);

}  // namespace mx
