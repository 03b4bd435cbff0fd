// Text buffers of the SAX reader: UTF-8 from libxml2 becomes wchar_t for
// the handlers. Buffers keep their memory from one event to the next, and
// interned names are converted once per parse. The conversions run for
// every name, value and text of a document, so the common paths are inline.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Internal to the library: direct calls, no interposition, inlining allowed.
#define MX_INTERNAL __attribute__((visibility("hidden")))

namespace mx {

// A counted wide string handed to a handler.
struct WideText {
    wchar_t const* text = L"";
    int length = 0;
};

// A negative length means "NUL-terminated" (a common caller shortcut).
inline int lengthOf(wchar_t const* s, int length) {
    if (!s) return 0;
    return length < 0 ? static_cast<int>(wcslen(s)) : length;
}

namespace utf8 {

// Decodes one multi-byte sequence at s[i] (s[i] >= 0x80); advances i. Bad
// sequences give U+FFFD.
inline wchar_t decodeSequence(unsigned char const* s, size_t n, size_t& i) {
    constexpr wchar_t kReplacement = 0xFFFD;
    unsigned char b = s[i];
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (extra < 0 || b > 0xF4 || i + static_cast<size_t>(extra) >= n) {
        ++i;
        return kReplacement;
    }
    uint32_t c = b & (0x3Fu >> extra);
    for (int k = 1; k <= extra; ++k) {
        unsigned char t = s[i + static_cast<size_t>(k)];
        if ((t & 0xC0) != 0x80) {
            i += static_cast<size_t>(k);
            return kReplacement;
        }
        c = (c << 6) | (t & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    i += static_cast<size_t>(extra) + 1;
    bool valid = c >= kMin[extra] && c < 0x110000 && (c < 0xD800 || c > 0xDFFF);
    return valid ? static_cast<wchar_t>(c) : kReplacement;
}

// Blocks of 16 bytes may be read past the end of the input as long as they
// stay in its memory page (the bytes beyond are never used); the output
// needs kSlack characters of room beyond the decoded text. Not under the
// address or thread sanitizer, which would rightly see the read.
inline constexpr size_t kSlack = 16;

// g++ announces the address sanitizer with a macro, clang only as a feature.
#if defined(__SANITIZE_ADDRESS__)
#define MX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MX_ADDRESS_SANITIZER 1
#endif
#endif

inline bool blockReadable(unsigned char const* p, size_t left) {
#if defined(MX_ADDRESS_SANITIZER) || defined(__SANITIZE_THREAD__)
    (void)p;
    return left >= 16;
#else
    return left >= 16 || (reinterpret_cast<uintptr_t>(p) & 4095) <= 4096 - 16;
#endif
}

// Decodes into out (room for n + kSlack characters); returns the count.
inline size_t decode(wchar_t* out, char const* text, size_t n) {
    auto const* s = reinterpret_cast<unsigned char const*>(text);
    wchar_t* p = out;
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        // Sixteen ASCII bytes at a time, widened to 32 bits.
        while (i < n && blockReadable(s + i, n - i)) {
            __m128i bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(s + i));
            int high = _mm_movemask_epi8(bytes);
            size_t ascii = high ? static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(high))) : 16;
            __m128i zero = _mm_setzero_si128();
            __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
            auto* q = reinterpret_cast<__m128i*>(p);
            _mm_storeu_si128(q, _mm_unpacklo_epi16(lo, zero));
            _mm_storeu_si128(q + 1, _mm_unpackhi_epi16(lo, zero));
            _mm_storeu_si128(q + 2, _mm_unpacklo_epi16(hi, zero));
            _mm_storeu_si128(q + 3, _mm_unpackhi_epi16(hi, zero));
            if (ascii > n - i) ascii = n - i;
            p += ascii;
            i += ascii;
            if (ascii < 16) break;
        }
#endif
        if (i >= n) break;
        if (s[i] < 0x80)
            *p++ = s[i++];
        else
            *p++ = decodeSequence(s, n, i);
    }
    return static_cast<size_t>(p - out);
}

}  // namespace utf8

// A growable wchar_t buffer that, unlike std::wstring, does not clear the
// memory it is about to overwrite.
class MX_INTERNAL WideBuffer {
public:
    void clear() { size_ = 0; }
    size_t size() const { return size_; }
    wchar_t const* data() const { return buf_.get(); }
    wchar_t const* at(size_t offset) const { return buf_.get() + offset; }
    // Appends `text` decoded (bad bytes become U+FFFD); returns the number
    // of characters appended. No terminator.
    size_t append(std::string_view text) {
        reserve(text.size());  // never more characters than bytes
        size_t n = utf8::decode(buf_.get() + size_, text.data(), text.size());
        size_ += n;
        return n;
    }
    void push(wchar_t c) {
        reserve(1);
        buf_[size_++] = c;
    }
    // Appends `text` and a NUL; returns the offset of the text.
    size_t appendTerminated(std::string_view text, int* length) {
        size_t offset = size_;
        size_t n = append(text);
        buf_[size_++] = L'\0';  // append() left room for it (the slack)
        *length = static_cast<int>(n);
        return offset;
    }
    // Room for `n` more characters: no move until they are used up.
    void reserve(size_t n) {
        if (size_ + n + utf8::kSlack > cap_) grow(size_ + n + utf8::kSlack);
    }
    bool hasRoom(size_t n) const { return size_ + n + utf8::kSlack <= cap_; }

private:
    void grow(size_t n);

    std::unique_ptr<wchar_t[]> buf_;
    size_t size_ = 0;
    size_t cap_ = 0;
};

// Wide copies of libxml2's interned names (element and attribute names,
// prefixes, namespace URIs come from the parser's dictionary, which lives as
// long as the parse): looked up by the address of the UTF-8 string, so each
// distinct name is converted once. The copies stay put while the cache lives.
class MX_INTERNAL NameCache {
public:
    // A name by its address; null or empty gives the empty text.
    WideText get(char const* name) { return name && *name ? find(name, nullptr) : WideText{}; }
    WideText get(unsigned char const* name) { return get(reinterpret_cast<char const*>(name)); }
    // prefix:local, cached by the two addresses; without a prefix, local.
    WideText qualified(char const* prefix, char const* local) {
        return prefix && *prefix ? find(prefix, local) : get(local);
    }
    WideText qualified(unsigned char const* prefix, unsigned char const* local) {
        return qualified(reinterpret_cast<char const*>(prefix), reinterpret_cast<char const*>(local));
    }

private:
    struct Slot {
        char const* a = nullptr;
        char const* b = nullptr;
        WideText name;
    };

    static size_t slotOf(char const* a, char const* b, size_t mask) {
        uint64_t h = (reinterpret_cast<uintptr_t>(a) >> 3) ^ (reinterpret_cast<uintptr_t>(b) * 0x2545F4914F6CDD1DULL);
        return static_cast<size_t>((h * 0x9E3779B97F4A7C15ULL) >> 32) & mask;
    }
    WideText find(char const* a, char const* b) {
        if (!slots_.empty()) {
            size_t mask = slots_.size() - 1;
            for (size_t i = slotOf(a, b, mask);; i = (i + 1) & mask) {
                Slot const& s = slots_[i];
                if (s.a == a && s.b == b) return s.name;
                if (!s.a) break;
            }
        }
        return insert(a, b);
    }
    WideText insert(char const* a, char const* b);
    void rehash(size_t size);

    std::deque<std::wstring> names_;  // a deque: adding never moves a name in use
    std::vector<Slot> slots_;
    size_t used_ = 0;
};

}  // namespace mx
