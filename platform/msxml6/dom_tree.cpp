// Structural changes: inserting (with moves and adoption across documents),
// removing, freeing orphans, the XML declaration, attribute values.
#include <cstring>
#include <vector>

#include "platform/msxml6/dom_core.h"
#include "platform/msxml6/dom_util.h"

namespace mx {

namespace {

// True when some node of the subtree under `top` (attributes included) has an
// object: then the subtree must stay allocated.
bool subtreeHasObject(xmlNodePtr top) {
    return !everyNode(top, [](xmlNodePtr n) { return !n->_private; });
}

NodeBase* objectOf(xmlNodePtr n) {
    auto* base = static_cast<NodeBase*>(n->_private);
    return base && base->magic == kNodeMagic && base->node == n ? base : nullptr;
}

// After a move into another document, the objects of the moved nodes hold
// that document's content, which now owns their memory.
void retarget(xmlNodePtr top, DocContent* dest) {
    forEachInSubtree(top, [dest](xmlNodePtr n) {
        NodeBase* object = objectOf(n);
        if (!object || object->content == dest) return;
        dest->addRef();
        DocContent* old = object->content;
        object->content = dest;
        old->release();
    });
}

// The first element among n and its following siblings, or null.
xmlNodePtr elementFrom(xmlNodePtr n) {
    while (n && n->type != XML_ELEMENT_NODE) n = n->next;
    return n;
}

// The element after cur's subtree in document order, within top's subtree;
// null when none is left. onClimb runs for each finished parent left behind.
template <class Fn>
xmlNodePtr nextElementAfter(xmlNodePtr cur, xmlNodePtr top, Fn onClimb) {
    for (;;) {
        if (cur == top) return nullptr;
        if (xmlNodePtr next = elementFrom(cur->next)) return next;
        cur = cur->parent;
        onClimb();
    }
}

// An element without a namespace placed where a default namespace is in
// scope would fall into that namespace when the output is read back:
// declare xmlns="" on it, as its creator meant no namespace. One pass that
// carries the default namespace down, instead of a search per element.
void keepNoNamespace(xmlNodePtr top) {
    xmlNsPtr const inherited = top->parent ? xmlSearchNs(top->doc, top->parent, nullptr) : nullptr;
    // Per open element of the walk: whether a non-empty default is in scope.
    std::vector<char> defaulted{static_cast<char>(inherited && inherited->href && *inherited->href)};
    xmlNodePtr cur = top;
    while (true) {
        bool inScope = defaulted.back();
        for (xmlNsPtr ns = cur->nsDef; ns; ns = ns->next)
            if (!ns->prefix) inScope = ns->href && *ns->href;
        if (!cur->ns && inScope && xmlNewNs(cur, BAD_CAST "", nullptr)) inScope = false;
        if (xmlNodePtr child = elementFrom(cur->children)) {
            defaulted.push_back(inScope);
            cur = child;
            continue;
        }
        cur = nextElementAfter(cur, top, [&] { defaulted.pop_back(); });
        if (!cur) return;
    }
}

// An element or attribute named "p:x" with no declaration of p in scope
// keeps the whole name and no namespace until a declaration of p comes into
// scope: one made on it or above it, or the place it is inserted at.

bool isUnbound(xmlNodePtr n) {
    return (n->type == XML_ELEMENT_NODE || n->type == XML_ATTRIBUTE_NODE) && !n->ns && n->name &&
           strchr(chars(n->name), ':');
}

std::string prefixOf(xmlNodePtr n) { return std::string(chars(n->name), strchr(chars(n->name), ':')); }

// The declaration of `prefix` (null: the default namespace) on the element.
xmlNsPtr declaredOn(xmlNodePtr element, xmlChar const* prefix) {
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next)
        if (xmlStrEqual(ns->prefix, prefix)) return ns;
    return nullptr;
}

// The binding of `prefix` seen from `n`, climbing to `top` and from there on
// from `outside` (where the subtree is going).
xmlNsPtr lookupPrefix(xmlNodePtr n, xmlNodePtr top, xmlNodePtr outside, std::string const& prefix) {
    if (prefix == "xml") return xmlSearchNs(n->doc, n, BAD_CAST "xml");  // always declared
    xmlNodePtr e = n->type == XML_ATTRIBUTE_NODE ? n->parent : n;
    while (e && e->type == XML_ELEMENT_NODE) {
        if (xmlNsPtr ns = declaredOn(e, xstr(prefix))) return ns;
        e = e == top ? outside : e->parent;
    }
    return nullptr;
}

void bindName(xmlNodePtr n, xmlNsPtr ns) {
    std::string local(strchr(chars(n->name), ':') + 1);
    xmlNodeSetName(n, xstr(local));
    n->ns = ns;
}

// True when every unbound name under `top` finds a binding once `top` sits below `outside`.
bool prefixesResolve(xmlNodePtr top, xmlNodePtr outside) {
    bool all = true;
    forEachInSubtree(top, [&](xmlNodePtr n) {
        if (all && isUnbound(n)) all = lookupPrefix(n, top, outside, prefixOf(n)) != nullptr;
    });
    return all;
}

// Binds the unbound names under `top` that a declaration in scope now covers.
void bindPrefixes(xmlNodePtr top) {
    forEachInSubtree(top, [](xmlNodePtr n) {
        if (!isUnbound(n)) return;
        if (xmlNsPtr ns = lookupPrefix(n, nullptr, nullptr, prefixOf(n))) bindName(n, ns);
    });
}

// A declaration made on `element` takes in the names it now covers, as a
// parser reading the output would: up to the next declaration of the same
// prefix, names with that prefix (bound elsewhere or not at all) and, for a
// default namespace, unprefixed elements.
void takeIn(xmlNodePtr n, xmlNsPtr ns) {
    if (isUnbound(n)) {
        if (ns->prefix && prefixOf(n) == chars(ns->prefix)) bindName(n, ns);
        return;
    }
    if (!ns->prefix && n->type == XML_ATTRIBUTE_NODE) return;  // attributes never take the default
    bool samePrefix = n->ns ? xmlStrEqual(n->ns->prefix, ns->prefix) : !ns->prefix;
    if (samePrefix) n->ns = ns;
}

void adoptDeclaration(xmlNodePtr element, xmlNsPtr ns) {
    xmlNodePtr cur = element;
    while (cur) {
        bool shielded = cur != element && declaredOn(cur, ns->prefix);
        if (!shielded) {
            takeIn(cur, ns);
            for (xmlAttrPtr a = cur->properties; a; a = a->next) takeIn(reinterpret_cast<xmlNodePtr>(a), ns);
        }
        if (xmlNodePtr child = shielded ? nullptr : elementFrom(cur->children)) {
            cur = child;
            continue;
        }
        cur = nextElementAfter(cur, element, [] {});
    }
}

// What decides the namespace bindings a subtree sees at a place: the
// nearest element above that declares any (all declarations in scope follow
// from it), and whether the place is in the document.
struct Place {
    xmlNodePtr declaring = nullptr;
    bool inDocument = false;
};

Place placeOf(xmlNodePtr parent) {
    Place place;
    for (xmlNodePtr n = parent; n; n = n->parent) {
        if (n->type == XML_DOCUMENT_NODE || n->type == XML_HTML_DOCUMENT_NODE) {
            place.inDocument = true;
            break;
        }
        if (!place.declaring && n->type == XML_ELEMENT_NODE && n->nsDef) place.declaring = n;
    }
    return place;
}

// A subtree moved between places that see the same declarations needs no
// repair. One that enters the document from outside always gets it: while
// detached it may still refer to declarations of the place it was removed
// from.
bool sameBindings(Place const& from, Place const& to) {
    return from.declaring == to.declaring && (from.inDocument || !to.inDocument);
}

// The inserted or removed child, with a reference, for out (when given).
HRESULT handBack(NodeBase& child, IXMLDOMNode** out) {
    if (out) {
        child.addRef();
        *out = child.primary();
    }
    return S_OK;
}

bool isAncestorOrSelf(xmlNodePtr candidate, xmlNodePtr node) {
    for (xmlNodePtr p = node; p; p = p->parent)
        if (p == candidate) return true;
    return false;
}

HRESULT checkPlacement(NodeBase& parent, xmlNodePtr p, xmlNodePtr c) {
    switch (parent.kind) {
    case Kind::Document:
        if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) return E_FAIL;
        if (c->type == XML_ELEMENT_NODE) {
            xmlNodePtr root = xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(p));
            if (root && root != c) return E_FAIL;  // one document element only
        }
        return S_OK;
    case Kind::Element: return S_OK;
    case Kind::Attribute: return c->type == XML_TEXT_NODE ? S_OK : E_FAIL;
    default: return E_FAIL;
    }
}

