// Whether a tree can be written so that it reads back as the same tree. Both
// writers (the flat save and the tree walk behind the XML writer) ask first
// and fail rather than write something a parser refuses or reads otherwise.
#pragma once

#include <libxml/tree.h>

#include <string_view>

namespace mx {

// Comment text and PI data that their markup can hold as they are.
bool isCommentText(std::string_view utf8);
bool isPIData(std::string_view utf8);

// Every name bound to a namespace where it has a prefix, no two attributes of
// one element with the same expanded name, only characters XML holds, and
// comments and PIs that fit their markup. A document needs a root element.
bool treeWritable(xmlNodePtr top);

// The flat save writes in the encoding the declaration names. False for an
// encoding whose output would not read back (not ASCII-compatible, and not
// UTF-16), and for a tree with a name, CDATA section, comment or PI holding
// a character the encoding lacks: those have no character references.
bool writableIn(xmlNodePtr top, char const* encoding);

// All a save needs to know before its first byte, in one pass: the tree is
// writable, writable in `encoding` (null: UTF-8), and nested no deeper than
// the parsers read (kMaxTreeDepth).
bool treeSavable(xmlNodePtr top, char const* encoding);

}  // namespace mx
