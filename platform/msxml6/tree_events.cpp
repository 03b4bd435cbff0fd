// IXMLTreeEventReader: a tree walked straight into wide-string events. The
// SAX reader's walk of a DOM node serves handlers that may change the tree
// and writers that must re-read what they get, so it checks the whole tree
// first and hands attributes over through a COM object; converting a tree
// needs none of that, and this walk costs a fraction of it.
#include <new>
#include <vector>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/com.h"
#include "platform/msxml6/sax_text.h"
#include "platform/msxml6/sax_walk.h"

namespace mx {

namespace {

// The TreeWalker's sink: decodes each event's UTF-8 once into buffers kept
// from one event to the next.
class WideEvents {
public:
    WideEvents(IXMLTreeEventSink& sink, xmlDictPtr dict) : sink_(sink), dict_(dict) {}

    bool startDocument() { return true; }
    bool endDocument() { return true; }

    bool startElement(ElementEvent const& e) {
        names_.clear();
        names_.reserve(room(e));  // pointers into it are taken as it fills
        offsets_.clear();
        Piece const tag = name(e.prefix, e.local);
        for (NsDecl const& d : e.decls) {
            std::size_t const at = names_.size();
            std::size_t const n = d.prefix.empty() ? names_.append(xmlns()) : qualified(xmlns(), d.prefix);
            offsets_.push_back({{nullptr, at, n}, value(d.uri)});
        }
        for (AttrEvent const& a : e.attrs) {
            Piece const n = name(a.prefix, a.local);
            offsets_.push_back({n, value(a.value)});
        }
        attributes_.clear();
        for (Offsets const& o : offsets_)
            attributes_.push_back({where(o.name), o.name.length, where(o.value), o.value.length});
        return sink_.startElement(where(tag), tag.length, attributes_.data(), attributes_.size());
    }

    bool endElement(ElementEvent const&) { return sink_.endElement(); }
    bool characters(std::string_view s) { return piece(s, false); }
    bool cdata(std::string_view s) { return piece(s, true); }
    bool comment(std::string_view) { return sink_.separator(); }
    bool processingInstruction(std::string_view, std::string_view) { return sink_.separator(); }
    bool doctype(std::string_view, std::string_view, std::string_view) { return true; }

private:
    // A decoded string: in the name cache, or at an offset in names_ (which
    // may still move while the element's strings are decoded).
    struct Piece {
        wchar_t const* cached;
        std::size_t offset, length;
    };
    struct Offsets {
        Piece name, value;
    };

    wchar_t const* where(Piece const& p) const { return p.cached ? p.cached : names_.at(p.offset); }

    // The tree's interned names are decoded once per walk, found again by
    // their addresses; the dictionary keeps them in place during the walk.
    Piece name(std::string_view prefix, std::string_view local) {
        if (interned(prefix) && interned(local)) {
            WideText const n = cache_.qualified(prefix.data(), local.data());
            return {n.text, 0, static_cast<std::size_t>(n.length)};
        }
        std::size_t const at = names_.size();
        return {nullptr, at, qualified(prefix, local)};
    }

    bool interned(std::string_view s) const {
        return s.empty() || (dict_ && xmlDictOwns(dict_, reinterpret_cast<xmlChar const*>(s.data())) == 1);
    }

    Piece value(std::string_view s) {
        std::size_t const at = names_.size();
        return {nullptr, at, names_.append(s)};
    }

    // The decoder reads sixteen bytes at a time: the name sits in that many.
    static std::string_view xmlns() {
        static constexpr char name[16] = "xmlns";
        return std::string_view(name, 5);
    }

    // Never more characters than bytes, plus a colon per name.
    static std::size_t room(ElementEvent const& e) {
        std::size_t n = e.prefix.size() + e.local.size() + 1;
        for (NsDecl const& d : e.decls) n += d.prefix.size() + d.uri.size() + 7;
        for (AttrEvent const& a : e.attrs) n += a.prefix.size() + a.local.size() + a.value.size() + 1;
        return n;
    }

    std::size_t qualified(std::string_view prefix, std::string_view local) {
        if (prefix.empty()) return names_.append(local);
        std::size_t const n = names_.append(prefix);
        names_.push(L':');
        return n + 1 + names_.append(local);
    }

    bool piece(std::string_view s, bool cdata) {
        text_.clear();
        std::size_t const n = text_.append(s);
        return sink_.text(text_.data(), n, cdata);
    }

    IXMLTreeEventSink& sink_;
    xmlDictPtr const dict_;
    NameCache cache_;
    WideBuffer names_;  // the element's name and its attributes
    WideBuffer text_;
    std::vector<Offsets> offsets_;
    std::vector<XMLTreeAttribute> attributes_;
};

class MX_INTERNAL TreeEventReader final : public ComObject<IXMLTreeEventReader, IID_IXMLTreeEventReader> {
public:
    HRESULT readTree(IUnknown* node, IXMLTreeEventSink* sink) override {
        xmlNodePtr top = engineNodeOf(node);
        if (top && top->type == XML_DOCUMENT_NODE) top = xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(top));
        if (!sink || !top || top->type != XML_ELEMENT_NODE) return E_INVALIDARG;
        try {
            WideEvents events(*sink, top->doc ? top->doc->dict : nullptr);
            TreeWalker<WideEvents> walker(events);
            return walker.run(top) ? S_OK : E_FAIL;
        } catch (std::bad_alloc const&) {
            return E_OUTOFMEMORY;
        }
    }

};

}  // namespace

HRESULT createTreeEventReader(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return handOutNew(new (std::nothrow) TreeEventReader, riid, out);
}

}  // namespace mx
