// Serialisation through libxml2's own writer (no indentation).
#include <libxml/encoding.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <cstring>
#include <utility>
#include <vector>

#include "platform/msxml6/dom_core.h"
#include "platform/msxml6/dom_util.h"
#include "platform/msxml6/write_check.h"
#include "platform/msxml6/xslt_common.h"

namespace mx {

namespace {

int appendToString(void* context, char const* buffer, int length) {
    static_cast<std::string*>(context)->append(buffer, static_cast<size_t>(length));
    return length;
}

// libxml2 writes namespace names as they are: one holding '<' or '&' would
// not read back at all, a tab or a line end would read back as a space.
// While a save runs, the declarations carry their escaped text instead.
class EscapedNamespaceNames {
public:
    explicit EscapedNamespaceNames(xmlNodePtr top) {
        forEachInSubtree(top, [this](xmlNodePtr n) {
            if (n->type != XML_ELEMENT_NODE) return;
            for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next) escape(ns);
        });
    }
    ~EscapedNamespaceNames() {
        for (auto const& [ns, original] : swapped_) {
            xmlFree(const_cast<xmlChar*>(ns->href));
            ns->href = original;
        }
    }
    EscapedNamespaceNames(EscapedNamespaceNames const&) = delete;
    EscapedNamespaceNames& operator=(EscapedNamespaceNames const&) = delete;

private:
    void escape(xmlNsPtr ns) {
        if (!ns->href || !strpbrk(chars(ns->href), "&<\t\n\r")) return;
        std::string text;
        for (char const* p = chars(ns->href); *p; ++p) {
            if (*p == '&')
                text += "&amp;";
            else if (*p == '<')
                text += "&lt;";
            else if (strchr("\t\n\r", *p))
                text += "&#" + std::to_string(*p) + ';';
            else
                text += *p;
        }
        if (xmlChar* escaped = xmlStrdup(xstr(text))) {
            swapped_.emplace_back(ns, ns->href);
            ns->href = escaped;
        }
    }

    std::vector<std::pair<xmlNsPtr, xmlChar const*>> swapped_;
};

bool dumpUtf8(std::string& out, xmlNodePtr node, bool wholeDocument) {
    EscapedNamespaceNames escaped(node);
    xmlSaveCtxtPtr ctx = xmlSaveToIO(appendToString, streamClose, &out, "UTF-8", XML_SAVE_NO_DECL);
    if (!ctx) return false;
    long rc = wholeDocument ? xmlSaveDoc(ctx, reinterpret_cast<xmlDocPtr>(node)) : xmlSaveTree(ctx, node);
    return xmlSaveClose(ctx) >= 0 && rc >= 0;
}

// An element below another one is copied into a scratch document first, so
// that the copy declares every namespace it uses (its ancestors are gone).
bool dumpElement(std::string& out, xmlNodePtr element) {
    if (!element->parent || element->parent->type != XML_ELEMENT_NODE) return dumpUtf8(out, element, false);
    xmlDocPtr scratch = xmlNewDoc(BAD_CAST "1.0");
    if (!scratch) return false;
    xmlNodePtr copy = copyTree(element, scratch);
    bool ok = false;
    if (copy) {
        xmlDocSetRootElement(scratch, copy);
        ok = dumpUtf8(out, copy, false);
    }
    xmlFreeDoc(scratch);
    return ok;
}

}  // namespace

bool serializeNode(NodeBase& self, std::string& out) {
    // What the parser would refuse is not written at all.
    if ((self.kind == Kind::Document || self.kind == Kind::Element) && exceedsTreeDepth(self.target())) return false;
    switch (self.kind) {
    case Kind::Document:
        for (xmlNodePtr c = self.node->children; c; c = c->next)
            if (!treeWritable(c)) return false;
        // The text is a string, so its declaration names no encoding.
        if (hasDeclaration(self.content)) out += "<?xml " + declarationText(self.content->doc(), false) + "?>\n";
        return dumpUtf8(out, self.node, true);
    case Kind::Element: return dumpElement(out, self.node);
    case Kind::Attribute:
    case Kind::NsDecl:
    case Kind::Decl: return false;  // no caller writes them on their own
    default: return dumpUtf8(out, self.node, false);
    }
}

HRESULT saveDocument(DocContent* content, IStream* stream) {
    ErrorSink quiet;  // libxml2 reports write errors on stderr besides returning them
    xmlDocPtr doc = content->doc();
    bool declared = hasDeclaration(content);
    // Without a declaration only UTF-8 reads back correctly.
    char const* encoding = declared && doc->encoding ? chars(doc->encoding) : "UTF-8";
    // What would not read back is refused before a byte reaches the stream.
    if (!treeSavable(reinterpret_cast<xmlNodePtr>(doc), encoding)) return E_FAIL;
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(encoding);
    if (!handler) return E_FAIL;
    xmlCharEncCloseFunc(handler);
    xmlSaveCtxtPtr ctx = xmlSaveToIO(streamWrite, streamClose, stream, encoding, declared ? 0 : XML_SAVE_NO_DECL);
    if (!ctx) return E_FAIL;
    long rc;
    {
        EscapedNamespaceNames escaped(reinterpret_cast<xmlNodePtr>(doc));
        rc = xmlSaveDoc(ctx, doc);
    }
    return (xmlSaveClose(ctx) < 0 || rc < 0) ? E_FAIL : S_OK;
}

}  // namespace mx