void clearDeclaration(DocContent* content) {
    xmlDocPtr doc = content->doc();
    content->decl = nullptr;
    doc->standalone = -1;
    xmlFree(const_cast<xmlChar*>(doc->encoding));
    doc->encoding = nullptr;
}

// Moves `c` (already unlinked) into `dest`'s document when it comes from
// another one.
HRESULT bringInto(xmlNodePtr c, DocContent* dest, xmlNodePtr newParent) {
    xmlDocPtr source = c->doc;
    if (source == dest->doc()) return S_OK;
    DocContent* from = DocContent::of(source);
    if (!from || from->namespaced) dest->namespaced = true;
    if (!from || from->unboundNames) dest->unboundNames = true;
    if (xmlDOMWrapAdoptNode(nullptr, source, c, dest->doc(), newParent, 0) != 0) return E_FAIL;
    retarget(c, dest);
    return S_OK;
}

HRESULT insertDeclaration(NodeBase& parent, NodeBase& child, IXMLDOMNode** out) {
    if (parent.kind != Kind::Document) return E_FAIL;  // only a document has a declaration
    DocContent* dest = parent.content;
    xmlNodePtr c = child.node;
    if (dest->decl != c) {
        beforeTreeChange();
        if (DocContent* source = DocContent::of(c->doc); source && source->decl == c) clearDeclaration(source);
        if (FAILED(bringInto(c, dest, nullptr))) return E_FAIL;
        applyDeclaration(dest->doc(), c->content);
        xmlNodePtr old = dest->decl;
        dest->decl = c;
        if (old) freeIfOrphan(old, dest);
        bumpGeneration();
    }
    return handBack(child, out);
}

}  // namespace

