// IXMLTreeEventReader: a tree walked straight into events. The SAX reader's
// walk of a DOM node serves handlers that may change the tree and writers
// that must re-read what they get, so it checks the whole tree first, hands
// attributes over through a COM object and decodes every string; converting
// a tree needs none of that: its strings go out as the tree holds them.
#include <new>
#include <vector>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/com.h"
#include "platform/msxml6/sax_text.h"
#include "platform/msxml6/sax_walk.h"

namespace mx {

namespace {

// The one "xmlns" of the declarations; a literal, so its address is stable.
constexpr std::string_view kXmlns = "xmlns";

// The TreeWalker's sink. Every name is in the tree's nodes, which stay put
// during the walk, or is kXmlns: their addresses are stable.
class TreeEvents {
public:
    explicit TreeEvents(IXMLTreeEventSink& sink) : sink_(sink) {}

    bool startDocument() { return true; }
    bool endDocument() { return true; }

    bool startElement(ElementEvent const& e) {
        attributes_.clear();
        for (NsDecl const& d : e.decls)
            attributes_.push_back(
                {d.prefix.empty() ? name({}, kXmlns) : name(kXmlns, d.prefix), d.uri.data(), d.uri.size()});
        for (AttrEvent const& a : e.attrs)
            attributes_.push_back({name(a.prefix, a.local), a.value.data(), a.value.size()});
        return sink_.startElement(name(e.prefix, e.local), attributes_.data(), attributes_.size());
    }

    bool endElement(ElementEvent const&) { return sink_.endElement(); }
    bool characters(std::string_view s) { return sink_.text(s.data(), s.size(), false); }
    bool cdata(std::string_view s) { return sink_.text(s.data(), s.size(), true); }
    bool comment(std::string_view) { return sink_.separator(); }
    bool processingInstruction(std::string_view, std::string_view) { return sink_.separator(); }
    bool doctype(std::string_view, std::string_view, std::string_view) { return true; }

private:
    static XMLTreeName name(std::string_view prefix, std::string_view local) {
        return {prefix.empty() ? nullptr : prefix.data(), prefix.size(), local.data(), local.size()};
    }

    IXMLTreeEventSink& sink_;
    std::vector<XMLTreeAttribute> attributes_;  // reused for every element
};

class MX_INTERNAL TreeEventReader final : public ComObject<IXMLTreeEventReader, IID_IXMLTreeEventReader> {
public:
    HRESULT readTree(IUnknown* node, IXMLTreeEventSink* sink) override {
        xmlNodePtr top = engineNodeOf(node);
        if (top && top->type == XML_DOCUMENT_NODE) top = xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(top));
        if (!sink || !top || top->type != XML_ELEMENT_NODE) return E_INVALIDARG;
        try {
            TreeEvents events(*sink);
            TreeWalker<TreeEvents> walker(events);
            return walker.run(top) ? S_OK : E_FAIL;
        } catch (std::bad_alloc const&) {
            return E_OUTOFMEMORY;
        }
    }
};

}  // namespace

HRESULT createTreeEventReader(REFIID riid, void** out) { return createAs<TreeEventReader>(riid, out); }

}  // namespace mx
