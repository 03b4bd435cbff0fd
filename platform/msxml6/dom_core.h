// Internal to the DOM: who owns the libxml2 document, how COM node objects
// find and survive their libxml2 nodes.
//
// Ownership:
// - DocContent owns one xmlDoc (and the detached PI holding the text of its
//   XML declaration). It is counted: the document object and every node
//   object of that tree hold a reference, so a node object keeps its tree
//   alive after the document object is gone or has loaded something else.
// - A node object is found from its libxml2 node through `_private`, so one
//   node has at most one COM object. libxml2 frees nodes on its own (text
//   merging, attribute replacement, XSLT white-space stripping, xmlFreeDoc);
//   the per-thread deregister hook (domNodeFreed) clears the object's node
//   pointer then, and the object answers E_FAIL from then on.
// - A subtree that is detached (created and never inserted, or removed) is
//   freed when the last object referring into it is released.
#pragma once

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/msxml6/engine.h"

namespace mx {

constexpr uint64_t kContentMagic = 0x7155494c4c434e54ULL;
constexpr uint64_t kNodeMagic = 0x7155494c4c4e4f44ULL;

class DocumentObj;

// libxml2's deregister hook (installed by ensureInit in every thread).
void domNodeFreed(xmlNodePtr node);

// Bumped by every structural change made through the DOM and by every node
// libxml2 frees: live lists drop their position caches when it moves.
uint64_t domGeneration();
void bumpGeneration();

// The wide forms of a tree's names, keyed by the local name's pointer into
// the tree's dictionary: such a pointer is neither freed nor reused while
// the tree lives, so a found key needs no text compare; only the prefix,
// which libxml2 copies per declaration, is compared. Forms live as long as
// the table, which lives as long as the tree.
class NameTable {
public:
    struct Name {
        char const* local;  // the key; null: free slot
        std::string prefix;
        bool prefixed;
        std::wstring wide;  // "prefix:local" or "local"
        Name* next;         // the same local name with another prefix
        uint64_t serial;    // never given to another name, of any tree
    };
    // Null when `local` is not a key this table may keep (a name outside
    // the dictionary).
    Name const* find(xmlDictPtr dict, char const* prefix, char const* local);

private:
    Name* lookup(char const* local) const;
    void grow();

    std::vector<Name*> slots_;
    std::deque<Name> names_;  // never moved
};

class DocContent {
public:
    // Takes over `doc` (one reference for the caller); marks it as ours.
    static DocContent* adopt(xmlDocPtr doc);
    static DocContent* newEmpty();
    // The content that owns `doc`, or null when the document is not ours.
    static DocContent* of(xmlDocPtr doc);

    void addRef() { ++refs_; }
    void release();

    xmlDocPtr doc() const { return doc_; }
    xmlXPathContextPtr xpathContext();

    // Whether a node of this document (detached ones included) may use a
    // namespace. False only while known not to: moves then skip all
    // namespace repair. Set for good by whatever brings a namespace in.
    bool namespaced = true;
    // Whether a node of this document may have a prefixed name that no
    // declaration binds yet ("p:x" made before its xmlns:p). False until one
    // is made here or brought in: moves then skip the search for them.
    bool unboundNames = false;
    DocumentObj* owner = nullptr;  // weak: the document object showing this tree
    xmlNodePtr decl = nullptr;     // detached PI with the declaration text, owned
    NameTable names;               // for readName

private:
    explicit DocContent(xmlDocPtr doc);
    ~DocContent();

    uint64_t const magic_ = kContentMagic;
    long refs_ = 1;
    xmlDocPtr doc_;
    xmlXPathContextPtr xpath_ = nullptr;
};

enum class Kind : uint8_t { Document, Element, Attribute, Text, CData, Comment, PI, Decl, NsDecl, Other };

// State shared by every DOM object; the COM interfaces sit in the classes
// derived from it (Node, DocumentObj).
class NodeBase {
public:
    uint64_t const magic = kNodeMagic;  // checked by the hook before trusting _private
    // Plain counts, here and in DocContent: a tree and its objects are used
    // by one thread at a time (libxml2 trees cannot be shared while they
    // change), and walks take and drop millions of references.
    ULONG refs = 1;
    Kind kind = Kind::Other;
    xmlNodePtr node = nullptr;      // null once freed by libxml2; NsDecl: unused
    DocContent* content = nullptr;  // strong; NsDecl: null (the owner holds it)
    xmlNsPtr ns = nullptr;          // NsDecl: the declaration
    NodeBase* owner = nullptr;      // NsDecl: the element's object, strong

    ULONG addRef() { return ++refs; }
    ULONG release();

