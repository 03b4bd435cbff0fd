// The XML engine's COM interfaces: DOM documents, SAX reader, XML writer,
// XSLT templates and schema caches. The library libmsxml6.so exports
// DllGetClassObject, which hands out a class factory per class identifier;
// nothing is registered anywhere.
//
// Rules shared by every method:
// - a negative HRESULT is a failure; S_FALSE is a success that found nothing
//   (for example get_namespaceURI of a node without a namespace);
// - returned interface pointers carry one reference for the caller; returned
//   BSTRs belong to the caller (SysFreeString); BSTR arguments are borrowed;
// - SAX callbacks pass counted strings (pointer + length) that live only for
//   the duration of the call and need not be NUL-terminated.
#pragma once

#include "platform/win32/win32.h"

struct IXMLDOMNode;
struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;
struct IXMLDOMDocument;
struct IXMLDOMParseError;
struct ISAXContentHandler;
struct ISAXErrorHandler;
struct ISAXLocator;
struct ISAXAttributes;

enum DOMNodeType {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_ENTITY_REFERENCE = 5,
    NODE_ENTITY = 6,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
    NODE_DOCUMENT_FRAGMENT = 11,
    NODE_NOTATION = 12,
};

// ---- DOM ----------------------------------------------------------------------
struct IXMLDOMNode : IDispatch {
    virtual HRESULT get_nodeName(BSTR* name) = 0;       // qualified name, "#text", "#comment", ...
    virtual HRESULT get_nodeValue(VARIANT* value) = 0;  // VT_BSTR, or VT_NULL for elements/documents
    virtual HRESULT put_nodeValue(VARIANT value) = 0;   // literal text; fails for elements/documents
    virtual HRESULT get_nodeType(DOMNodeType* type) = 0;
    virtual HRESULT get_parentNode(IXMLDOMNode** parent) = 0;        // S_FALSE and null when none
    virtual HRESULT get_childNodes(IXMLDOMNodeList** children) = 0;  // a live list
    virtual HRESULT get_firstChild(IXMLDOMNode** child) = 0;         // S_FALSE and null when none
    virtual HRESULT get_attributes(IXMLDOMNamedNodeMap** map) = 0;   // S_FALSE and null for non-elements
    virtual HRESULT removeChild(IXMLDOMNode* child, IXMLDOMNode** out) = 0;
    // Moves a node that has a parent; adopts a node of another document;
    // refuses to append an element to itself or to one of its descendants.
    virtual HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** out) = 0;
    virtual HRESULT get_ownerDocument(IXMLDOMDocument** document) = 0;
    virtual HRESULT get_namespaceURI(BSTR* uri) = 0;  // S_FALSE and null when none
    virtual HRESULT get_text(BSTR* text) = 0;         // concatenated descendant text
    virtual HRESULT get_xml(BSTR* xml) = 0;           // this node and subtree; not attributes
    // XPath 1.0 from this node; first match in document order; S_FALSE and
    // null when nothing matches. No namespace prefixes are bound.
    virtual HRESULT selectSingleNode(BSTR expression, IXMLDOMNode** node) = 0;

protected:
    ~IXMLDOMNode() = default;
};

struct IXMLDOMNodeList : IDispatch {
    virtual HRESULT get_item(long index, IXMLDOMNode** node) = 0;  // S_FALSE and null out of range
    virtual HRESULT get_length(long* length) = 0;

protected:
    ~IXMLDOMNodeList() = default;
};

// Namespace declarations are listed too, as attributes named xmlns or xmlns:p.
struct IXMLDOMNamedNodeMap : IDispatch {
    virtual HRESULT getNamedItem(BSTR name, IXMLDOMNode** node) = 0;  // S_FALSE and null when absent
    virtual HRESULT get_item(long index, IXMLDOMNode** node) = 0;
    virtual HRESULT get_length(long* length) = 0;

protected:
    ~IXMLDOMNamedNodeMap() = default;
};

struct IXMLDOMAttribute : IXMLDOMNode {
protected:
    ~IXMLDOMAttribute() = default;
};

struct IXMLDOMElement : IXMLDOMNode {
    virtual HRESULT getAttribute(BSTR name, VARIANT* value) = 0;  // S_FALSE and VT_NULL when absent
    // Literal value. A name xmlns or xmlns:p declares that namespace here.
    virtual HRESULT setAttribute(BSTR name, VARIANT value) = 0;

protected:
    ~IXMLDOMElement() = default;
};

