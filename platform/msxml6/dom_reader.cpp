// IXMLDOMNodeReader: names and texts for tree walkers, without a BSTR, a
// VARIANT or a helper object per call.
//
// Names come from the tree's own table (NameTable): a parsed tree has few
// distinct names, each converted once. Texts are lent as the tree holds them
// (UTF-8), or decoded into one buffer per thread, which shrinks again after
// a large text.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "platform/msxml6/dom_node.h"
#include "platform/msxml6/dom_util.h"
#include "platform/msxml6/thread_state.h"

#include <libxml/dict.h>

namespace mx {
namespace {

// Grows to the largest text asked for; a buffer past kKeptUnits goes back to
// that size with the next smaller text, so one huge text does not pin its
// memory for the life of the thread.
class TextBuffer {
public:
    static constexpr size_t kKeptUnits = size_t(1) << 14;

    wchar_t* reserve(size_t units) {
        if (units > capacity_ || (capacity_ > kKeptUnits && units <= kKeptUnits)) {
            size_t const size = std::max(units, std::min(capacity_ * 2, kKeptUnits));
            data_.reset(new wchar_t[size]);
            capacity_ = size;
        }
        return data_.get();
    }
    size_t capacity() const { return capacity_; }

private:
    std::unique_ptr<wchar_t[]> data_;
    size_t capacity_ = 0;
};

struct ReaderState {
    TextBuffer text;
    std::wstring name;  // names no tree table keeps
    // Text the tree holds in pieces, joined for one read.
    std::unique_ptr<xmlChar, void (*)(xmlChar*)> copy{nullptr, [](xmlChar* s) { xmlFree(s); }};
};

// A read made after the thread's state is gone (during its exit) uses a
// spare state of that thread's own.
[[gnu::noinline]] ReaderState& spareState() { return SpareState<ReaderState>::get(); }

inline ReaderState& threadState() {
    if (ReaderState* state = ThreadState<ReaderState>::get()) return *state;
    return spareState();
}

HRESULT lend(xmlChar const* utf8, char const** text, size_t* bytes) {
    char const* s = utf8 ? chars(utf8) : "";
    *text = s;
    if (bytes) *bytes = strlen(s);
    return S_OK;
}

// The wide form of what a UTF-8 read gave; its failures and S_FALSE pass.
HRESULT widen(HRESULT hr, char const* utf8, size_t n, wchar_t const** text, size_t* length) {
    if (hr != S_OK) {
        *text = nullptr;
        if (length) *length = 0;
        return hr;
    }
    wchar_t* out = threadState().text.reserve(n + 1);
    size_t const units = decodeUtf8(out, utf8, n);
    out[units] = L'\0';
    *text = out;
    if (length) *length = units;
    return S_OK;
}

template <class Char>
HRESULT giveNone(Char const** text, size_t* length) {
    *text = nullptr;
    if (length) *length = 0;
    return S_FALSE;
}

HRESULT giveName(std::wstring const& name, uint64_t serial, wchar_t const** out, size_t* length, uint64_t* key) {
    *out = name.c_str();
    if (length) *length = name.size();
    if (key) *key = serial;
    return S_OK;
}

void appendQualified(std::wstring& out, char const* prefix, char const* local) {
    if (prefix) {
        appendWide(out, prefix, strlen(prefix));
        out.push_back(L':');
    }
    appendWide(out, local, strlen(local));
}

// "prefix:local", or "local" without a prefix, of a node of `content`.
HRESULT qualifiedName(DocContent* content, char const* prefix, char const* local, wchar_t const** name, size_t* length,
                      uint64_t* key) {
    xmlDictPtr dict = content ? content->doc()->dict : nullptr;
    if (NameTable::Name const* known = content ? content->names.find(dict, prefix, local) : nullptr)
        return giveName(known->wide, known->serial, name, length, key);
    std::wstring& spare = threadState().name;
    spare.clear();
    appendQualified(spare, prefix, local);
    return giveName(spare, 0, name, length, key);
}

HRESULT constantName(wchar_t const* constant, wchar_t const** name, size_t* length) {
    *name = constant;
    if (length) *length = wcslen(constant);
    return S_OK;
}

uint64_t nextSerial() {
    static std::atomic<uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

bool alive(NodeBase const& self) { return self.kind == Kind::NsDecl ? self.liveNs() != nullptr : self.node != nullptr; }

xmlNodePtr liveElement(NodeBase const& self) { return self.kind == Kind::Element ? self.node : nullptr; }

// An attribute's text: its usual single text child in place, else a copy.
HRESULT attributeText(xmlNodePtr attr, char const** text, size_t* bytes) {
    xmlNodePtr only = attr->children;
    if (only && !only->next && (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE))
        return lend(only->content, text, bytes);
    auto& copy = threadState().copy;
    copy.reset(xmlNodeGetContent(attr));
    return lend(copy.get(), text, bytes);
}

size_t hashOf(void const* p) {
    auto const key = reinterpret_cast<uintptr_t>(p);
    return static_cast<size_t>((key >> 3) * 0x9E3779B97F4A7C15ULL >> 20);
}

}  // namespace

size_t readerTextUnits() { return threadState().text.capacity(); }

NameTable::Name* NameTable::lookup(char const* local) const {
    size_t const mask = slots_.size() - 1;
    for (size_t i = hashOf(local) & mask;; i = (i + 1) & mask)
        if (!slots_[i] || slots_[i]->local == local) return slots_[i];
}

void NameTable::grow() {
    std::vector<Name*> old(std::max<size_t>(64, slots_.size() * 2), nullptr);
    old.swap(slots_);
    size_t const mask = slots_.size() - 1;
    for (Name* name : old) {
        if (!name) continue;
        size_t i = hashOf(name->local) & mask;
        while (slots_[i]) i = (i + 1) & mask;
        slots_[i] = name;
    }
}

NameTable::Name const* NameTable::find(xmlDictPtr dict, char const* prefix, char const* local) {
    if (!local) return nullptr;
    Name* first = slots_.empty() ? nullptr : lookup(local);
    for (Name* n = first; n; n = n->next)
        if (prefix ? n->prefixed && n->prefix == prefix : !n->prefixed) return n;
    if (!first && !(dict && xmlDictOwns(dict, reinterpret_cast<xmlChar const*>(local)) == 1)) return nullptr;
    if (!first && (names_.size() + 1) * 2 > slots_.size()) grow();
    Name& made = names_.emplace_back(Name{local, prefix ? prefix : "", prefix != nullptr, {}, nullptr, nextSerial()});
    appendQualified(made.wide, prefix, local);
    if (first) {
        made.next = first->next;
        first->next = &made;
    } else {
        size_t const mask = slots_.size() - 1;
        size_t i = hashOf(local) & mask;
        while (slots_[i]) i = (i + 1) & mask;
        slots_[i] = &made;
    }
    return &made;
}

HRESULT Node::readName(wchar_t const** name, size_t* length) { return readNameKey(name, length, nullptr); }

HRESULT Node::readNameKey(wchar_t const** name, size_t* length, uint64_t* key) {
    if (!name) return E_POINTER;
    if (key) *key = 0;
    *name = nullptr;
    if (!alive(*this)) return E_FAIL;
    switch (kind) {
    case Kind::NsDecl:
        // Declarations are few; their prefixes are no dictionary names.
        return ns->prefix ? qualifiedName(nullptr, "xmlns", chars(ns->prefix), name, length, key)
                          : constantName(L"xmlns", name, length);
    case Kind::Decl: return constantName(L"xml", name, length);
    default: break;
    }
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
        return qualifiedName(content, node->ns && node->ns->prefix ? chars(node->ns->prefix) : nullptr,
                             chars(node->name), name, length, key);
    case XML_TEXT_NODE: return constantName(L"#text", name, length);
    case XML_CDATA_SECTION_NODE: return constantName(L"#cdata-section", name, length);
    case XML_COMMENT_NODE: return constantName(L"#comment", name, length);
    case XML_DOCUMENT_FRAG_NODE: return constantName(L"#document-fragment", name, length);
    default: return qualifiedName(content, nullptr, chars(node->name), name, length, key);
    }
}

HRESULT Node::readTextUtf8(char const** text, size_t* bytes) {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (!alive(*this)) return E_FAIL;
    switch (kind) {
    case Kind::Text:
    case Kind::CData:
    case Kind::Comment:
    case Kind::PI:
    case Kind::Decl: return lend(node->content, text, bytes);
    case Kind::Attribute: return attributeText(node, text, bytes);
    case Kind::NsDecl: return lend(ns->href, text, bytes);
    case Kind::Element: {
        xmlNodePtr first = node->children;
        if (!first || first->type != XML_TEXT_NODE) return giveNone(text, bytes);
        return lend(first->content, text, bytes);
    }
    default: return giveNone(text, bytes);
    }
}

HRESULT Node::readText(wchar_t const** text, size_t* length) {
    if (!text) return E_POINTER;
    char const* utf8 = nullptr;
    size_t n = 0;
    HRESULT const hr = readTextUtf8(&utf8, &n);
    return widen(hr, utf8, n, text, length);
}

HRESULT Node::readAttributeUtf8(wchar_t const* name, char const** value, size_t* bytes) {
    return readNamedAttributeUtf8(name ? utf8Of(name).c_str() : nullptr, value, bytes);
}

HRESULT Node::readNamedAttributeUtf8(char const* name, char const** value, size_t* bytes) {
    if (!value) return E_POINTER;
    *value = nullptr;
    xmlNodePtr element = liveElement(*this);
    if (!element) return E_FAIL;
    if (!name) return giveNone(value, bytes);
    if (xmlNsPtr decl = findNsDecl(element, name)) return lend(decl->href, value, bytes);
    xmlAttrPtr attr = findAttribute(element, name);
    if (!attr) return giveNone(value, bytes);
    return attributeText(reinterpret_cast<xmlNodePtr>(attr), value, bytes);
}

// The strings are the tree's own: a name's prefix and local part as they
// are, no qualified name joined or interned here.
HRESULT Node::scanAttributeNamesUtf8(IXMLAttributeNameSink* sink) {
    if (!sink) return E_POINTER;
    xmlNodePtr element = liveElement(*this);
    if (!element) return E_FAIL;
    auto give = [sink](char const* prefix, char const* local) {
        sink->name(XMLTreeName{prefix, prefix ? strlen(prefix) : 0, local, strlen(local)});
    };
    for (xmlNsPtr decl = element->nsDef; decl; decl = decl->next)
        decl->prefix ? give("xmlns", chars(decl->prefix)) : give(nullptr, "xmlns");
    for (xmlAttrPtr attr = element->properties; attr; attr = attr->next)
        give(attr->ns && attr->ns->prefix ? chars(attr->ns->prefix) : nullptr, chars(attr->name));
    return S_OK;
}

HRESULT Node::readAttribute(wchar_t const* name, wchar_t const** value, size_t* length) {
    if (!value) return E_POINTER;
    char const* utf8 = nullptr;
    size_t n = 0;
    HRESULT const hr = readAttributeUtf8(name, &utf8, &n);
    return widen(hr, utf8, n, value, length);
}

// One step from `previous`, so a scan over all attributes stays linear.
HRESULT Node::nextAttribute(IXMLDOMAttribute* previous, IXMLDOMAttribute** next) {
    if (!next) return E_POINTER;
    *next = nullptr;
    xmlNodePtr element = liveElement(*this);
    if (!element) return E_FAIL;
    xmlNsPtr decl = element->nsDef;
    xmlAttrPtr attr = element->properties;
    if (previous) {
        auto const* prev = static_cast<Node const*>(previous);
        if (prev->kind == Kind::NsDecl && prev->owner == this && prev->liveNs()) {
            decl = prev->ns->next;
        } else if (prev->kind == Kind::Attribute && prev->node && prev->node->parent == element) {
            decl = nullptr;
            attr = reinterpret_cast<xmlAttrPtr>(prev->node)->next;
        } else {
            return E_INVALIDARG;
        }
    }
    IXMLDOMNode* found = decl   ? wrapNsDecl(element, decl)
                         : attr ? wrapNode(reinterpret_cast<xmlNodePtr>(attr))
                                : nullptr;
    if (!found) return decl || attr ? E_FAIL : S_FALSE;
    *next = static_cast<IXMLDOMAttribute*>(static_cast<Node*>(static_cast<IXMLDOMElement*>(found)));
    return S_OK;
}

}  // namespace mx