namespace {

// The last node found in its document, valid while the tree is unchanged
// (the generation). Releasing the objects of a deep path one after another
// then costs a step each instead of a climb to the top each.
thread_local xmlNodePtr knownAttached = nullptr;
thread_local uint64_t knownAttachedAt = 0;

}  // namespace

void freeIfOrphan(xmlNodePtr node, DocContent* content) {
    uint64_t const now = domGeneration();
    xmlNodePtr top = node;
    // An ancestor with an object (or the document, marked as ours) keeps the
    // whole subtree: no need to climb further or to search it.
    while (top->parent) {
        top = top->parent;
        bool const isDocument = top->type == XML_DOCUMENT_NODE || top->type == XML_HTML_DOCUMENT_NODE;
        if (isDocument || (top == knownAttached && knownAttachedAt == now)) {
            knownAttached = node;
            knownAttachedAt = now;
            return;
        }
        if (top->_private) return;
    }
    if (top->type == XML_DOCUMENT_NODE || top->type == XML_HTML_DOCUMENT_NODE) return;
    if (content && top == content->decl) return;
    if (subtreeHasObject(top)) return;
    if (top->type == XML_ATTRIBUTE_NODE)
        xmlFreeProp(reinterpret_cast<xmlAttrPtr>(top));
    else
        xmlFreeNode(top);
}

