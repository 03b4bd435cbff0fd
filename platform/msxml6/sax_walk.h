// Reports an in-memory libxml2 tree as SAX-style events to a sink. The SAX
// reader uses it with a sink that calls COM handlers; the XML writer uses it
// with a sink that writes directly, so both see exactly the same events.
//
// The walk is iterative (a built tree may be deeper than the stack allows)
// and keeps track of the namespace bindings in scope: a name whose prefix is
// not declared where it is used (a node moved out of its context, an element
// walked without its ancestors) gets a declaration made up for it, so that the
// events always describe a document that re-parses into the same names.
// A tree nested deeper than the parsers read (kMaxTreeDepth) is refused: the
// walk stops and returns false at the first element below that depth.
#pragma once

#include <libxml/entities.h>
#include <libxml/tree.h>

#include <cstring>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/msxml6/engine.h"

namespace mx {

inline constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

struct NsDecl {
    std::string_view prefix;  // empty for the default namespace
    std::string_view uri;     // empty undeclares the default namespace
};

struct AttrEvent {
    std::string_view uri, prefix, local, value;
};

struct ElementEvent {
    std::string_view uri, prefix, local;
    std::span<NsDecl const> decls;     // declared on this element, in order
    std::span<AttrEvent const> attrs;  // empty for the end tag
    bool mixed = false;                // some child is text, CDATA or an entity reference
};

// Sink: bool startDocument(); bool endDocument(); bool startElement(ElementEvent const&);
// bool endElement(ElementEvent const&); bool characters(std::string_view);
// bool cdata(std::string_view); bool comment(std::string_view);
// bool processingInstruction(std::string_view target, std::string_view data);
// bool doctype(std::string_view name, std::string_view publicId, std::string_view systemId).
// A false result ends the walk, which then returns false.
template <class Sink>
class TreeWalker {
public:
    explicit TreeWalker(Sink& sink) : sink_(sink) {}

    // root: a document (its children are reported) or any node (it alone).
    bool run(xmlNodePtr root) {
        frames_.clear();
        decls_.clear();
        depth_ = 0;
        if (!sink_.startDocument()) return false;
        bool isDoc = root->type == XML_DOCUMENT_NODE || root->type == XML_HTML_DOCUMENT_NODE;
        frames_.push_back(Frame{isDoc ? root->children : root, nullptr, 0, 0, true, !isDoc});
        while (!frames_.empty())
            if (!step()) return false;
        return sink_.endDocument();
    }

private:
    struct Frame {
        xmlNodePtr next;       // next node to report at this level
        xmlNodePtr element;    // the element whose content this is, or null
        size_t declBegin;      // its declarations in decls_
        unsigned entityDepth;  // entity contents being reported around this level
        bool topLevel;         // document level: text is not reported here
        bool single;           // report `next` only, not its siblings
    };

    static constexpr unsigned kMaxEntityDepth = 32;

    bool step() {
        Frame& f = frames_.back();
        xmlNodePtr n = f.next;
        if (!n) return leave();
        f.next = f.single ? nullptr : n->next;
        switch (n->type) {
        case XML_ELEMENT_NODE: return enter(n);
        case XML_TEXT_NODE: return frames_.back().topLevel || text(n);
        case XML_CDATA_SECTION_NODE: return sink_.cdata(sv(n->content));
        case XML_COMMENT_NODE: return sink_.comment(sv(n->content));
        case XML_PI_NODE: return sink_.processingInstruction(sv(n->name), sv(n->content));
        case XML_DTD_NODE: {
            auto* dtd = reinterpret_cast<xmlDtdPtr>(n);
            return sink_.doctype(sv(dtd->name), sv(dtd->ExternalID), sv(dtd->SystemID));
        }
        case XML_ENTITY_REF_NODE: return entity(n);
        default: return true;  // declarations, XInclude markers: nothing to report
        }
    }

    // Adjacent text nodes are one run of text: report them in one call.
    bool text(xmlNodePtr n) {
        Frame& f = frames_.back();
        if (f.single || !n->next || n->next->type != XML_TEXT_NODE) return sink_.characters(sv(n->content));
        text_.clear();
        for (; n && n->type == XML_TEXT_NODE; n = n->next) text_.append(sv(n->content));
        f.next = n;
        return sink_.characters(text_);
    }

    // Only without entity substitution: report the entity's content in place.
    bool entity(xmlNodePtr ref) {
        Frame const& f = frames_.back();
        xmlNodePtr decl = ref->children;
        if (!decl || decl->type != XML_ENTITY_DECL || f.entityDepth >= kMaxEntityDepth) return true;
        frames_.push_back(Frame{decl->children, nullptr, decls_.size(), f.entityDepth + 1, f.topLevel, false});
        return true;
    }

