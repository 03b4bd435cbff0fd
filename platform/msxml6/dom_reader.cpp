// IXMLDOMNodeReader: names and texts for tree walkers, without a BSTR, a
// VARIANT or a helper object per call.
//
// Texts are decoded into one buffer per thread. Names go through a small
// per-thread table keyed by libxml2's name pointers (the parser's names are
// shared through the document's dictionary, so a tree has few of them). A
// slot is trusted without reading the name again only when both pointers
// belonged to the dictionary of the same, still living, tree when the slot
// was filled: a dictionary never frees or changes a name. Any other pointer
// may have been freed and reused, so its text is compared.
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

// Grows by doubling and is never filled first: decoding writes straight
// into it.
struct TextBuffer {
    std::unique_ptr<wchar_t[]> data;
    size_t capacity = 0;

    wchar_t* reserve(size_t units) {
        if (units > capacity) {
            size_t const grown = std::max(units, capacity * 2);
            data.reset(new wchar_t[grown]);
            capacity = grown;
        }
        return data.get();
    }
};

// One slot per (prefix, local name) pair of pointers, direct-mapped.
struct NameSlot {
    void const* prefixKey = nullptr;
    void const* localKey = nullptr;
    uint64_t content = 0;  // serial of the tree whose dictionary owns both keys; 0: not trusted
    std::string prefix;    // the texts the wide name was made from
    std::string local;
    std::wstring wide;
    uint64_t stamp = 0;  // new with every fill: (wide's pointer, stamp) names one text
    bool used = false;
};

constexpr size_t kNameSlots = 512;
constexpr uint64_t kConstantStamp = 1;
constexpr uint64_t kFirstSlotStamp = 2;

struct ReaderState {
    TextBuffer text;
    NameSlot names[kNameSlots];
};

// A read made after the thread's state is gone (during its exit) uses a
// spare state of that thread's own.
[[gnu::noinline]] ReaderState& spareState() { return SpareState<ReaderState>::get(); }

inline ReaderState& threadState() {
    if (ReaderState* state = ThreadState<ReaderState>::get()) return *state;
    return spareState();
}

// Process-wide, so that a stamp never repeats even where a thread's buffers
// reuse another's memory. Fills are rare: the count costs nothing.
std::atomic<uint64_t> nameStamps{0};

HRESULT giveBuffer(char const* utf8, size_t n, wchar_t const** text, size_t* length) {
    wchar_t* out = threadState().text.reserve(n + 1);
    size_t const units = decodeUtf8(out, utf8, n);
    out[units] = L'\0';
    *text = out;
    if (length) *length = units;
    return S_OK;
}

HRESULT giveBuffer(xmlChar const* utf8, wchar_t const** text, size_t* length) {
    char const* s = utf8 ? chars(utf8) : "";
    return giveBuffer(s, strlen(s), text, length);
}

HRESULT giveNone(wchar_t const** text, size_t* length) {
    *text = nullptr;
    if (length) *length = 0;
    return S_FALSE;
}

bool sameText(std::string const& stored, char const* s) { return strcmp(stored.c_str(), s ? s : "") == 0; }

bool dictionaryOwns(xmlDictPtr dict, char const* name) {
    return !name || (dict && xmlDictOwns(dict, reinterpret_cast<xmlChar const*>(name)) == 1);
}

// "prefix:local", or "local" without a prefix, as a wide string, for a name
// of the tree `content` (null: a name of no tree).
wchar_t const* qualifiedName(DocContent const* content, char const* prefix, char const* local, size_t* length,
                             uint64_t* stamp) {
    auto const a = reinterpret_cast<uintptr_t>(prefix);
    auto const b = reinterpret_cast<uintptr_t>(local);
    NameSlot& slot = threadState().names[((a * 31) ^ b ^ (b >> 9)) / 8 % kNameSlots];
    bool const sameKeys = slot.used && slot.prefixKey == prefix && slot.localKey == local;
    bool const trusted = sameKeys && content && slot.content == content->serial;
    if (!trusted && !(sameKeys && sameText(slot.prefix, prefix) && sameText(slot.local, local))) {
        xmlDictPtr dict = content ? content->doc()->dict : nullptr;
        slot.prefixKey = prefix;
        slot.localKey = local;
        slot.content = dict && dictionaryOwns(dict, prefix) && dictionaryOwns(dict, local) ? content->serial : 0;
        slot.prefix = prefix ? prefix : "";
        slot.local = local ? local : "";
        slot.wide.clear();
        if (prefix) {
            appendWide(slot.wide, prefix, slot.prefix.size());
            slot.wide.push_back(L':');
        }
        appendWide(slot.wide, slot.local.data(), slot.local.size());
        slot.stamp = nameStamps.fetch_add(1, std::memory_order_relaxed) + kFirstSlotStamp;
        slot.used = true;
    }
    if (length) *length = slot.wide.size();
    if (stamp) *stamp = slot.stamp;
    return slot.wide.c_str();
}

// Literal names never change: one stamp serves them all.
wchar_t const* constantName(wchar_t const* name, size_t* length, uint64_t* stamp) {
    if (length) *length = wcslen(name);
    if (stamp) *stamp = kConstantStamp;
    return name;
}

bool alive(NodeBase const& self) { return self.kind == Kind::NsDecl ? self.liveNs() != nullptr : self.node != nullptr; }

xmlNodePtr liveElement(NodeBase const& self) { return self.kind == Kind::Element ? self.node : nullptr; }

