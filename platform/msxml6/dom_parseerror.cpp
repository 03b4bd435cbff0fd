// IXMLDOMParseError: an immutable record of why a load or validation failed.
#include <atomic>

#include "platform/msxml6/engine.h"

namespace mx {

namespace {

HRESULT giveString(std::wstring const& s, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(s.data(), static_cast<unsigned>(s.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT giveLong(long v, long* out) {
    if (!out) return E_POINTER;
    *out = v;
    return S_OK;
}

class ParseError final : public IXMLDOMParseError {
public:
    ParseError(long code, std::wstring reason, long line, long column)
        : code_(code), reason_(std::move(reason)), line_(line), column_(column) {}

    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IXMLDOMParseError) {
            *out = static_cast<IXMLDOMParseError*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT get_errorCode(long* code) override { return giveLong(code_, code); }
    HRESULT get_url(BSTR* url) override { return giveString(std::wstring(), url); }
    HRESULT get_reason(BSTR* reason) override { return giveString(reason_, reason); }
    HRESULT get_srcText(BSTR* text) override { return giveString(std::wstring(), text); }
    HRESULT get_line(long* line) override { return giveLong(line_, line); }
    HRESULT get_linepos(long* column) override { return giveLong(column_, column); }
    HRESULT get_filepos(long* position) override { return giveLong(0, position); }

private:
    ~ParseError() = default;
    std::atomic<ULONG> refs_{1};
    long code_;
    std::wstring reason_;
    long line_;
    long column_;
};

}  // namespace

IXMLDOMParseError* newParseError(long code, std::wstring const& reason, long line, long column) {
    return new ParseError(code, reason, line, column);
}

}  // namespace mx