struct IXMLDOMCharacterData : IXMLDOMNode {
protected:
    ~IXMLDOMCharacterData() = default;
};

struct IXMLDOMText : IXMLDOMCharacterData {
protected:
    ~IXMLDOMText() = default;
};

struct IXMLDOMComment : IXMLDOMCharacterData {
protected:
    ~IXMLDOMComment() = default;
};

struct IXMLDOMCDATASection : IXMLDOMText {
protected:
    ~IXMLDOMCDATASection() = default;
};

struct IXMLDOMProcessingInstruction : IXMLDOMNode {
protected:
    ~IXMLDOMProcessingInstruction() = default;
};

struct IXMLDOMParseError : IDispatch {
    virtual HRESULT get_errorCode(long* code) = 0;  // 0 when there was no error
    virtual HRESULT get_reason(BSTR* reason) = 0;   // the engine's message text
    virtual HRESULT get_line(long* line) = 0;
    virtual HRESULT get_linepos(long* column) = 0;

protected:
    ~IXMLDOMParseError() = default;
};

struct IXMLDOMDocument : IXMLDOMNode {
    virtual HRESULT get_documentElement(IXMLDOMElement** root) = 0;  // S_FALSE and null when none
    virtual HRESULT createElement(BSTR tagName, IXMLDOMElement** element) = 0;
    virtual HRESULT createTextNode(BSTR data, IXMLDOMText** text) = 0;
    virtual HRESULT createComment(BSTR data, IXMLDOMComment** comment) = 0;
    // Target "xml" makes the document's XML declaration (it serialises once,
    // first, and save follows its encoding), never a second declaration.
    virtual HRESULT createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** pi) = 0;
    // type: VT_I4 NODE_ELEMENT, the one kind made here; namespaceURI null or
    // empty for none.
    virtual HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) = 0;
    virtual HRESULT get_parseError(IXMLDOMParseError** error) = 0;
    virtual HRESULT put_async(VARIANT_BOOL async) = 0;  // loads are always synchronous
    // source: a VT_BSTR file path or file: URL, or a VT_UNKNOWN IStream.
    // Replaces the content; on failure the document is empty and
    // get_parseError tells why. Never reads the network.
    virtual HRESULT load(VARIANT source, VARIANT_BOOL* ok) = 0;
    virtual HRESULT loadXML(BSTR xml, VARIANT_BOOL* ok) = 0;
    // destination: a VT_BSTR file path or a VT_UNKNOWN IStream. No added
    // white space; the encoding follows the XML declaration (UTF-8 without).
    virtual HRESULT save(VARIANT destination) = 0;
    virtual HRESULT put_validateOnParse(VARIANT_BOOL validate) = 0;
    virtual HRESULT put_resolveExternals(VARIANT_BOOL resolve) = 0;
    virtual HRESULT put_preserveWhiteSpace(VARIANT_BOOL preserve) = 0;

protected:
    ~IXMLDOMDocument() = default;
};

struct IXMLDOMDocument2 : IXMLDOMDocument {
    virtual HRESULT get_schemas(VARIANT* schemas) = 0;    // VT_DISPATCH collection, or VT_NULL
    virtual HRESULT putref_schemas(VARIANT schemas) = 0;  // VT_DISPATCH collection, or VT_NULL/VT_EMPTY
    // S_OK valid; S_FALSE invalid (get_parseError / the returned error tell why).
    virtual HRESULT validate(IXMLDOMParseError** error) = 0;

protected:
    ~IXMLDOMDocument2() = default;
};

struct IXMLDOMDocument3 : IXMLDOMDocument2 {
protected:
    ~IXMLDOMDocument3() = default;
};

// ---- schemas ------------------------------------------------------------------
struct IXMLDOMSchemaCollection : IDispatch {
    // schema: VT_DISPATCH DOM document holding an XML schema.
    virtual HRESULT add(BSTR namespaceURI, VARIANT schema) = 0;

protected:
    ~IXMLDOMSchemaCollection() = default;
};

struct IXMLDOMSchemaCollection2 : IXMLDOMSchemaCollection {
protected:
    ~IXMLDOMSchemaCollection2() = default;
};

