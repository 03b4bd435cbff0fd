#include "platform/host/utf8.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool encodable(uint32_t c) { return c < 0x110000 && (c < 0xD800 || c > 0xDFFF); }

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Bounds of the second byte of a sequence by lead byte: they exclude
// overlong forms, surrogates and values above U+10FFFF up front, so that a
// bad sequence is replaced from its first offending byte on (the maximal
// subpart rule) and the decoder never needs to check the value afterwards.
bool secondByteOk(unsigned char lead, unsigned char b) {
    switch (lead) {
    case 0xE0: return b >= 0xA0 && b <= 0xBF;
    case 0xED: return b >= 0x80 && b <= 0x9F;
    case 0xF0: return b >= 0x90 && b <= 0xBF;
    case 0xF4: return b >= 0x80 && b <= 0x8F;
    default: return isContinuation(b);
    }
}

// Decodes the multi-byte sequence at s[i] (s[i] >= 0x80) and advances i. The
// text is null-terminated, and 0 is never a continuation byte, so the reads
// stop at the terminator.
uint32_t decodeSequence(unsigned char const* s, size_t& i) {
    unsigned char const lead = s[i];
    int extra;
    uint32_t c;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        c = lead & 0x07;
    } else {
        ++i;
        return kReplacement;
    }
    ++i;
    for (int k = 0; k < extra; ++k, ++i) {
        unsigned char const b = s[i];
        if (k == 0 ? !secondByteOk(lead, b) : !isContinuation(b)) return kReplacement;
        c = (c << 6) | (b & 0x3F);
    }
    return c;
}

bool asciiWord(unsigned char const* s) {
    uint64_t word;
    memcpy(&word, s, 8);
    return (word & 0x8080808080808080ULL) == 0;
}

// Converts n bytes of UTF-8; with Write false only counts. Returns the
// number of wide units (no terminator).
template <bool Write>
size_t decode(unsigned char const* s, size_t n, wchar_t* out) {
    size_t i = 0, units = 0;
    while (i < n) {
        while (i + 8 <= n && asciiWord(s + i)) {
            if constexpr (Write)
                for (int k = 0; k < 8; ++k) out[units + k] = static_cast<wchar_t>(s[i + k]);
            units += 8;
            i += 8;
        }
        if (i >= n) break;
        uint32_t const c = s[i] < 0x80 ? s[i++] : decodeSequence(s, i);
        if constexpr (Write) out[units] = static_cast<wchar_t>(c);
        ++units;
    }
    return units;
}

size_t utf8Length(uint32_t c) {
    if (c < 0x80) return 1;
    if (!encodable(c)) c = kReplacement;
    return c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

size_t encodedSize(wchar_t const* s, size_t n) {
    size_t bytes = 0;
    for (size_t i = 0; i < n; ++i) {
        auto const c = static_cast<uint32_t>(s[i]);
        bytes += c < 0x80 ? 1 : utf8Length(c);
    }
    return bytes;
}

void encode(wchar_t const* s, size_t n, unsigned char* p) {
    for (size_t i = 0; i < n; ++i) {
        auto c = static_cast<uint32_t>(s[i]);
        if (c < 0x80) {
            *p++ = static_cast<unsigned char>(c);
            continue;
        }
        if (!encodable(c)) c = kReplacement;
        if (c < 0x800) {
            *p++ = static_cast<unsigned char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *p++ = static_cast<unsigned char>(0xE0 | (c >> 12));
            *p++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *p++ = static_cast<unsigned char>(0xF0 | (c >> 18));
            *p++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        }
        *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    *p = 0;
}

void* allocate(size_t bytes) {
    void* p = malloc(bytes);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

wchar_t* UTF8ToInternal(unsigned char const* src, wchar_t* buffer, size_t size) {
    if (!src) return nullptr;
    size_t const n = strlen(reinterpret_cast<char const*>(src));
    if (buffer) {
        // A unit never takes less than a byte, so n + 1 units always suffice.
        if (n + 1 > size && decode<false>(src, n, nullptr) + 1 > size) return nullptr;
        buffer[decode<true>(src, n, buffer)] = L'\0';
        return buffer;
    }
    auto* out = static_cast<wchar_t*>(allocate((n + 1) * sizeof(wchar_t)));
    size_t const units = decode<true>(src, n, out);
    out[units] = L'\0';
    // Give back what multi-byte text left unused when it is worth it.
    if (units + units / 4 < n) {
        if (void* smaller = realloc(out, (units + 1) * sizeof(wchar_t))) out = static_cast<wchar_t*>(smaller);
    }
    return out;
}

unsigned char* InternalToUTF8(wchar_t const* src, unsigned char* buffer, size_t size) {
    if (!src) return nullptr;
    size_t const n = wcslen(src);
    size_t const bytes = encodedSize(src, n);
    if (buffer) {
        if (bytes + 1 > size) return nullptr;
    } else {
        buffer = static_cast<unsigned char*>(allocate(bytes + 1));
    }
    encode(src, n, buffer);
    return buffer;
}

void kx_free(void const* p) { free(const_cast<void*>(p)); }