// An attribute's text: its usual single text child in place, else a copy.
HRESULT attributeText(xmlNodePtr attr, wchar_t const** text, size_t* length) {
    xmlNodePtr only = attr->children;
    if (only && !only->next && (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE))
        return giveBuffer(only->content, text, length);
    XmlString content(xmlNodeGetContent(attr));
    return giveBuffer(content.get(), text, length);
}

}  // namespace

HRESULT Node::readName(wchar_t const** name, size_t* length) { return readNameStamped(name, length, nullptr); }

HRESULT Node::readNameStamped(wchar_t const** name, size_t* length, uint64_t* stamp) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (stamp) *stamp = 0;
    if (!alive(*this)) return E_FAIL;
    switch (kind) {
    case Kind::NsDecl:
        *name = ns->prefix ? qualifiedName(nullptr, "xmlns", chars(ns->prefix), length, stamp)
                           : constantName(L"xmlns", length, stamp);
        return S_OK;
    case Kind::Decl:
        *name = constantName(L"xml", length, stamp);
        return S_OK;
    default:
        break;
    }
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
        *name = qualifiedName(content, node->ns && node->ns->prefix ? chars(node->ns->prefix) : nullptr,
                              chars(node->name), length, stamp);
        return S_OK;
    case XML_TEXT_NODE:
        *name = constantName(L"#text", length, stamp);
        return S_OK;
    case XML_CDATA_SECTION_NODE:
        *name = constantName(L"#cdata-section", length, stamp);
        return S_OK;
    case XML_COMMENT_NODE:
        *name = constantName(L"#comment", length, stamp);
        return S_OK;
    case XML_DOCUMENT_FRAG_NODE:
        *name = constantName(L"#document-fragment", length, stamp);
        return S_OK;
    default:
        *name = qualifiedName(content, nullptr, chars(node->name), length, stamp);
        return S_OK;
    }
}

HRESULT Node::readText(wchar_t const** text, size_t* length) {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (!alive(*this)) return E_FAIL;
    switch (kind) {
    case Kind::Text:
    case Kind::CData:
    case Kind::Comment:
    case Kind::PI:
    case Kind::Decl:
        return giveBuffer(node->content, text, length);
    case Kind::Attribute:
        return attributeText(node, text, length);
    case Kind::NsDecl:
        return giveBuffer(ns->href, text, length);
    case Kind::Element: {
        xmlNodePtr first = node->children;
        if (!first || first->type != XML_TEXT_NODE) return giveNone(text, length);
        return giveBuffer(first->content, text, length);
    }
    default:
        return giveNone(text, length);
    }
}

HRESULT Node::readAttribute(wchar_t const* name, wchar_t const** value, size_t* length) {
    if (!value) return E_POINTER;
    *value = nullptr;
    xmlNodePtr element = liveElement(*this);
    if (!element) return E_FAIL;
    if (!name) return giveNone(value, length);
    std::string const qname = utf8Of(name);
    if (xmlNsPtr decl = findNsDecl(element, qname.c_str())) return giveBuffer(decl->href, value, length);
    xmlAttrPtr attr = findAttribute(element, qname.c_str());
    if (!attr) return giveNone(value, length);
    return attributeText(reinterpret_cast<xmlNodePtr>(attr), value, length);
}

HRESULT Node::attributeCount(long* count) {
    if (!count) return E_POINTER;
    *count = 0;
    xmlNodePtr element = liveElement(*this);
    if (!element) return E_FAIL;
    for (xmlNsPtr d = element->nsDef; d; d = d->next) ++*count;
    for (xmlAttrPtr a = element->properties; a; a = a->next) ++*count;
    return S_OK;
}

HRESULT Node::attributeAt(long index, IXMLDOMAttribute** attribute) {
    if (!attribute) return E_POINTER;
    *attribute = nullptr;
    xmlNodePtr element = liveElement(*this);
    if (!element) return E_FAIL;
    if (index < 0) return S_FALSE;
    IXMLDOMNode* found = nullptr;
    for (xmlNsPtr d = element->nsDef; d && !found; d = d->next)
        if (index-- == 0) found = wrapNsDecl(element, d);
    for (xmlAttrPtr a = element->properties; a && !found; a = a->next)
        if (index-- == 0) found = wrapNode(reinterpret_cast<xmlNodePtr>(a));
    if (!found) return index < 0 ? E_FAIL : S_FALSE;
    *attribute = static_cast<IXMLDOMAttribute*>(static_cast<Node*>(static_cast<IXMLDOMElement*>(found)));
    return S_OK;
}

// Only this engine's node objects answer IXMLDOMNodeReader.
HRESULT Node::moveToAttributeOf(IXMLDOMNodeReader* element, long index) {
    auto const* owner = static_cast<Node const*>(element);
    if (!owner || owner->kind != Kind::Element || !owner->node || owner->content != content) return S_FALSE;
    if (kind != Kind::Attribute || !node || refs != 2 || index < 0) return S_FALSE;
    for (xmlNsPtr d = owner->node->nsDef; d; d = d->next)
        if (index-- == 0) return S_FALSE;
    xmlAttrPtr target = owner->node->properties;
    while (target && index-- > 0) target = target->next;
    if (!target || target->_private) return S_FALSE;
    xmlNodePtr const old = node;
    old->_private = nullptr;
    node = reinterpret_cast<xmlNodePtr>(target);
    target->_private = static_cast<NodeBase*>(this);
    freeIfOrphan(old, content);  // kept while attached; freed when it had been removed
    return S_OK;
}

}  // namespace mx
