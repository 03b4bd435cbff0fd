// Deep copies of trees. libxml2's own copies (xmlDocCopyNode, xmlCopyDoc)
// recurse once per level and overflow the stack on deep trees; its DOM
// wrapper clone walks iteratively, and a reconciliation afterwards declares
// the namespaces the copy uses but no longer finds above it.
#include <libxml/tree.h>

#include "platform/msxml6/engine.h"

namespace mx {

void appendChildNode(xmlNodePtr parent, xmlNodePtr child) {
    // Linked by hand: xmlAddChild and friends merge adjacent text nodes and
    // free the one passed in, which would pull a node from under its object.
    child->parent = parent;
    child->next = nullptr;
    child->prev = parent->last;
    if (parent->last)
        parent->last->next = child;
    else
        parent->children = child;
    parent->last = child;
}

xmlNodePtr copyTree(xmlNodePtr node, xmlDocPtr doc) {
    if (!node || !doc) return nullptr;
    // Comments, processing instructions and text have no subtree to recurse
    // into, and the clone below refuses those that stand beside the root.
    if (node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE || node->type == XML_TEXT_NODE ||
        node->type == XML_CDATA_SECTION_NODE)
        return xmlDocCopyNode(node, doc, 1);
    xmlNodePtr copy = nullptr;
    if (xmlDOMWrapCloneNode(nullptr, node->doc, node, &copy, doc, nullptr, 1, 0) != 0) {
        if (copy) xmlFreeNode(copy);
        return nullptr;
    }
    if (copy && copy->type == XML_ELEMENT_NODE) xmlDOMWrapReconcileNamespaces(nullptr, copy, 0);
    return copy;
}

xmlDocPtr copyDocument(xmlDocPtr doc) {
    if (!doc) return nullptr;
    xmlDocPtr copy = xmlCopyDoc(doc, 0);  // the document's own fields, no content
    if (!copy) return nullptr;
    if (doc->oldNs) copy->oldNs = xmlCopyNamespaceList(doc->oldNs);
    // The internal subset first: references to its entities are resolved
    // against it while the content is copied.
    if (doc->intSubset) {
        copy->intSubset = xmlCopyDtd(doc->intSubset);
        if (!copy->intSubset) {
            xmlFreeDoc(copy);
            return nullptr;
        }
        xmlSetTreeDoc(reinterpret_cast<xmlNodePtr>(copy->intSubset), copy);
        copy->intSubset->parent = copy;
    }
    xmlNodePtr top = reinterpret_cast<xmlNodePtr>(copy);
    for (xmlNodePtr c = doc->children; c; c = c->next) {
        xmlNodePtr k = c == reinterpret_cast<xmlNodePtr>(doc->intSubset) ? reinterpret_cast<xmlNodePtr>(copy->intSubset)
                                                                         : copyTree(c, copy);
        if (!k) {
            if (c->type == XML_DTD_NODE) continue;  // an external subset is not copied, as before
            xmlFreeDoc(copy);
            return nullptr;
        }
        appendChildNode(top, k);
    }
    return copy;
}

}  // namespace mx
