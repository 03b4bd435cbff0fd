// The attribute list handed to startElement. One list serves a whole parse
// and is refilled for every start tag, so a start tag costs no allocation
// once the buffers have grown; its strings are valid during the callback only.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/msxml6/msxml6.h"
#include "platform/msxml6/com.h"
#include "platform/msxml6/sax_text.h"
#include "platform/msxml6/sax_walk.h"

namespace mx {

class MX_INTERNAL SaxAttributes final : public ComObject<ISAXAttributes, IID_ISAXAttributes> {
public:
    static ComPtr<SaxAttributes> create();

    // Fills the list for one start tag: xmlns declarations first (when
    // listed as attributes), then the attributes. With a cache, names are
    // taken from it (they must be interned, see NameCache); values, and
    // names without a cache, are converted into the list's own buffer.
    void assign(std::span<NsDecl const> declarations, std::span<AttrEvent const> attributes, NameCache* cache);
    // The same from libxml2's start-tag callback: `count` tuples of (local
    // name, prefix, URI, value begin, value end), names interned.
    void assignParsed(int count, xmlChar const** tuples, NameCache& cache);
    void clear();
    int size() const { return static_cast<int>(entries_.size()); }

    // ISAXAttributes
    HRESULT getLength(int* length) override;
    HRESULT getURI(int index, wchar_t const** uri, int* length) override {
        return give(index, &Entry::uri, uri, length);
    }
    HRESULT getLocalName(int index, wchar_t const** name, int* length) override {
        return give(index, &Entry::local, name, length);
    }
    HRESULT getQName(int index, wchar_t const** name, int* length) override {
        return give(index, &Entry::qname, name, length);
    }
    HRESULT getValue(int index, wchar_t const** value, int* length) override {
        return give(index, &Entry::value, value, length);
    }
    HRESULT getValueFromName(wchar_t const* uri, int uriLength, wchar_t const* localName, int localNameLength,
                             wchar_t const** value, int* length) override;

private:
    struct Entry {
        WideText uri, local, qname, value;
    };

    SaxAttributes() = default;
    ~SaxAttributes() override = default;

    WideText keep(std::string_view utf8);
    WideText keepQName(std::string_view prefix, std::string_view local);
    // One field of the entry at `index`; E_INVALIDARG out of range.
    HRESULT give(int index, WideText Entry::*field, wchar_t const** text, int* length) const;
    static HRESULT give(WideText const& t, wchar_t const** text, int* length);
    static bool equals(WideText const& t, wchar_t const* text, int length);

    WideBuffer pool_;  // values and uncached names, NUL-terminated; reserved up front so it never moves
    std::vector<Entry> entries_;
};

}  // namespace mx