std::string pseudoAttribute(char const* data, char const* name) {
    size_t n = strlen(name);
    for (char const* p = data; (p = strstr(p, name)) != nullptr; p += n) {
        bool startsWord = p == data || isspace(static_cast<unsigned char>(p[-1]));
        char const* q = p + n;
        while (isspace(static_cast<unsigned char>(*q))) ++q;
        if (!startsWord || *q != '=') continue;
        ++q;
        while (isspace(static_cast<unsigned char>(*q))) ++q;
        char quote = *q;
        if (quote != '\'' && quote != '"') continue;
        char const* end = strchr(q + 1, quote);
        if (!end) return {};
        return std::string(q + 1, end);
    }
    return {};
}

bool hasDeclaration(DocContent* content) { return content->decl || content->doc()->standalone != -1; }

void applyDeclaration(xmlDocPtr doc, xmlChar const* data) {
    char const* text = data ? chars(data) : "";
    std::string version = pseudoAttribute(text, "version");
    std::string encoding = pseudoAttribute(text, "encoding");
    std::string standalone = pseudoAttribute(text, "standalone");
    xmlFree(const_cast<xmlChar*>(doc->version));
    doc->version = xmlStrdup(BAD_CAST(version.empty() ? "1.0" : version.c_str()));
    xmlFree(const_cast<xmlChar*>(doc->encoding));
    doc->encoding = encoding.empty() ? nullptr : xmlStrdup(xstr(encoding));
    doc->standalone = standalone == "yes" ? 1 : standalone == "no" ? 0 : -2;
}

std::string declarationText(xmlDocPtr doc, bool withEncoding) {
    std::string out = "version=\"";
    out += doc->version ? chars(doc->version) : "1.0";
    out += '"';
    if (withEncoding && doc->encoding) {
        out += " encoding=\"";
        out += chars(doc->encoding);
        out += '"';
    }
    if (doc->standalone == 1) out += " standalone=\"yes\"";
    if (doc->standalone == 0) out += " standalone=\"no\"";
    return out;
}

HRESULT insertChild(NodeBase& parent, NodeBase& child, IXMLDOMNode** out) {
    if (out) *out = nullptr;
    xmlNodePtr p = parent.target();
    if (!p || parent.kind == Kind::NsDecl) return E_FAIL;
    Kind const kind = child.kind;
    if (kind == Kind::Document || kind == Kind::NsDecl || kind == Kind::Attribute || kind == Kind::Other)
        return E_INVALIDARG;  // not something that can be a child
    xmlNodePtr c = child.node;
    if (!c) return E_FAIL;
    if (child.kind == Kind::Decl) return insertDeclaration(parent, child, out);
    // Only an element with children can be above p (or p itself): appending
    // a new leaf then costs no climb, however deep p lies.
    if (c->type == XML_ELEMENT_NODE && (c == p || (c->children && isAncestorOrSelf(c, p)))) return E_FAIL;
    if (HRESULT hr = checkPlacement(parent, p, c); FAILED(hr)) return hr;
    DocContent const* source = DocContent::of(c->doc);
    bool const mayHaveUnbound = parent.content->unboundNames || !source || source->unboundNames;
    if (c->type == XML_ELEMENT_NODE && mayHaveUnbound && !prefixesResolve(c, p)) return E_INVALIDARG;
    beforeTreeChange();
    bool const element = c->type == XML_ELEMENT_NODE;
    bool const sameDocument = c->doc == parent.content->doc();
    Place const from = element && parent.content->namespaced ? placeOf(c->parent) : Place();
    xmlNodePtr const formerParent = c->parent;
    xmlUnlinkNode(c);
    bool docParent = parent.kind == Kind::Document;
    if (FAILED(bringInto(c, parent.content, docParent ? nullptr : p))) return E_FAIL;
    appendChildNode(p, c);
    // Repair walks the whole subtree: only where bindings may change.
    if (element && parent.content->namespaced && (!sameDocument || !sameBindings(from, placeOf(p)))) {
        if (parent.content->unboundNames) bindPrefixes(c);
        xmlDOMWrapReconcileNamespaces(nullptr, c, 1 /* remove redundant declarations */);
        keepNoNamespace(c);
    }
    // The child may have been all that kept a detached subtree. Only
    // now that its names no longer refer to declarations there.
    if (formerParent && !formerParent->_private) freeIfOrphan(formerParent, DocContent::of(formerParent->doc));
    bumpGeneration();
    return handBack(child, out);
}