// ---- XSLT ---------------------------------------------------------------------
struct IXSLProcessor : IDispatch {
    virtual HRESULT put_input(VARIANT input) = 0;  // VT_DISPATCH DOM document (or node)
    // VT_DISPATCH DOM document (replaced by the result), VT_UNKNOWN IStream
    // (written as xsl:output says, then let go), or VT_EMPTY (none).
    virtual HRESULT put_output(VARIANT output) = 0;
    virtual HRESULT transform(VARIANT_BOOL* done) = 0;

protected:
    ~IXSLProcessor() = default;
};

struct IXSLTemplate : IDispatch {
    // The style sheet is compiled from a copy: the document is not changed.
    virtual HRESULT putref_stylesheet(IXMLDOMNode* stylesheet) = 0;
    virtual HRESULT createProcessor(IXSLProcessor** processor) = 0;

protected:
    ~IXSLTemplate() = default;
};

// ---- SAX ----------------------------------------------------------------------
struct ISAXLocator : IUnknown {
    virtual HRESULT getColumnNumber(int* column) = 0;
    virtual HRESULT getLineNumber(int* line) = 0;

protected:
    ~ISAXLocator() = default;
};

struct ISAXAttributes : IUnknown {
    virtual HRESULT getLength(int* length) = 0;
    virtual HRESULT getURI(int index, wchar_t const** uri, int* length) = 0;
    virtual HRESULT getLocalName(int index, wchar_t const** name, int* length) = 0;
    virtual HRESULT getQName(int index, wchar_t const** name, int* length) = 0;
    virtual HRESULT getValue(int index, wchar_t const** value, int* length) = 0;
    virtual HRESULT getValueFromName(wchar_t const* uri, int uriLength, wchar_t const* localName, int localNameLength,
                                     wchar_t const** value, int* length) = 0;

protected:
    ~ISAXAttributes() = default;
};

// Every callback returns S_OK to go on; a failure stops the parse and
// becomes parse's result.
struct ISAXContentHandler : IUnknown {
    virtual HRESULT putDocumentLocator(ISAXLocator* locator) = 0;
    virtual HRESULT startDocument() = 0;
    virtual HRESULT endDocument() = 0;
    virtual HRESULT startPrefixMapping(wchar_t const* prefix, int prefixLength, wchar_t const* uri, int uriLength) = 0;
    virtual HRESULT endPrefixMapping(wchar_t const* prefix, int prefixLength) = 0;
    virtual HRESULT startElement(wchar_t const* uri, int uriLength, wchar_t const* localName, int localNameLength,
                                 wchar_t const* qname, int qnameLength, ISAXAttributes* attributes) = 0;
    virtual HRESULT endElement(wchar_t const* uri, int uriLength, wchar_t const* localName, int localNameLength,
                               wchar_t const* qname, int qnameLength) = 0;
    virtual HRESULT characters(wchar_t const* chars, int length) = 0;
    virtual HRESULT ignorableWhitespace(wchar_t const* chars, int length) = 0;
    virtual HRESULT processingInstruction(wchar_t const* target, int targetLength, wchar_t const* data,
                                          int dataLength) = 0;
    virtual HRESULT skippedEntity(wchar_t const* name, int length) = 0;

protected:
    ~ISAXContentHandler() = default;
};

struct ISAXErrorHandler : IUnknown {
    virtual HRESULT error(ISAXLocator* locator, wchar_t const* message, HRESULT code) = 0;
    virtual HRESULT fatalError(ISAXLocator* locator, wchar_t const* message, HRESULT code) = 0;
    virtual HRESULT ignorableWarning(ISAXLocator* locator, wchar_t const* message, HRESULT code) = 0;

protected:
    ~ISAXErrorHandler() = default;
};

struct ISAXLexicalHandler : IUnknown {
    virtual HRESULT startDTD(wchar_t const* name, int nameLength, wchar_t const* publicId, int publicIdLength,
                             wchar_t const* systemId, int systemIdLength) = 0;
    virtual HRESULT endDTD() = 0;
    virtual HRESULT startEntity(wchar_t const* name, int length) = 0;
    virtual HRESULT endEntity(wchar_t const* name, int length) = 0;
    virtual HRESULT startCDATA() = 0;
    virtual HRESULT endCDATA() = 0;
    virtual HRESULT comment(wchar_t const* chars, int length) = 0;

protected:
    ~ISAXLexicalHandler() = default;
};