    IXMLDOMNode* primary();  // this object as IXMLDOMNode, no new reference
    // The libxml2 node this object stands for (the document node for a
    // document; the owner element for a namespace declaration).
    xmlNodePtr target() const;
    DocContent* contentOf() const { return kind == Kind::NsDecl ? owner->content : content; }
    // The declaration object is attached while it is its document's declaration.
    bool isAttachedDecl() const { return kind == Kind::Decl && node && content && content->decl == node; }
    // The namespace declaration this object stands for, if still declared.
    xmlNsPtr liveNs() const;
};

// Private interface identity: QueryInterface answers the NodeBase (with a
// reference) for every DOM object of this engine.
inline constexpr IID IID_DomNodeBase = {0x51c1a7e0, 0x3b1d, 0x4c52, {0x9a, 0x10, 0x7e, 0x2f, 0x61, 0x0d, 0x44, 0x02}};

// The NodeBase behind a COM object (new reference), or null when not ours.
NodeBase* nodeBaseOf(IUnknown* object);

// Notes that `doc` (ours or not) may now use namespaces.
void markNamespaced(xmlDocPtr doc);
// A prefixed name without a binding was made in doc (implies namespaced).
void markUnbound(xmlDocPtr doc);

// ---- wrapping -----------------------------------------------------------------
// The object of `node` as IXMLDOMNode (new reference). Reuses the existing
// object when there is one. Null for a null node or a foreign document.
IXMLDOMNode* wrapNode(xmlNodePtr node);
// A namespace declaration `ns` of `element` as an attribute object.
IXMLDOMNode* wrapNsDecl(xmlNodePtr element, xmlNsPtr ns);
// The declaration of a document (creates the PI text when loaded from a file).
IXMLDOMNode* wrapDecl(DocContent* content);
// Hands out `object` as the interface `riid` (new reference in *out).
HRESULT handOut(IXMLDOMNode* object, REFIID riid, void** out);

// ---- node lists and attribute maps (dom_list.cpp) ---------------------------------
// The live list of `parent`'s children (a document's declaration first).
IXMLDOMNodeList* newChildList(NodeBase& parent);
// The live attribute map of an element: namespace declarations, then attributes.
IXMLDOMNamedNodeMap* newAttributeMap(NodeBase& element);

// ---- XPath 1.0 (dom_xpath.cpp), no namespace prefixes bound ------------------------
// First match in document order; S_FALSE and null when nothing matches,
// E_FAIL for a bad expression or one that gives no node-set.
HRESULT selectFirst(NodeBase& context, std::string const& expression, IXMLDOMNode** node);

// ---- serialisation (dom_save.cpp) -------------------------------------------------
// The XML text of one node (and subtree) as UTF-8, for get_xml. A non-root
// element carries the namespace declarations it inherits.
bool serializeNode(NodeBase& self, std::string& out);
// The whole document, no added white space, in the encoding its declaration
// names (UTF-8 without a declaration), written to `stream`.
HRESULT saveDocument(DocContent* content, IStream* stream);

// ---- child cursors (dom_cursor.cpp) -----------------------------------------------
// Called before any change that links or unlinks a node: the open child
// cursors of this thread take hold of the children they have not given yet.
void beforeTreeChange();

// ---- tree operations (dom_tree.cpp) -----------------------------------------------
// Frees the detached subtree that holds `node` when no object refers into it.
void freeIfOrphan(xmlNodePtr node, DocContent* content);
bool hasDeclaration(DocContent* content);
// Document children as the DOM shows them: the declaration first.
HRESULT insertChild(NodeBase& parent, NodeBase& child, IXMLDOMNode** out);
HRESULT removeChild(NodeBase& parent, NodeBase& child, IXMLDOMNode** out);
// Sets a document's declaration fields from "version='1.0' encoding='…'".
void applyDeclaration(xmlDocPtr doc, xmlChar const* data);
// The value of pseudo-attribute `name` in declaration text; empty when absent.
std::string pseudoAttribute(char const* data, char const* name);
// Declaration text for a document that has one but no stored text.
std::string declarationText(xmlDocPtr doc, bool withEncoding = true);

// ---- values -------------------------------------------------------------------
// Literal replacement of an attribute's value (no entity parsing).
void setAttributeText(xmlAttrPtr attr, char const* value);
xmlAttrPtr findAttribute(xmlNodePtr element, char const* qname);
xmlNsPtr findNsDecl(xmlNodePtr element, char const* qname);  // "xmlns" / "xmlns:p"
bool isNsDeclName(char const* qname);
HRESULT setElementAttribute(xmlNodePtr element, char const* qname, char const* value);
// New value of a namespace declaration of `element` (a default one takes in
// the unprefixed elements it covers).
HRESULT setNamespaceValue(xmlNodePtr element, xmlNsPtr ns, char const* value);

// The text of a variant as UTF-8 (strings, numbers, booleans).
bool variantText(VARIANT const& v, std::string& out);

}  // namespace mx
