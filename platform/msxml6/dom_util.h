// Small helpers of the DOM: owned libxml2 strings and string results.
#pragma once

#include <libxml/tree.h>
#include <libxml/xmlstring.h>

#include <climits>
#include <cwchar>
#include <string>

#include "platform/msxml6/engine.h"

namespace mx {

// An xmlChar string from libxml2 that this code must xmlFree.
class XmlString {
public:
    explicit XmlString(xmlChar* s) noexcept : s_(s) {}
    XmlString(XmlString const&) = delete;
    XmlString& operator=(XmlString const&) = delete;
    ~XmlString() { xmlFree(s_); }
    xmlChar const* get() const noexcept { return s_; }
    char const* c_str() const noexcept { return reinterpret_cast<char const*>(s_); }

private:
    xmlChar* s_;
};

// Calls fn for every node of the subtree under `top` (itself included) until
// fn says false: attributes right after their element, their text after
// them; entity references and DTDs are not entered. Also false as soon as
// elements nest more than `depthLimit` levels (top's counting as the first).
// Iterative, so any depth.
template <class Fn>
bool everyNode(xmlNodePtr top, Fn fn, unsigned depthLimit = UINT_MAX) {
    auto elements = [](xmlNodePtr n) { return n->type == XML_ELEMENT_NODE ? 1u : 0u; };
    unsigned level = 0;  // elements from top down to cur, cur included
    for (xmlNodePtr cur = top; cur;) {
        level += elements(cur);
        if (level > depthLimit || !fn(cur)) return false;
        if (cur->type == XML_ELEMENT_NODE) {
            for (xmlAttrPtr a = cur->properties; a; a = a->next) {
                if (!fn(reinterpret_cast<xmlNodePtr>(a))) return false;
                for (xmlNodePtr t = a->children; t; t = t->next)
                    if (!fn(t)) return false;
            }
        }
        if (cur->children && cur->type != XML_ENTITY_REF_NODE && cur->type != XML_DTD_NODE) {
            cur = cur->children;
            continue;
        }
        while (cur != top && !cur->next) {
            level -= elements(cur);
            cur = cur->parent;
        }
        if (cur == top) break;
        level -= elements(cur);
        cur = cur->next;
    }
    return true;
}

// Whether some element of the tree under `top` lies deeper than `limit`.
inline bool exceedsTreeDepth(xmlNodePtr top, unsigned limit = kMaxTreeDepth) {
    return top && !everyNode(
                      top, [](xmlNodePtr) { return true; }, limit);
}

// The same for every node, with no early stop.
template <class Fn>
void forEachInSubtree(xmlNodePtr top, Fn fn) {
    everyNode(top, [&](xmlNodePtr n) {
        fn(n);
        return true;
    });
}

inline char const* chars(xmlChar const* s) { return reinterpret_cast<char const*>(s); }
inline xmlChar const* xstr(std::string const& s) { return reinterpret_cast<xmlChar const*>(s.c_str()); }

// Incoming strings are read up to their NUL: callers may hand plain wide
// strings where a BSTR is declared.
inline std::string utf8Of(wchar_t const* s) { return s ? toUtf8(s, wcslen(s)) : std::string(); }

// Returns UTF-8 text as a new BSTR; null text gives an empty string.
inline HRESULT giveText(char const* utf8, BSTR* out) {
    if (!out) return E_POINTER;
    *out = utf8 ? bstrFromUtf8(utf8) : SysAllocStringLen(L"", 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}
inline HRESULT giveText(xmlChar const* utf8, BSTR* out) { return giveText(chars(utf8), out); }
inline HRESULT giveText(std::string const& utf8, BSTR* out) {
    if (!out) return E_POINTER;
    *out = bstrFromUtf8(utf8.data(), utf8.size());
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Hands out a node (S_FALSE for none), releasing it when there is nowhere to put it.
inline HRESULT giveNode(IXMLDOMNode* node, IXMLDOMNode** out) {
    if (!out) {
        if (node) node->Release();
        return E_POINTER;
    }
    *out = node;
    return node ? S_OK : S_FALSE;
}

}  // namespace mx
