// Owners for the engine's counted objects, strings and variants.
//
// Every interface pointer, BSTR and VARIANT that the backend receives from the
// engine goes straight into one of these, so that each early return releases
// what it holds. Ownership is explicit: a ComPtr built from a raw pointer takes
// over the reference that came with it; ComPtr::share adds one.
#pragma once

#include <cwchar>
#include <string>
#include <utility>

#include "platform/msxml6/com.h"
#include "platform/win32/win32.h"

// The file that path names, or that a file: URL names: every function that
// reads or writes a file takes both.
inline HRESULT openFileStream(wchar_t const* pathOrUrl, DWORD mode, IStream** out) {
    if (!pathOrUrl) return E_INVALIDARG;
    if (wcsncasecmp(pathOrUrl, L"file:", 5) != 0) return SHCreateStreamOnFileW(pathOrUrl, mode, out);
    std::wstring path(wcslen(pathOrUrl) + 1, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (HRESULT hr = PathCreateFromUrlW(pathOrUrl, path.data(), &size, 0); FAILED(hr)) return hr;
    return SHCreateStreamOnFileW(path.c_str(), mode, out);
}

// A file created at pathOrUrl, replacing an old one on Commit.
inline HRESULT createOutputFile(wchar_t const* pathOrUrl, IStream** out) {
    return openFileStream(pathOrUrl, STGM_CREATE | STGM_WRITE, out);
}

// The engine's owning pointer, except that a ComPtr built from a raw
// pointer here takes over the reference that came with it.
template <class T>
class ComPtr : public mx::ComPtr<T> {
public:
    ComPtr() noexcept = default;
    explicit ComPtr(T* adopted) noexcept : mx::ComPtr<T>(mx::ComPtr<T>::adopt(adopted)) {}
    ComPtr(mx::ComPtr<T>&& other) noexcept : mx::ComPtr<T>(std::move(other)) {}
    // Adds a reference of its own.
    static ComPtr share(T* p) noexcept { return mx::ComPtr<T>::share(p); }
};

// Asks `object` for another interface; empty when it has none (or is null).
template <class U>
ComPtr<U> queryInterface(IUnknown* object, IID const& iid) noexcept {
    return mx::queryAs<U>(object, iid);
}

// An owned BSTR (null allowed).
class BStr {
public:
    BStr() noexcept = default;
    explicit BStr(wchar_t const* text) : s_(SysAllocString(text)) {}
    BStr(BStr const&) = delete;
    BStr& operator=(BStr const&) = delete;
    ~BStr() { SysFreeString(s_); }

    BSTR get() const noexcept { return s_; }
    BSTR* put() noexcept {
        reset();
        return &s_;
    }
    void reset() noexcept {
        SysFreeString(s_);
        s_ = nullptr;
    }
    unsigned length() const noexcept { return SysStringLen(s_); }

private:
    BSTR s_ = nullptr;
};

// An owned VARIANT, cleared on destruction. The setters copy strings and add
// references, so the variant can be handed to the engine by value (borrowed).
class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    Variant(Variant const&) = delete;
    Variant& operator=(Variant const&) = delete;
    ~Variant() { VariantClear(&v_); }

    VARIANT const& get() const noexcept { return v_; }
    // For out parameters: clears, then lets the callee fill it.
    VARIANT* put() noexcept {
        VariantClear(&v_);
        return &v_;
    }

    void setString(wchar_t const* text) {
        VariantClear(&v_);
        v_.vt = VT_BSTR;
        v_.bstrVal = SysAllocString(text);
    }
    void setInt(LONG value) noexcept {
        VariantClear(&v_);
        v_.vt = VT_I4;
        v_.lVal = value;
    }
    void setDispatch(IDispatch* object) noexcept { setObject(VT_DISPATCH, object); }
    void setUnknown(IUnknown* object) noexcept { setObject(VT_UNKNOWN, object); }

    // The string held, or null when the variant holds none.
    BSTR text() const noexcept { return v_.vt == VT_BSTR ? v_.bstrVal : nullptr; }

private:
    void setObject(VARTYPE type, IUnknown* object) noexcept {
        VariantClear(&v_);
        if (object) object->AddRef();
        v_.vt = type;
        v_.punkVal = object;  // the same slot as pdispVal
    }

    VARIANT v_;
};
