// XPath through libxml2: one evaluation context per document, compiled
// expressions cached per thread (the module asks the same few paths over
// and over).
#include <libxml/xpathInternals.h>

#include <unordered_map>
#include <vector>

#include "platform/msxml6/dom_core.h"
#include "platform/msxml6/dom_util.h"

namespace mx {

namespace {

void ignoreError(void*, xmlErrorPtr) {}

class CompiledCache {
public:
    ~CompiledCache() {
        clear();
        if (compiler_) xmlXPathFreeContext(compiler_);
    }

    xmlXPathCompExprPtr get(std::string const& expression) {
        if (auto it = map_.find(expression); it != map_.end()) return it->second;
        if (!compiler_) {
            compiler_ = xmlXPathNewContext(nullptr);
            if (!compiler_) return nullptr;
            compiler_->error = ignoreError;
        }
        xmlXPathCompExprPtr comp = xmlXPathCtxtCompile(compiler_, BAD_CAST expression.c_str());
        if (!comp) return nullptr;
        if (map_.size() >= kMaxEntries) clear();
        map_.emplace(expression, comp);
        return comp;
    }

private:
    static constexpr size_t kMaxEntries = 256;
    void clear() {
        for (auto& [text, comp] : map_) xmlXPathFreeCompExpr(comp);
        map_.clear();
    }
    std::unordered_map<std::string, xmlXPathCompExprPtr> map_;
    xmlXPathContextPtr compiler_ = nullptr;
};

thread_local CompiledCache compiled;

xmlNodePtr contextNodeOf(NodeBase& self) {
    if (self.kind == Kind::Decl && self.isAttachedDecl()) return reinterpret_cast<xmlNodePtr>(self.content->doc());
    return self.target();
}

// A namespace node of a result: the declaration it comes from, as an attribute.
IXMLDOMNode* wrapNamespaceResult(xmlNsPtr copy) {
    auto* element = reinterpret_cast<xmlNodePtr>(copy->next);  // libxml2 keeps the element there
    for (xmlNodePtr e = element; e && e->type == XML_ELEMENT_NODE; e = e->parent)
        for (xmlNsPtr d = e->nsDef; d; d = d->next)
            if (xmlStrEqual(d->prefix, copy->prefix) && xmlStrEqual(d->href, copy->href)) return wrapNsDecl(e, d);
    return nullptr;
}

IXMLDOMNode* wrapResult(xmlNodePtr n) {
    if (n->type == XML_NAMESPACE_DECL) return wrapNamespaceResult(reinterpret_cast<xmlNsPtr>(n));
    return wrapNode(n);
}

// Evaluates to a node-set; null on error or for other result types.
xmlXPathObjectPtr evaluate(NodeBase& self, std::string const& expression) {
    DocContent* content = self.contentOf();
    xmlNodePtr context = contextNodeOf(self);
    if (!content || !context) return nullptr;
    xmlXPathCompExprPtr comp = compiled.get(expression);
    if (!comp) return nullptr;
    xmlXPathContextPtr ctx = content->xpathContext();
    if (!ctx) return nullptr;
    ctx->doc = content->doc();
    ctx->node = context;
    xmlXPathObjectPtr result = xmlXPathCompiledEval(comp, ctx);
    ctx->node = nullptr;
    if (result && result->type != XPATH_NODESET) {
        xmlXPathFreeObject(result);
        return nullptr;
    }
    return result;
}

}  // namespace

HRESULT selectFirst(NodeBase& self, std::string const& expression, IXMLDOMNode** node) {
    *node = nullptr;
    xmlXPathObjectPtr result = evaluate(self, expression);
    if (!result) return E_FAIL;
    xmlNodeSetPtr set = result->nodesetval;
    if (set && set->nodeNr > 0) *node = wrapResult(set->nodeTab[0]);
    xmlXPathFreeObject(result);
    return *node ? S_OK : S_FALSE;
}

}  // namespace mx