    bool enter(xmlNodePtr el) {
        if (depth_ >= kMaxTreeDepth) return false;
        ++depth_;
        size_t declBegin = decls_.size();
        unsigned depth = frames_.back().entityDepth;
        ElementEvent e = describe(el, declBegin);
        e.attrs = attributes(el, declBegin);
        e.decls = std::span<NsDecl const>(decls_.data() + declBegin, decls_.size() - declBegin);
        e.mixed = hasText(el);
        if (!sink_.startElement(e)) return false;
        frames_.push_back(Frame{el->children, el, declBegin, depth, false, false});
        return true;
    }

    bool leave() {
        Frame f = frames_.back();
        frames_.pop_back();
        if (!f.element) return true;
        --depth_;
        ElementEvent e;
        e.uri = f.element->ns ? sv(f.element->ns->href) : std::string_view();
        e.prefix = f.element->ns ? sv(f.element->ns->prefix) : std::string_view();
        e.local = sv(f.element->name);
        e.decls = std::span<NsDecl const>(decls_.data() + f.declBegin, decls_.size() - f.declBegin);
        bool ok = sink_.endElement(e);
        decls_.resize(f.declBegin);
        return ok;
    }

    // Names of the element; its own declarations (and any it lacks) go to decls_.
    ElementEvent describe(xmlNodePtr el, size_t declBegin) {
        for (xmlNsPtr ns = el->nsDef; ns; ns = ns->next) decls_.push_back(NsDecl{sv(ns->prefix), sv(ns->href)});
        ElementEvent e;
        e.local = sv(el->name);
        if (el->ns) {
            e.prefix = sv(el->ns->prefix);
            e.uri = sv(el->ns->href);
        }
        if (e.prefix != "xml") bind(e.prefix, e.uri, declBegin);
        return e;
    }

    std::span<AttrEvent const> attributes(xmlNodePtr el, size_t declBegin) {
        attrs_.clear();
        size_t spilled = 0;
        for (xmlAttrPtr a = el->properties; a; a = a->next) {
            AttrEvent ev;
            ev.local = sv(a->name);
            if (a->ns && a->ns->prefix) {
                ev.prefix = sv(a->ns->prefix);
                ev.uri = sv(a->ns->href);
                if (ev.prefix != "xml") bind(ev.prefix, ev.uri, declBegin);
            }
            ev.value = value(a, spilled);
            attrs_.push_back(ev);
        }
        return attrs_;
    }

    // The common single-text-child value is used in place; anything else
    // (entity references, several text nodes) is flattened into spill_.
    std::string_view value(xmlAttrPtr a, size_t& spilled) {
        xmlNodePtr c = a->children;
        if (!c) return {};
        if (c->type == XML_TEXT_NODE && !c->next) return sv(c->content);
        if (spill_.size() <= spilled) spill_.resize(spilled + 1);
        std::string& s = spill_[spilled++];
        s.clear();
        if (xmlChar* v = xmlNodeListGetString(a->doc, c, 1)) {
            s = reinterpret_cast<char const*>(v);
            xmlFree(v);
        }
        return s;
    }

    // The binding of `prefix` in scope; null when none.
    NsDecl const* lookup(std::string_view prefix) const {
        for (size_t i = decls_.size(); i-- > 0;)
            if (decls_[i].prefix == prefix) return &decls_[i];
        return nullptr;
    }

    // Makes sure `prefix` means `uri` on this element, declaring it when the
    // scope says otherwise (not when this element already binds the prefix).
    void bind(std::string_view prefix, std::string_view uri, size_t declBegin) {
        NsDecl const* d = lookup(prefix);
        if (d ? d->uri == uri : uri.empty()) return;
        if (d && static_cast<size_t>(d - decls_.data()) >= declBegin) return;
        decls_.push_back(NsDecl{prefix, uri});
    }

    static bool hasText(xmlNodePtr el) {
        for (xmlNodePtr c = el->children; c; c = c->next)
            if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE || c->type == XML_ENTITY_REF_NODE)
                return true;
        return false;
    }

    Sink& sink_;
    std::vector<Frame> frames_;
    std::vector<NsDecl> decls_;
    std::vector<AttrEvent> attrs_;
    std::deque<std::string> spill_;  // a deque: growing it never moves a string in use
    std::string text_;
    unsigned depth_ = 0;  // elements open
};

}  // namespace mx
