// A whole tree as one stream of events, for code that turns it into another
// form in one pass (the Lisp lists of ELEMENT-TO-LIST and READ-XML-LIST):
// no object per node, no string kept after its event. Both sources report
// the same events for the same tree, so what is built from a file agrees
// with what is built from the document read from it.
#pragma once

#include <cstddef>

class TrelDOMElement;

// A file's events, with the strings as its parser reports them. Names are
// qualified (prefix included); namespace declarations arrive as the xmlns
// attributes they are written as. Strings are counted, valid during the
// call only. A false result stops the stream. The calls return through the
// engine's parser, so nothing may leave them by an exception.
class TrelTreeSink {
public:
    struct Attribute {
        wchar_t const* name;
        std::size_t nameLength;
        wchar_t const* value;
        std::size_t valueLength;
    };

    virtual bool startElement(wchar_t const* name, std::size_t length, Attribute const* attributes,
                              std::size_t count) = 0;
    virtual bool endElement() = 0;
    // Text comes in pieces; cdata marks the content of a CDATA section.
    virtual bool text(wchar_t const* chars, std::size_t length, bool cdata) = 0;
    // A comment or processing instruction: no content of its own, but it
    // separates the text before it from the text after it.
    virtual bool separator() = 0;

protected:
    ~TrelTreeSink() = default;
};

// A tree's events, with the strings in UTF-8 as the tree holds them, in
// the same order and with the same rules. A name comes as prefix (empty:
// none, at a null address) and local part, whose strings stay in place and
// unchanged for the whole stream: the same two addresses again are the same
// name (one name may still come with other addresses).
class TrelTreeUtf8Sink {
public:
    struct Name {
        char const* prefix;
        std::size_t prefixLength;
        char const* local;
        std::size_t localLength;
    };
    struct Attribute {
        Name name;
        char const* value;
        std::size_t valueLength;
    };

    virtual bool startElement(Name const& name, Attribute const* attributes, std::size_t count) = 0;
    virtual bool endElement() = 0;
    virtual bool text(char const* utf8, std::size_t length, bool cdata) = 0;
    virtual bool separator() = 0;

protected:
    ~TrelTreeUtf8Sink() = default;
};

// The file parsed straight into the sink, no document built (no DTD, no
// external entity read). False when the file is missing, not well-formed or
// the sink stopped.
bool streamTreeFile(wchar_t const* path, TrelTreeSink& sink);
// The element and its subtree, iteratively (any depth). False for an
// element the engine does not back, or when the sink stopped.
bool streamTreeElement(TrelDOMElement const* element, TrelTreeUtf8Sink& sink);
// An element's text (as getText) and an attribute's value (as
// getAttributeValue, the name given in UTF-8) in the tree's own UTF-8,
// `bytes` of them, lent until the next read of the tree on this thread: for
// callers that turn a string into a form of their own at once, with nothing
// interned. False when there is no such text or attribute, or the engine
// does not back the element.
bool readTextUtf8(TrelDOMElement const* element, char const** text, std::size_t* bytes);
bool readAttributeUtf8(TrelDOMElement const* element, char const* name, char const** value, std::size_t* bytes);
// The qualified names of an element's attributes in UTF-8, in the order of
// scanAttributes, each lent during its call only, with no wrapper made for
// an attribute. False for an element the engine does not back.
class TrelNameSink {
public:
    virtual void name(char const* utf8, std::size_t bytes) = 0;

protected:
    ~TrelNameSink() = default;
};
bool scanAttributeNames(TrelDOMElement const* element, TrelNameSink& sink);
// Appends a text node after the element's last child (mixed content, which
// setText cannot make). False for an element the engine does not back.
bool appendTextChild(TrelDOMElement* element, wchar_t const* text);