// The SAX2 property that installs a lexical handler through putProperty.
inline constexpr wchar_t const* SAX_PROPERTY_LEXICAL_HANDLER = L"http://xml.org/sax/properties/lexical-handler";

struct ISAXXMLReader : IUnknown {
    virtual HRESULT putFeature(wchar_t const* name, VARIANT_BOOL value) = 0;
    // SAX_PROPERTY_LEXICAL_HANDLER with a VT_UNKNOWN/VT_DISPATCH object
    // that answers ISAXLexicalHandler.
    virtual HRESULT putProperty(wchar_t const* name, VARIANT value) = 0;
    virtual HRESULT putContentHandler(ISAXContentHandler* handler) = 0;  // null removes it
    virtual HRESULT putErrorHandler(ISAXErrorHandler* handler) = 0;
    // input: VT_UNKNOWN IStream (read in chunks, constant memory), VT_BSTR
    // XML text, or VT_DISPATCH/VT_UNKNOWN DOM document (its tree is reported
    // as events). A fatal error is reported through the error handler with
    // its position, then parse fails.
    virtual HRESULT parse(VARIANT input) = 0;
    virtual HRESULT parseURL(wchar_t const* url) = 0;  // a local file path or file: URL

protected:
    ~ISAXXMLReader() = default;
};

// A content and lexical handler that writes XML. Queried for
// ISAXContentHandler and ISAXLexicalHandler (and IDispatch).
struct IMXWriter : IDispatch {
    // VT_EMPTY: collect a string for get_output; VT_UNKNOWN IStream: write to it.
    virtual HRESULT put_output(VARIANT destination) = 0;
    virtual HRESULT get_output(VARIANT* destination) = 0;  // VT_BSTR when collecting a string
    virtual HRESULT put_encoding(BSTR encoding) = 0;       // "UTF-8" (default) or "UTF-16"
    virtual HRESULT put_indent(VARIANT_BOOL indent) = 0;
    virtual HRESULT put_standalone(VARIANT_BOOL standalone) = 0;
    virtual HRESULT flush() = 0;

protected:
    ~IMXWriter() = default;
};

// ---- fast reads (this engine's own extension) ------------------------------------
// Asked of a DOM node with QueryInterface; walkers of large trees use it to
// read names and texts without a string allocation or a helper object per
// call. Every node of this engine answers it.
struct IXMLDOMNodeReader;
struct IXMLAttributeNameSink;

// The element children of one element, one at a time, exactly as they were
// when the cursor was opened: when the tree changes while it is open (a
// child moved, removed or added anywhere), it first takes hold of the
// children it has not given yet. Until then it reads the tree as it goes,
// which spares a walk a pass over every child list.
struct IXMLDOMChildCursor : IUnknown {
    // The next child (a reference), and its reader (none of its own: valid
    // while the child is held). S_FALSE with nulls after the last one.
    virtual HRESULT next(IXMLDOMElement** child, IXMLDOMNodeReader** reader) = 0;

protected:
    ~IXMLDOMChildCursor() = default;
};

