// Strings, variants, string comparison and atomic counters.
#include "platform/win32/win32.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

// ---- BSTR ---------------------------------------------------------------------
// Layout: [uint32 byte length][characters][NUL]. The pointer handed out points
// at the characters, so a BSTR reads as a plain NUL-terminated wchar_t string.
namespace {

constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* headerOf(BSTR s) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(s) - kPrefix); }

// Whole documents pass through BSTRs (hundreds of megabytes as UTF-32): their
// fresh pages are asked for in huge pages, which saves most page faults.
void preferHugePages(void* block, size_t bytes) {
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (bytes < 4 * kHuge) return;
    auto const start = (reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
    auto const end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kHuge - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace

BSTR SysAllocStringLen(OLECHAR const* s, unsigned n) {
    size_t bytes = static_cast<size_t>(n) * sizeof(OLECHAR);
    if (bytes > UINT32_MAX - kPrefix - sizeof(OLECHAR)) return nullptr;
    char* block = static_cast<char*>(malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    preferHugePages(block, kPrefix + bytes);
    uint32_t length = static_cast<uint32_t>(bytes);
    memcpy(block, &length, kPrefix);
    BSTR out = reinterpret_cast<BSTR>(block + kPrefix);
    if (s) memcpy(out, s, bytes);  // without s the characters are the caller's to write
    out[n] = L'\0';
    return out;
}

BSTR SysAllocString(OLECHAR const* s) {
    if (!s) return nullptr;
    return SysAllocStringLen(s, static_cast<unsigned>(wcslen(s)));
}

unsigned SysStringByteLen(BSTR s) { return s ? *headerOf(s) : 0; }

unsigned SysStringLen(BSTR s) { return SysStringByteLen(s) / sizeof(OLECHAR); }

void SysFreeString(BSTR s) {
    if (s) free(headerOf(s));
}

// ---- VARIANT --------------------------------------------------------------------
void VariantInit(VARIANT* v) {
    if (!v) return;
    memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    switch (v->vt) {
    case VT_BSTR: SysFreeString(v->bstrVal); break;
    case VT_UNKNOWN:
        if (v->punkVal) v->punkVal->Release();
        break;
    case VT_DISPATCH:
        if (v->pdispVal) v->pdispVal->Release();
        break;
    default: break;
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, VARIANT const* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (dest == src) return S_OK;
    VARIANT copy = *src;
    switch (src->vt) {
    case VT_BSTR:
        if (src->bstrVal) {
            copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
            if (!copy.bstrVal) return E_OUTOFMEMORY;
        }
        break;
    case VT_UNKNOWN:
        if (copy.punkVal) copy.punkVal->AddRef();
        break;
    case VT_DISPATCH:
        if (copy.pdispVal) copy.pdispVal->AddRef();
        break;
    default: break;
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

// ---- comparison -------------------------------------------------------------------
#define NORM_IGNORECASE 0x00000001

HRESULT VarBstrCmp(BSTR left, BSTR right, LCID, ULONG flags) {
    // Code-unit order: exact and case-sensitive, so only identical strings
    // compare equal. Lengths are taken up to the NUL rather than from the
    // prefix: callers commonly pass plain wide strings for the right side.
    size_t nl = left ? wcslen(left) : 0, nr = right ? wcslen(right) : 0;
    size_t n = nl < nr ? nl : nr;
    bool fold = (flags & NORM_IGNORECASE) != 0;
    for (size_t i = 0; i < n; ++i) {
        wint_t a = static_cast<wint_t>(left[i]), b = static_cast<wint_t>(right[i]);
        if (fold) {
            a = towlower(a);
            b = towlower(b);
        }
        if (a != b) return a < b ? VARCMP_LT : VARCMP_GT;
    }
    if (nl == nr) return VARCMP_EQ;
    return nl < nr ? VARCMP_LT : VARCMP_GT;
}

// ---- atomic counters ---------------------------------------------------------------
LONG InterlockedIncrement(LONG volatile* p) { return __atomic_add_fetch(p, 1, __ATOMIC_ACQ_REL); }

LONG InterlockedDecrement(LONG volatile* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_ACQ_REL); }
