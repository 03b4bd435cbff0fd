// The abstract XML node: the common base of elements and attributes.
#pragma once

#include "core/XmlRCObject.h"
#include "core/XmlSmartPtr.h"

class TrelDOMDocument;
class TrelDOMElement;

// Node kinds, numbered as the W3C DOM node type values the engine reports,
// so that a kind read from the engine is passed through unchanged.
enum TrelNodeType {
    TREL_NO_NODE = 0,  // no node, or a kind that could not be read
    TREL_ELEMENT_NODE = 1,
    TREL_ATTRIBUTE_NODE = 2,
    TREL_TEXT_NODE = 3,
    TREL_CDATA_SECTION_NODE = 4,
    TREL_ENTITY_REFERENCE_NODE = 5,
    TREL_ENTITY_NODE = 6,
    TREL_PROCESSING_INSTRUCTION_NODE = 7,
    TREL_COMMENT_NODE = 8,
    TREL_DOCUMENT_NODE = 9,
    TREL_DOCUMENT_TYPE_NODE = 10,
    TREL_DOCUMENT_FRAGMENT_NODE = 11,
    TREL_NOTATION_NODE = 12
};

// Every live node is counted by the object factory (see XmlObjectFactory),
// which lets tests and callers check that nothing leaks.
class TrelDOMNode : public XmlRCObject {
protected:
    TrelDOMNode();
    // Nodes die only through removeReference().
    virtual ~TrelDOMNode();

public:
    TrelDOMNode(TrelDOMNode const&) = delete;
    TrelDOMNode& operator=(TrelDOMNode const&) = delete;

    virtual TrelNodeType getType() const = 0;
    // The owning document; it must outlive the node.
    virtual TrelDOMDocument const* getDocument() const = 0;
    // The parent element as a new count-0 object; null when the parent is no
    // element (the root element, attributes).
    virtual TrelDOMElement* getParent() const = 0;
};

extern template class XmlSmartPtr<TrelDOMNode>;
extern template bool operator==(XmlSmartPtr<TrelDOMNode> const&, TrelDOMNode const*);
