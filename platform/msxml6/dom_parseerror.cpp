// IXMLDOMParseError: an immutable record of why a load or validation failed.
#include "platform/msxml6/com.h"
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

class ParseError final : public ComObject<IXMLDOMParseError, IID_IXMLDOMParseError> {
public:
    ParseError(long code, std::wstring reason, long line, long column)
        : code_(code), reason_(std::move(reason)), line_(line), column_(column) {}

    HRESULT get_errorCode(long* code) override { return giveLong(code_, code); }
    HRESULT get_reason(BSTR* reason) override { return giveString(reason_, reason); }
    HRESULT get_line(long* line) override { return giveLong(line_, line); }
    HRESULT get_linepos(long* column) override { return giveLong(column_, column); }

private:
    ~ParseError() override = default;
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