HRESULT removeChild(NodeBase& parent, NodeBase& child, IXMLDOMNode** out) {
    if (out) *out = nullptr;
    if (child.isAttachedDecl()) {
        if (parent.kind != Kind::Document || child.content != parent.content) return E_INVALIDARG;
        beforeTreeChange();
        clearDeclaration(parent.content);
    } else {
        xmlNodePtr p = parent.target();
        xmlNodePtr c = child.node;
        if (!p || !c || child.kind == Kind::Attribute || child.kind == Kind::NsDecl || c->parent != p)
            return E_INVALIDARG;
        beforeTreeChange();
        xmlUnlinkNode(c);  // the child's object keeps it; freed when that goes
        // The removed subtree declares the namespaces it uses itself: the
        // declarations it pointed to stay with the old parent, which may drop them.
        if (c->type == XML_ELEMENT_NODE && parent.content->namespaced) xmlDOMWrapReconcileNamespaces(nullptr, c, 0);
    }
    bumpGeneration();
    return handBack(child, out);
}

namespace {

bool qnameEquals(xmlNsPtr ns, xmlChar const* name, char const* qname) {
    if (ns && ns->prefix) {
        size_t n = strlen(chars(ns->prefix));
        return strncmp(qname, chars(ns->prefix), n) == 0 && qname[n] == ':' && strcmp(qname + n + 1, chars(name)) == 0;
    }
    return strcmp(chars(name), qname) == 0;
}

char const* declaredPrefix(char const* qname) { return qname[5] == ':' ? qname + 6 : nullptr; }

HRESULT declareNamespace(xmlNodePtr element, char const* qname, char const* value) {
    char const* prefix = declaredPrefix(qname);
    if (prefix && (strcmp(prefix, "xml") == 0 || strcmp(prefix, "xmlns") == 0)) return E_INVALIDARG;
    if (prefix && !isValidNCName(prefix)) return E_INVALIDARG;
    if (xmlNsPtr ns = findNsDecl(element, qname)) return setNamespaceValue(element, ns, value);
    if (prefix && !*value) return E_INVALIDARG;  // a prefix cannot be undeclared in XML 1.0
    if (*value && !isDeclarableNamespace(prefix, value)) return E_INVALIDARG;
    markNamespaced(element->doc);
    xmlNsPtr ns = xmlNewNs(element, BAD_CAST value, BAD_CAST prefix);
    if (!ns) return E_FAIL;
    adoptDeclaration(element, ns);
    return S_OK;
}

// Another attribute of `element` with the local name and namespace given.
bool hasExpandedName(xmlNodePtr element, char const* local, xmlNsPtr ns) {
    for (xmlAttrPtr a = element->properties; a; a = a->next)
        if (a->ns && xmlStrEqual(a->name, BAD_CAST local) && xmlStrEqual(a->ns->href, ns->href)) return true;
    return false;
}

}  // namespace

bool isNsDeclName(char const* qname) {
    return strncmp(qname, "xmlns", 5) == 0 && (qname[5] == '\0' || qname[5] == ':');
}

