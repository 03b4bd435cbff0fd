#include "platform/msxml6/sax_attributes.h"

#include <cassert>
#include <cwchar>
#include <new>

#include "platform/msxml6/engine.h"

namespace mx {

namespace {

constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

}  // namespace

ComPtr<SaxAttributes> SaxAttributes::create() {
    auto r = ComPtr<SaxAttributes>::adopt(new (std::nothrow) SaxAttributes);
    if (r) r->clear();
    return r;
}

void SaxAttributes::clear() {
    entries_.clear();
    pool_.clear();
}

WideText SaxAttributes::keep(std::string_view utf8) {
    if (utf8.empty()) return {};
    assert(pool_.hasRoom(utf8.size() + 1));  // assign() reserved it
    int length = 0;
    size_t offset = pool_.appendTerminated(utf8, &length);
    return WideText{pool_.at(offset), length};
}

WideText SaxAttributes::keepQName(std::string_view prefix, std::string_view local) {
    assert(pool_.hasRoom(prefix.size() + local.size() + 2));
    size_t offset = pool_.size();
    size_t n = pool_.append(prefix);
    pool_.push(L':');
    n += 1 + pool_.append(local);
    pool_.push(L'\0');
    return WideText{pool_.at(offset), static_cast<int>(n)};
}

void SaxAttributes::assign(std::span<NsDecl const> declarations, std::span<AttrEvent const> attributes,
                           NameCache* cache) {
    clear();
    // Never more characters than UTF-8 bytes: with this much room the pool
    // does not move while the texts handed out point into it.
    size_t room = 0;
    for (NsDecl const& d : declarations) room += kXmlnsNamespace.size() + 2 * (d.prefix.size() + 6) + d.uri.size() + 5;
    for (AttrEvent const& a : attributes) {
        room += a.value.size() + 1;
        if (!cache) room += a.uri.size() + a.prefix.size() + 2 * a.local.size() + 4;
    }
    pool_.reserve(room);
    for (NsDecl const& d : declarations) {
        WideText local = keep(d.prefix.empty() ? std::string_view("xmlns") : d.prefix);
        WideText qname = d.prefix.empty() ? local : keepQName("xmlns", d.prefix);
        entries_.push_back(Entry{keep(kXmlnsNamespace), local, qname, keep(d.uri)});
    }
    for (AttrEvent const& a : attributes) {
        Entry e;
        if (cache) {
            e.uri = cache->get(a.uri.data());
            e.local = cache->get(a.local.data());
            e.qname = a.prefix.empty() ? e.local : cache->qualified(a.prefix.data(), a.local.data());
        } else {
            e.uri = keep(a.uri);
            e.local = keep(a.local);
            e.qname = a.prefix.empty() ? e.local : keepQName(a.prefix, a.local);
        }
        e.value = keep(a.value);
        entries_.push_back(e);
    }
}

void SaxAttributes::assignParsed(int count, xmlChar const** tuples, NameCache& cache) {
    clear();
    size_t room = 0;
    for (int i = 0; i < count; ++i) room += static_cast<size_t>(tuples[5 * i + 4] - tuples[5 * i + 3]) + 1;
    pool_.reserve(room);
    entries_.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        xmlChar const** t = tuples + 5 * i;  // local, prefix, URI, value begin, value end
        Entry& e = entries_[static_cast<size_t>(i)];
        e.uri = cache.get(t[2]);
        e.local = cache.get(t[0]);
        e.qname = t[1] ? cache.qualified(t[1], t[0]) : e.local;
        e.value = keep(std::string_view(reinterpret_cast<char const*>(t[3]), static_cast<size_t>(t[4] - t[3])));
    }
}

HRESULT SaxAttributes::give(int index, WideText Entry::*field, wchar_t const** text, int* length) const {
    if (index < 0 || index >= size()) return E_INVALIDARG;
    return give(entries_[static_cast<size_t>(index)].*field, text, length);
}

HRESULT SaxAttributes::give(WideText const& t, wchar_t const** text, int* length) {
    if (!text || !length) return E_POINTER;
    *text = t.text;
    *length = t.length;
    return S_OK;
}

bool SaxAttributes::equals(WideText const& t, wchar_t const* text, int length) {
    return t.length == length && (length == 0 || wmemcmp(t.text, text, static_cast<size_t>(length)) == 0);
}

HRESULT SaxAttributes::getLength(int* length) {
    if (!length) return E_POINTER;
    *length = size();
    return S_OK;
}

HRESULT SaxAttributes::getValueFromName(wchar_t const* uri, int uriLength, wchar_t const* localName,
                                        int localNameLength, wchar_t const** value, int* length) {
    if (!localName) return E_INVALIDARG;
    uriLength = lengthOf(uri, uriLength);
    localNameLength = lengthOf(localName, localNameLength);
    for (Entry const& e : entries_)
        if (equals(e.local, localName, localNameLength) && equals(e.uri, uri, uriLength))
            return give(e.value, value, length);
    return E_INVALIDARG;
}

}  // namespace mx
