// Parsing text into a libxml2 document with the DOM's rules: secure by
// default, white-space-only text dropped outside xml:space="preserve", the
// first error kept with its position.
#pragma once

#include <string>

#include "platform/msxml6/dom_document.h"

namespace mx {

struct ParseFailure {
    long code = 0;
    std::string reason;  // UTF-8, no trailing newline
    long line = 0;
    long column = 0;
};

// From a stream (read in chunks); `url` is the base for relative references.
xmlDocPtr parseStream(IStream* stream, std::string const& url, LoadSettings const& settings, ParseFailure& failure);
// From XML text held in memory (the text's own encoding label is ignored).
xmlDocPtr parseText(std::string const& utf8, LoadSettings const& settings, ParseFailure& failure);
// DTD validity of a parsed document; false with the first message.
bool validateAgainstDtd(xmlDocPtr doc, ParseFailure& failure);

}  // namespace mx
