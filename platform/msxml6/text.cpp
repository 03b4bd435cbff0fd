// UTF-8 <-> wchar_t conversion for the engine: a validating hand loop with an
// ASCII fast path (libxml2 speaks UTF-8, the COM surface speaks wchar_t).
#include <cstdint>
#include <cstring>

#include "platform/msxml6/engine.h"
#include "platform/msxml6/sax_text.h"

namespace mx {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool isValidCodePoint(uint32_t c) { return c < 0x110000 && (c < 0xD800 || c > 0xDFFF); }

}  // namespace

void appendUtf8(std::string& out, wchar_t const* s, size_t n) {
    size_t pos = out.size();
    out.resize(pos + n * 4);
    char* p = out.data() + pos;
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = static_cast<uint32_t>(s[i]);
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
            continue;
        }
        if (!isValidCodePoint(c)) c = kReplacement;
        if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *p++ = static_cast<char>(0xF0 | (c >> 18));
            *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    out.resize(static_cast<size_t>(p - out.data()));
}

std::string toUtf8(wchar_t const* s, size_t n) {
    std::string out;
    appendUtf8(out, s, n);
    return out;
}

std::string parserInputUtf8(wchar_t const* s, size_t n) {
    std::string out;
    size_t run = 0;  // start of the run of ordinary code points not yet written
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = static_cast<uint32_t>(s[i]);
        if (c != 0 && isValidCodePoint(c)) continue;
        appendUtf8(out, s + run, i - run);
        run = i + 1;
        if (c == 0) {
            out += '\0';
        } else if (c <= 0xDFFF) {  // a surrogate as the three bytes of its value: the parser names it
            out += static_cast<char>(0xED);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += "\xF4\x90\x80\x80";  // U+110000, which the parser refuses as such
        }
    }
    appendUtf8(out, s + run, n - run);
    return out;
}

std::string toUtf8(wchar_t const* s) { return s ? toUtf8(s, wcslen(s)) : std::string(); }

namespace {

// Eight bytes of s from i are all ASCII.
bool asciiWord(unsigned char const* s, size_t i) {
    uint64_t word;
    memcpy(&word, s + i, 8);
    return (word & 0x8080808080808080ULL) == 0;
}

// Decodes the n bytes of s into p (room for n units); returns the end.
wchar_t* decodeInto(wchar_t* p, unsigned char const* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time while they last.
        while (i + 8 <= n && asciiWord(s, i)) {
            for (int k = 0; k < 8; ++k) p[k] = s[i + k];
            p += 8;
            i += 8;
        }
        if (i >= n) break;
        *p++ = s[i] < 0x80 ? s[i++] : utf8::decodeSequence(s, n, i);
    }
    return p;
}

// How many units decodeInto writes for the same input.
size_t decodedLength(unsigned char const* s, size_t n) {
    size_t units = 0;
    for (size_t i = 0; i < n; ++units) {
        if (i + 8 <= n && asciiWord(s, i)) {
            units += 7;
            i += 8;
        } else if (s[i] < 0x80) {
            ++i;
        } else {
            utf8::decodeSequence(s, n, i);
        }
    }
    return units;
}

}  // namespace

size_t decodeUtf8(wchar_t* out, char const* text, size_t n) {
    return static_cast<size_t>(decodeInto(out, reinterpret_cast<unsigned char const*>(text), n) - out);
}

void appendWide(std::wstring& out, char const* text, size_t n) {
    size_t pos = out.size();
    out.resize(pos + n);
    out.resize(static_cast<size_t>(decodeInto(out.data() + pos, reinterpret_cast<unsigned char const*>(text), n) -
                                   out.data()));
}

std::wstring toWide(char const* s, size_t n) {
    std::wstring out;
    appendWide(out, s, n);
    return out;
}

std::wstring toWide(char const* s) { return s ? toWide(s, strlen(s)) : std::wstring(); }

// Sized exactly first, then decoded straight into the string: no scratch
// copy, which matters for whole-document text.
BSTR bstrFromUtf8(char const* s, size_t n) {
    auto const* bytes = reinterpret_cast<unsigned char const*>(s);
    size_t const units = decodedLength(bytes, n);
    if (units > UINT32_MAX / sizeof(OLECHAR)) return nullptr;
    BSTR out = SysAllocStringLen(nullptr, static_cast<unsigned>(units));
    if (out) decodeInto(out, bytes, n);
    return out;
}

BSTR bstrFromUtf8(char const* s) { return s ? bstrFromUtf8(s, strlen(s)) : nullptr; }

}  // namespace mx