xmlNsPtr findNsDecl(xmlNodePtr element, char const* qname) {
    if (!element || !isNsDeclName(qname)) return nullptr;
    char const* prefix = declaredPrefix(qname);
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
        if (!prefix && !ns->prefix) return ns;
        if (prefix && ns->prefix && strcmp(prefix, chars(ns->prefix)) == 0) return ns;
    }
    return nullptr;
}

xmlAttrPtr findAttribute(xmlNodePtr element, char const* qname) {
    if (!element || element->type != XML_ELEMENT_NODE) return nullptr;
    for (xmlAttrPtr a = element->properties; a; a = a->next)
        if (qnameEquals(a->ns, a->name, qname)) return a;
    return nullptr;
}

void setAttributeText(xmlAttrPtr attr, char const* value) {
    xmlNodePtr only = attr->children;
    if (only && only == attr->last && only->type == XML_TEXT_NODE) {
        xmlNodeSetContent(only, BAD_CAST value);  // literal for text nodes; keeps the node
        return;
    }
    xmlNodePtr old = attr->children;
    attr->children = attr->last = nullptr;
    if (old) xmlFreeNodeList(old);
    xmlNodePtr text = xmlNewDocText(attr->doc, BAD_CAST value);
    if (!text) return;
    text->parent = reinterpret_cast<xmlNodePtr>(attr);
    attr->children = attr->last = text;
}

HRESULT setNamespaceValue(xmlNodePtr element, xmlNsPtr ns, char const* value) {
    if (ns->prefix && !*value) return E_INVALIDARG;  // a prefix cannot be undeclared in XML 1.0
    if (*value && !isDeclarableNamespace(chars(ns->prefix), value)) return E_INVALIDARG;
    if (!isXmlText(value)) return E_INVALIDARG;
    bumpGeneration();
    xmlFree(const_cast<xmlChar*>(ns->href));
    ns->href = xmlStrdup(BAD_CAST value);
    adoptDeclaration(element, ns);
    return S_OK;
}

HRESULT setElementAttribute(xmlNodePtr element, char const* qname, char const* value) {
    if (!element || element->type != XML_ELEMENT_NODE) return E_FAIL;
    if (!isXmlText(value)) return E_INVALIDARG;
    bumpGeneration();
    if (isNsDeclName(qname)) return declareNamespace(element, qname, value);
    if (xmlAttrPtr existing = findAttribute(element, qname)) {
        setAttributeText(existing, value);
        return S_OK;
    }
    if (!isValidQName(qname)) return E_INVALIDARG;
    char const* colon = strchr(qname, ':');
    if (colon) {
        std::string prefix(qname, colon);
        // The search may declare the xml prefix; an unbound name waits for one.
        markNamespaced(element->doc);
        if (xmlNsPtr ns = xmlSearchNs(element->doc, element, xstr(prefix))) {
            if (hasExpandedName(element, colon + 1, ns)) return E_INVALIDARG;  // p:a and q:a, p and q one URI
            return xmlNewNsProp(element, ns, BAD_CAST(colon + 1), BAD_CAST value) ? S_OK : E_FAIL;
        }
        // Bound when a declaration comes into scope; in the document it must be there now.
        if (placeOf(element).inDocument) return E_INVALIDARG;
    }
    if (colon) markUnbound(element->doc);
    return xmlNewProp(element, BAD_CAST qname, BAD_CAST value) ? S_OK : E_FAIL;
}

bool variantText(VARIANT const& v, std::string& out) {
    switch (v.vt) {
    case VT_BSTR: out = utf8Of(v.bstrVal); return true;
    case VT_I4: out = std::to_string(v.lVal); return true;
    case VT_BOOL: out = v.boolVal ? "true" : "false"; return true;
    case VT_EMPTY:
    case VT_NULL: out.clear(); return true;
    default: return false;
    }
}

}  // namespace mx
