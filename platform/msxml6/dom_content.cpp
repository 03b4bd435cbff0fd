// DocContent (the owner of one xmlDoc) and libxml2's node-freed hook.
#include <atomic>

#include <libxml/xpathInternals.h>

#include "platform/msxml6/dom_core.h"
#include "platform/msxml6/dom_util.h"

namespace mx {

namespace {

std::atomic<uint64_t> generation{0};

void ignoreXPathError(void*, xmlErrorPtr) {}

}  // namespace

uint64_t domGeneration() { return generation.load(std::memory_order_relaxed); }

void bumpGeneration() { generation.fetch_add(1, std::memory_order_relaxed); }

void domNodeFreed(xmlNodePtr node) {
    bumpGeneration();
    void* p = node->_private;
    if (!p || node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE) return;
    auto* object = static_cast<NodeBase*>(p);
    if (object->magic != kNodeMagic || object->node != node) return;
    object->node = nullptr;
    node->_private = nullptr;
}

DocContent::DocContent(xmlDocPtr doc) : doc_(doc) {}

namespace {

// One pass over the tree: a declaration or a reference anywhere.
bool usesNamespaces(xmlDocPtr doc) {
    return doc->oldNs || !everyNode(reinterpret_cast<xmlNodePtr>(doc), [](xmlNodePtr n) {
               if (n->type == XML_ATTRIBUTE_NODE) return !n->ns;
               return n->type != XML_ELEMENT_NODE || !(n->ns || n->nsDef);
           });
}

}  // namespace

DocContent* DocContent::adopt(xmlDocPtr doc) {
    auto* content = new DocContent(doc);
    content->namespaced = usesNamespaces(doc);
    doc->_private = content;
    return content;
}

void markNamespaced(xmlDocPtr doc) {
    if (DocContent* content = DocContent::of(doc)) content->namespaced = true;
}

void markUnbound(xmlDocPtr doc) {
    if (DocContent* content = DocContent::of(doc)) content->namespaced = content->unboundNames = true;
}

DocContent* DocContent::newEmpty() {
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    doc->dict = xmlDictCreate();  // names of created nodes are interned, as in parsed documents
    return adopt(doc);
}

DocContent* DocContent::of(xmlDocPtr doc) {
    if (!doc || !doc->_private) return nullptr;
    auto* content = static_cast<DocContent*>(doc->_private);
    return content->magic_ == kContentMagic && content->doc_ == doc ? content : nullptr;
}

void DocContent::release() {
    if (--refs_ == 0) delete this;
}

xmlXPathContextPtr DocContent::xpathContext() {
    if (!xpath_) {
        xpath_ = xmlXPathNewContext(doc_);
        if (xpath_) {
            xpath_->error = ignoreXPathError;
            xpath_->userData = nullptr;
        }
    }
    return xpath_;
}

DocContent::~DocContent() {
    if (xpath_) xmlXPathFreeContext(xpath_);
    if (decl) xmlFreeNode(decl);
    doc_->_private = nullptr;
    xmlFreeDoc(doc_);
}

}  // namespace mx