struct IXMLDOMNodeReader : IUnknown {
    // As get_nodeName. The name is borrowed: it stays valid until the next
    // name read on this thread, and for as long as the node's tree lives when
    // it is one the tree's parser or DOM made (the usual case).
    virtual HRESULT readName(wchar_t const** name, size_t* length) = 0;
    // readName, and a key for the name: the same for every read of that name
    // in this tree, never the key of another text in the process; 0 when
    // there is none. A walker keeps what it made of a name under the key.
    virtual HRESULT readNameKey(wchar_t const** name, size_t* length, uint64_t* key) = 0;
    // An attribute's or character data's value; for an element, the value of
    // its first child when that child is a text node (CDATA is not). S_FALSE
    // with null when there is no such text. Borrowed until the next text
    // read on this thread.
    virtual HRESULT readText(wchar_t const** text, size_t* length) = 0;
    // The value of this element's attribute of that qualified name (matched
    // exactly); S_FALSE with null when absent. Borrowed as readText's.
    virtual HRESULT readAttribute(wchar_t const* name, wchar_t const** value, size_t* length) = 0;
    // A cursor over the element children (see IXMLDOMChildCursor).
    virtual HRESULT openElementChildren(IXMLDOMChildCursor** cursor) = 0;
    // The attribute after `previous` (null: the first) in the order of
    // get_attributes, namespace declarations first; S_FALSE with null after
    // the last. `previous` must be an attribute of this element.
    virtual HRESULT nextAttribute(IXMLDOMAttribute* previous, IXMLDOMAttribute** next) = 0;
    // readText and readAttribute in the tree's own UTF-8 (`bytes` of them,
    // NUL-terminated), for callers that convert only what they keep.
    virtual HRESULT readTextUtf8(char const** text, size_t* bytes) = 0;
    virtual HRESULT readAttributeUtf8(wchar_t const* name, char const** value, size_t* bytes) = 0;
    // readAttributeUtf8 by the name's UTF-8 (NUL-terminated), compared with
    // the tree's names as they are: no conversion for a caller holding it so.
    virtual HRESULT readNamedAttributeUtf8(char const* name, char const** value, size_t* bytes) = 0;
    // The names of this element's attributes in nextAttribute's order, with
    // no attribute object made: a declaration's name is prefix "xmlns" and
    // the prefix it declares, or the local part "xmlns" alone.
    virtual HRESULT scanAttributeNamesUtf8(IXMLAttributeNameSink* sink) = 0;

protected:
    ~IXMLDOMNodeReader() = default;
};

// ---- whole trees as events (this engine's own extension) -------------------------
// For code that turns a tree into another form in one pass: no COM call,
// helper object, check or conversion per node. Strings are the tree's own
// UTF-8, counted and valid during the call only; namespace declarations
// come first among the attributes, as the xmlns attributes they are, with
// one made up on the top element for each prefix it uses that an ancestor
// binds. A false result stops the walk.
//
// A name comes as its prefix (empty: none) and local part, whose strings
// stay in place and unchanged for the whole walk: the same two addresses
// again are the same name, so a reader can know a name by them without
// reading it (one name may still come with other addresses). An empty
// prefix has a null address.
struct XMLTreeName {
    char const* prefix;
    size_t prefixLength;
    char const* local;
    size_t localLength;
};

struct XMLTreeAttribute {
    XMLTreeName name;
    char const* value;
    size_t valueLength;
};

struct IXMLTreeEventSink {
    virtual bool startElement(XMLTreeName const& name, XMLTreeAttribute const* attributes, size_t count) = 0;
    virtual bool endElement() = 0;
    // Adjacent text nodes come as one piece; cdata marks a CDATA section.
    virtual bool text(char const* utf8, size_t length, bool cdata) = 0;
    // A comment or processing instruction.
    virtual bool separator() = 0;

protected:
    ~IXMLTreeEventSink() = default;
};

// The names of IXMLDOMNodeReader::scanAttributeNamesUtf8, lent during the
// call only; the element must not change during the scan.
struct IXMLAttributeNameSink {
    virtual void name(XMLTreeName const& name) = 0;

protected:
    ~IXMLAttributeNameSink() = default;
};

struct IXMLTreeEventReader : IUnknown {
    // The element (or a document's root element) and its subtree, read as
    // it is: the tree must not change during the call. E_INVALIDARG for a
    // node not of this engine, E_FAIL when the sink stopped or the tree
    // nests deeper than the engine reads.
    virtual HRESULT readTree(IUnknown* node, IXMLTreeEventSink* sink) = 0;

protected:
    ~IXMLTreeEventReader() = default;
};

// ---- identifiers ----------------------------------------------------------------
#define QUILL_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

QUILL_GUID(CLSID_FreeThreadedDOMDocument60, 0x88d96a06, 0xf192, 0x11d4, 0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5);
QUILL_GUID(CLSID_XMLSchemaCache60, 0x88d96a07, 0xf192, 0x11d4, 0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5);
QUILL_GUID(CLSID_XSLTemplate60, 0x88d96a08, 0xf192, 0x11d4, 0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5);
QUILL_GUID(CLSID_SAXXMLReader60, 0x88d96a0c, 0xf192, 0x11d4, 0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5);
QUILL_GUID(CLSID_MXXMLWriter60, 0x88d96a0f, 0xf192, 0x11d4, 0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5);

