#include "platform/host/ux_string.h"

#include <cstdint>
#include <cwchar>

#include "platform/host/large_blocks.h"

namespace {

bool isBlank(wchar_t c) {
    switch (c) {
    case L' ':
    case L'\t':
    case L'\n':
    case L'\r':
    case L'\v':
    case L'\f':
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000: return true;
    default: return c >= 0x2000 && c <= 0x200A;
    }
}

wchar_t* copyOf(wchar_t const* s, size_t n) {
    auto* copy = new wchar_t[n + 1];
    // Whole-document texts run to hundreds of megabytes.
    prefer_huge_pages(copy, (n + 1) * sizeof(wchar_t));
    wmemcpy(copy, s, n);
    copy[n] = L'\0';
    return copy;
}

}  // namespace

wchar_t* ux_strdup(wchar_t const* s) { return s ? copyOf(s, wcslen(s)) : nullptr; }

wchar_t* ux_strsave(wchar_t const* s) { return ux_strdup(s); }

void ux_strfree(wchar_t const* s) { delete[] s; }

size_t ux_strlen(wchar_t const* s) { return s ? wcslen(s) : 0; }

bool ux_strequal(wchar_t const* a, wchar_t const* b) {
    if (!a || !b) return a == b;
    return wcscmp(a, b) == 0;
}

int ux_strcmp(wchar_t const* a, wchar_t const* b) {
    if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
    // Compare as unsigned code units: wcscmp's order for negative wchar_t
    // values is not what a text comparison wants.
    for (;; ++a, ++b) {
        auto const x = static_cast<unsigned>(*a), y = static_cast<unsigned>(*b);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

wchar_t* ux_strcpy_lim(wchar_t* dest, wchar_t const* src, size_t n) {
    if (n == 0) return dest;
    size_t i = 0;
    if (src)
        for (; i + 1 < n && src[i]; ++i) dest[i] = src[i];
    dest[i] = L'\0';
    return dest;
}

wchar_t* ux_strtrim(wchar_t* s) {
    if (!s) return s;
    wchar_t* start = s;
    while (isBlank(*start)) ++start;
    size_t n = wcslen(start);
    while (n > 0 && isBlank(start[n - 1])) --n;
    if (start != s) wmemmove(s, start, n);
    s[n] = L'\0';
    return s;
}

WideTextConverter::WideTextConverter(wchar_t const* s) {
    if (!s) return;
    length_ = wcslen(s);
    wchar_t* target = scratch_;
    if (length_ >= SCRATCH) target = heap_ = new wchar_t[length_ + 1];
    wmemcpy(target, s, length_ + 1);
    result_ = target;
}

WideTextConverter::~WideTextConverter() { delete[] heap_; }
