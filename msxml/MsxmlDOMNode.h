// The wrapper shared by every node the engine-backed model hands out, and the
// small helpers over the engine's node interfaces that the whole backend uses.
//
// A wrapper copies nothing: every query asks the engine at the moment it is
// made, so two wrappers of one node always agree. Reads go through the
// engine's reader interface, which every node of the engine answers. Strings
// come from the owning document's cache and live as long as the document
// wrapper.
#pragma once

#include "model/TrelDOMNode.h"
#include "msxml/MsxmlCom.h"
#include "platform/msxml6/msxml6.h"

class MsxmlDOMDocument;

// Interface queries; null for a null node or a node of another kind. A result
// carries a reference that the caller releases.
IXMLDOMElement* castToElement(IXMLDOMNode* node);
IXMLDOMAttribute* castToAttribute(IXMLDOMNode* node);

// The node's DOM type; 0 for a null node or when the engine cannot tell.
TrelNodeType getNodeType(IXMLDOMNode* node);

// The first child when it is a text node (CDATA does not count), with a
// reference for the caller; null otherwise.
IXMLDOMText* getFirstTextChild(IXMLDOMNode* node);
// False for text that is white space only where nothing preserves it: reading
// the written document back would drop it. Empty and null text pass.
bool textReadsBack(IXMLDOMNode* node, wchar_t const* text);
// Removes the first child of `element` when it is text.
bool clearText(IXMLDOMNode* element);

class MsxmlDOMNode : public virtual TrelDOMNode {
public:
    // Holds its own reference to `node`; `document` must outlive the wrapper.
    MsxmlDOMNode(IXMLDOMNode* node, MsxmlDOMDocument const* document);
    // Takes over the reference `node` carries; `reader` is the node's own.
    MsxmlDOMNode(ComPtr<IXMLDOMNode> node, IXMLDOMNodeReader* reader, MsxmlDOMDocument const* document);

    TrelNodeType getType() const override;
    TrelDOMDocument const* getDocument() const override;
    TrelDOMElement* getParent() const override;

    IXMLDOMNode* getWrapped() const { return node_.get(); }  // no new reference
    // The engine's fast reader of the node (no new reference).
    IXMLDOMNodeReader* getReader() const { return reader_; }
    MsxmlDOMDocument const* getMsxmlDocument() const { return document_; }
    // The wrapper of the document the node is in now (this wrapper's own
    // after a move, when that one has none): the one every wrapper made
    // from this one must intern in, since its handles are counted there and
    // may outlive the document this one was made for.
    MsxmlDOMDocument const* currentDocument() const;
    // Points a wrapper only its scan holds at the next node (same document and
    // kind), taking over the reference `node` carries; `reader` is its own.
    void rebind(ComPtr<IXMLDOMNode> node, IXMLDOMNodeReader* reader) {
        node_ = std::move(node);
        reader_ = reader;
    }

    // Qualified name as written (prefix included), interned.
    wchar_t const* getName() const;
    // Null when the node is in no namespace.
    wchar_t const* getNamespaceURI() const;
    bool nameEquals(wchar_t const* text) const;
    // Text and attribute nodes: their value; elements: the text of the first
    // child when that child is text; anything else: null.
    wchar_t const* getValue() const;
    bool valueEquals(wchar_t const* text) const;
    // Replaces the first text child, or appends a text child when there is none.
    bool setValue(wchar_t const* text);

protected:
    ~MsxmlDOMNode() override = default;

    // getValue for a node known to be text, an attribute or an element: the
    // reader's text, interned (null when it has none).
    wchar_t const* readValue() const;

private:
    ComPtr<IXMLDOMNode> node_;
    MsxmlDOMDocument const* document_;
    // Asked for once: every read would ask otherwise. The engine's reader
    // is the node itself, held through node_.
    IXMLDOMNodeReader* reader_;
};
