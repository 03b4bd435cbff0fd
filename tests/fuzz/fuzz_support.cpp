#include "fuzz_support.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/msxml6/engine.h"

namespace fuzz {

std::wstring take(BSTR s) {
    std::wstring out = s ? std::wstring(s, SysStringLen(s)) : std::wstring();
    SysFreeString(s);
    return out;
}

std::wstring fromUtf8(uint8_t const* data, size_t size) {
    return mx::toWide(reinterpret_cast<char const*>(data), size);
}

std::wstring codePoints(uint8_t const* data, size_t size) {
    std::wstring out;
    out.reserve(size);
    for (size_t i = 0; i < size;) {
        if (data[i] < 0x80 || size - i < 3) {
            out += static_cast<wchar_t>(data[i++]);
            continue;
        }
        uint32_t v = (uint32_t(data[i] & 0x7F) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        out += static_cast<wchar_t>(v % 0x110000);
        i += 3;
    }
    return out;
}

VARIANT objectVariant(IUnknown* object, VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    v.punkVal = object;
    return v;
}

ComPtr<IXMLDOMDocument3> newDocument() {
    return create<IXMLDOMDocument3>(CLSID_FreeThreadedDOMDocument60, IID_IXMLDOMDocument3);
}

bool loadText(IXMLDOMDocument3* doc, std::wstring const& text) {
    Bstr arg(text);
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(doc->loadXML(arg, &ok)) && ok == VARIANT_TRUE;
}

bool loadBytes(IXMLDOMDocument3* doc, uint8_t const* data, size_t size) {
    ComPtr<IStream> stream = memoryStream(data, size, 4096);
    VARIANT_BOOL ok = VARIANT_FALSE;
    return SUCCEEDED(doc->load(objectVariant(stream.get()), &ok)) && ok == VARIANT_TRUE;
}

namespace {

class MemoryStream final : public mx::ComObject<IStream, IID_IStream> {
public:
    MemoryStream(uint8_t const* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}

    HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
        size_t n = std::min({static_cast<size_t>(size), piece_, size_ - pos_});
        if (n) memcpy(buffer, data_ + pos_, n);
        pos_ += n;
        if (read) *read = static_cast<ULONG>(n);
        return S_OK;
    }
    HRESULT Write(void const*, ULONG, ULONG* written) override {
        if (written) *written = 0;
        return STG_E_ACCESSDENIED;
    }

private:
    uint8_t const* data_;
    size_t size_;
    size_t piece_;
    size_t pos_ = 0;
};

// Reads every string it is given, so that a bad pointer or length shows.
class Reader final : public ISAXContentHandler,
                     public ISAXLexicalHandler,
                     public ISAXErrorHandler,
                     private mx::RefCounted {
public:
    size_t events = 0;

    HRESULT QueryInterface(REFIID riid, void** out) override {
        *out = riid == IID_IUnknown || riid == IID_ISAXContentHandler ? static_cast<ISAXContentHandler*>(this)
               : riid == IID_ISAXLexicalHandler ? static_cast<void*>(static_cast<ISAXLexicalHandler*>(this))
               : riid == IID_ISAXErrorHandler   ? static_cast<void*>(static_cast<ISAXErrorHandler*>(this))
                                                : nullptr;
        return *out ? AddRef(), S_OK : E_NOINTERFACE;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }

    HRESULT putDocumentLocator(ISAXLocator*) override { return S_OK; }
    HRESULT startDocument() override { return note(); }
    HRESULT endDocument() override { return note(); }
    HRESULT startPrefixMapping(wchar_t const* p, int pl, wchar_t const* u, int ul) override { return note(p, pl, u, ul); }
    HRESULT endPrefixMapping(wchar_t const* p, int pl) override { return note(p, pl); }
    HRESULT startElement(wchar_t const* u, int ul, wchar_t const* l, int ll, wchar_t const* q, int ql,
                         ISAXAttributes* a) override {
        int n = 0;
        if (a) a->getLength(&n);
        for (int i = 0; i < n; ++i) {
            wchar_t const *au = nullptr, *al = nullptr, *aq = nullptr, *av = nullptr;
            int aul = 0, all = 0, aql = 0, avl = 0;
            a->getURI(i, &au, &aul), a->getLocalName(i, &al, &all), a->getQName(i, &aq, &aql), a->getValue(i, &av, &avl);
            note(au, aul, al, all, aq, aql), note(av, avl);
        }
        return note(u, ul, l, ll, q, ql);
    }
    HRESULT endElement(wchar_t const* u, int ul, wchar_t const* l, int ll, wchar_t const* q, int ql) override {
        return note(u, ul, l, ll, q, ql);
    }
    HRESULT characters(wchar_t const* c, int n) override { return note(c, n); }
    HRESULT ignorableWhitespace(wchar_t const* c, int n) override { return note(c, n); }
    HRESULT processingInstruction(wchar_t const* t, int tl, wchar_t const* d, int dl) override { return note(t, tl, d, dl); }
    HRESULT skippedEntity(wchar_t const* n, int l) override { return note(n, l); }
    HRESULT startDTD(wchar_t const* n, int nl, wchar_t const* p, int pl, wchar_t const* s, int sl) override {
        return note(n, nl, p, pl, s, sl);
    }
    HRESULT endDTD() override { return note(); }
    HRESULT startEntity(wchar_t const* n, int l) override { return note(n, l); }
    HRESULT endEntity(wchar_t const* n, int l) override { return note(n, l); }
    HRESULT startCDATA() override { return note(); }
    HRESULT endCDATA() override { return note(); }
    HRESULT comment(wchar_t const* c, int n) override { return note(c, n); }
    HRESULT error(ISAXLocator*, wchar_t const* m, HRESULT) override { return note(m, -1); }
    HRESULT fatalError(ISAXLocator* l, wchar_t const* m, HRESULT) override {
        int line = 0, column = 0;
        if (l) l->getLineNumber(&line), l->getColumnNumber(&column);
        return note(m, -1);
    }
    HRESULT ignorableWarning(ISAXLocator*, wchar_t const* m, HRESULT) override { return note(m, -1); }

private:
    // One event; sums every unit of each (text, length) pair, a length
    // below 0 meaning NUL-terminated.
    template <class... Texts>
    HRESULT note(Texts... texts) {
        ++events;
        if constexpr (sizeof...(texts) > 0) sum(texts...);
        return S_OK;
    }
    template <class... More>
    void sum(wchar_t const* s, int n, More... more) {
        size_t const length = !s ? 0 : n < 0 ? wcslen(s) : static_cast<size_t>(n);
        for (size_t i = 0; i < length; ++i) sum_ += static_cast<uint32_t>(s[i]);
        if constexpr (sizeof...(more) > 0) sum(more...);
    }

    uint32_t sum_ = 0;
};

}  // namespace

ComPtr<IStream> memoryStream(uint8_t const* data, size_t size, size_t piece) {
    return ComPtr<IStream>::adopt(new MemoryStream(data, size, std::max<size_t>(piece, 1)));
}

size_t saxEvents(uint8_t const* data, size_t size) {
    ComPtr<ISAXXMLReader> reader;
    if (FAILED(mx::createSAXXMLReader(IID_ISAXXMLReader, reinterpret_cast<void**>(reader.put()))))
        fail("no SAX reader");
    auto handler = ComPtr<Reader>::adopt(new Reader);
    reader->putContentHandler(handler.get());
    reader->putErrorHandler(handler.get());
    reader->putProperty(SAX_PROPERTY_LEXICAL_HANDLER, objectVariant(static_cast<ISAXContentHandler*>(handler.get())));
    ComPtr<IStream> stream = memoryStream(data, size, 1 + size % 61);
    reader->parse(objectVariant(stream.get()));
    return handler->events;
}

namespace {

// In memory where the system has such a folder: saves sync their files,
// which on a disk would cost more than the rest of a run.
std::filesystem::path scratchParent() {
    std::error_code ignored;
    if (std::filesystem::is_directory("/dev/shm", ignored)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

std::string makeScratchDir() {
    std::string pattern = (scratchParent() / "quill-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) fail("no scratch folder");
    static std::string const removeAtExit = pattern;
    atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(removeAtExit, ignored);
    });
    return pattern;
}

}  // namespace

std::string const& scratchDir() {
    static std::string const dir = makeScratchDir();
    return dir;
}

std::wstring scratchFile(char const* name) {
    std::string path = scratchDir() + "/" + name;
    return std::wstring(path.begin(), path.end());
}

void fail(char const* what) {
    fprintf(stderr, "fuzz oracle: %s\n", what);
    fflush(stderr);
    __builtin_trap();
}

}  // namespace fuzz
