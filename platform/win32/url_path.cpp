// PathCreateFromUrlW: the local path that a file: URL names.
//
// "file:///a%20b" and "file://localhost/a%20b" give "/a b", "file:/a" gives
// "/a". Escapes are bytes of UTF-8, as in every file: URL made here. Another
// host, another scheme, a bad escape or an escaped NUL is E_INVALIDARG.
#include <strings.h>

#include <cwchar>
#include <string>

#include "platform/win32/wide_path.h"
#include "platform/win32/win32.h"

namespace {

int hexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// The part after "file:" that names the path, or null for another host.
wchar_t const* pathPart(wchar_t const* rest) {
    if (wcsncmp(rest, L"//", 2) != 0) return *rest == L'/' ? rest : nullptr;
    rest += 2;
    if (wcsncasecmp(rest, L"localhost/", 10) == 0) rest += 9;
    return *rest == L'/' ? rest : nullptr;
}

// Strict UTF-8 to code points; false for malformed input or a NUL.
bool decodeUtf8(std::string const& in, std::wstring& out) {
    for (size_t i = 0; i < in.size();) {
        auto b = static_cast<unsigned char>(in[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || in.size() - i <= static_cast<size_t>(extra)) return false;
        uint32_t u = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            auto c = static_cast<unsigned char>(in[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            u = (u << 6) | (c & 0x3F);
        }
        static uint32_t const least[] = {0, 0x80, 0x800, 0x10000};
        if (u == 0 || u < least[extra] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
        out += static_cast<wchar_t>(u);
        i += extra + 1;
    }
    return true;
}

}  // namespace

HRESULT PathCreateFromUrlW(wchar_t const* url, wchar_t* path, DWORD* size, DWORD) {
    if (!url || !path || !size) return E_INVALIDARG;
    if (wcsncasecmp(url, L"file:", 5) != 0) return E_INVALIDARG;
    wchar_t const* rest = pathPart(url + 5);
    if (!rest) return E_INVALIDARG;
    // Plain runs are encoded as file names are; escapes are bytes already.
    std::string bytes;
    std::wstring run;
    for (; *rest; ++rest) {
        if (*rest != L'%') {
            run += *rest;
            continue;
        }
        int high = hexValue(rest[1]);
        int low = high < 0 ? -1 : hexValue(rest[2]);
        if (low < 0) return E_INVALIDARG;
        bytes += quillwin32::pathToUtf8(run.c_str());
        run.clear();
        bytes += static_cast<char>(high * 16 + low);
        rest += 2;
    }
    bytes += quillwin32::pathToUtf8(run.c_str());
    std::wstring decoded;
    if (!decodeUtf8(bytes, decoded)) return E_INVALIDARG;
    if (decoded.size() + 1 > *size) {
        *size = static_cast<DWORD>(decoded.size() + 1);
        return E_POINTER;
    }
    wmemcpy(path, decoded.c_str(), decoded.size() + 1);
    *size = static_cast<DWORD>(decoded.size());
    return S_OK;
}