QUILL_GUID(IID_IXMLDOMNode, 0x2933bf80, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMDocument, 0x2933bf81, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMNodeList, 0x2933bf82, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMNamedNodeMap, 0x2933bf83, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMCharacterData, 0x2933bf84, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMAttribute, 0x2933bf85, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMElement, 0x2933bf86, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMText, 0x2933bf87, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMComment, 0x2933bf88, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMProcessingInstruction, 0x2933bf89, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e,
           0x60);
QUILL_GUID(IID_IXMLDOMCDATASection, 0x2933bf8a, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMDocument2, 0x2933bf95, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMDocument3, 0x2933bf96, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXMLDOMParseError, 0x3efaa426, 0x272f, 0x11d2, 0x83, 0x6f, 0x00, 0x00, 0xf8, 0x7a, 0x77, 0x82);
QUILL_GUID(IID_IXMLDOMSchemaCollection, 0x373984c8, 0xb845, 0x449b, 0x91, 0xe7, 0x45, 0xac, 0x83, 0x03, 0x6a, 0xde);
QUILL_GUID(IID_IXMLDOMSchemaCollection2, 0x50ea08b0, 0xdd1b, 0x4664, 0x9a, 0x50, 0xc2, 0xf4, 0x0f, 0x4b, 0xd7, 0x9a);
QUILL_GUID(IID_IXSLTemplate, 0x2933bf93, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_IXSLProcessor, 0x2933bf92, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);
QUILL_GUID(IID_ISAXXMLReader, 0xa4f96ed0, 0xf829, 0x476e, 0x81, 0xc0, 0xcd, 0xc7, 0xbd, 0x2a, 0x08, 0x02);
QUILL_GUID(IID_ISAXContentHandler, 0x1545cdfa, 0x9e4e, 0x4497, 0xa8, 0xa4, 0x2b, 0xf7, 0xd0, 0x11, 0x2c, 0x44);
QUILL_GUID(IID_ISAXErrorHandler, 0xa60511c4, 0xccf5, 0x479e, 0x98, 0xa3, 0xdc, 0x8d, 0xc5, 0x45, 0xb7, 0xd0);
QUILL_GUID(IID_ISAXLexicalHandler, 0x7f85d5f5, 0x47a8, 0x4497, 0xbd, 0xa5, 0x84, 0xba, 0x04, 0x81, 0x9e, 0xa6);
QUILL_GUID(IID_ISAXLocator, 0x9b7e472a, 0x0de4, 0x4640, 0xbf, 0xf3, 0x84, 0xd3, 0x8a, 0x05, 0x1c, 0x31);
QUILL_GUID(IID_ISAXAttributes, 0xf078abe1, 0x45d2, 0x4832, 0x91, 0xea, 0x44, 0x66, 0xce, 0x2f, 0x25, 0xc9);
QUILL_GUID(IID_IMXWriter, 0x4d7ff4ba, 0x1565, 0x4ea8, 0x94, 0xe1, 0x6e, 0x72, 0x4a, 0x46, 0xf9, 0x8d);
QUILL_GUID(IID_IXMLDOMNodeReader, 0x51c1a7e0, 0x3b1d, 0x4c52, 0x9a, 0x10, 0x7e, 0x2f, 0x61, 0x0d, 0x44, 0x03);
QUILL_GUID(IID_IXMLDOMChildCursor, 0x51c1a7e0, 0x3b1d, 0x4c52, 0x9a, 0x10, 0x7e, 0x2f, 0x61, 0x0d, 0x44, 0x04);
QUILL_GUID(IID_IXMLTreeEventReader, 0x51c1a7e0, 0x3b1d, 0x4c52, 0x9a, 0x10, 0x7e, 0x2f, 0x61, 0x0d, 0x44, 0x41);
QUILL_GUID(CLSID_XMLTreeEventReader, 0x51c1a7e0, 0x3b1d, 0x4c52, 0x9a, 0x10, 0x7e, 0x2f, 0x61, 0x0d, 0x44, 0x42);

// The library's one entry point.
extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** out);
typedef HRESULT (*DllGetClassObjectFn)(REFCLSID clsid, REFIID riid, void** out);
