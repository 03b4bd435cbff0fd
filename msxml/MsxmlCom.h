// Owners for the engine's counted objects, strings and variants.
//
// Every interface pointer, BSTR and VARIANT that the backend receives from the
// engine goes straight into one of these, so that each early return releases
// what it holds. Ownership is explicit: a ComPtr built from a raw pointer takes
// over the reference that came with it; ComPtr::share adds one.
#pragma once

#include <cwchar>
#include <string>

#include "platform/win32/win32.h"

// A file created at path (replacing an old one on Commit), or at the file a
// file: URL names: every function that writes a file takes the names that
// reading takes.
inline HRESULT createOutputFile(wchar_t const* pathOrUrl, IStream** out) {
    if (!pathOrUrl) return E_INVALIDARG;
    if (wcsncasecmp(pathOrUrl, L"file:", 5) != 0)
        return SHCreateStreamOnFileW(pathOrUrl, STGM_CREATE | STGM_WRITE, out);
    std::wstring path(wcslen(pathOrUrl) + 1, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (HRESULT hr = PathCreateFromUrlW(pathOrUrl, path.data(), &size, 0); FAILED(hr)) return hr;
    return SHCreateStreamOnFileW(path.c_str(), STGM_CREATE | STGM_WRITE, out);
}

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    // Takes over the one reference that `adopted` carries.
    explicit ComPtr(T* adopted) noexcept : p_(adopted) {}
    // Adds a reference of its own.
    static ComPtr share(T* p) noexcept {
        if (p) p->AddRef();
        return ComPtr(p);
    }
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    ComPtr(ComPtr const&) = delete;
    ComPtr& operator=(ComPtr const&) = delete;
    ~ComPtr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // For out parameters: drops what is held, then lets the callee fill it.
    T** put() noexcept {
        reset();
        return &p_;
    }
    // Hands the reference to the caller.
    T* detach() noexcept {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    void reset() noexcept {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }

private:
    T* p_ = nullptr;
};

// Asks `object` for another interface; empty when it has none (or is null).
template <class U>
ComPtr<U> queryInterface(IUnknown* object, IID const& iid) noexcept {
    void* out = nullptr;
    if (!object || FAILED(object->QueryInterface(iid, &out))) return ComPtr<U>();
    return ComPtr<U>(static_cast<U*>(out));
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
    void setDispatch(IDispatch* object) noexcept {
        VariantClear(&v_);
        if (object) object->AddRef();
        v_.vt = VT_DISPATCH;
        v_.pdispVal = object;
    }
    void setUnknown(IUnknown* object) noexcept {
        VariantClear(&v_);
        if (object) object->AddRef();
        v_.vt = VT_UNKNOWN;
        v_.punkVal = object;
    }

    bool isEmpty() const noexcept { return v_.vt == VT_EMPTY; }
    // The string held, or null when the variant holds none.
    BSTR text() const noexcept { return v_.vt == VT_BSTR ? v_.bstrVal : nullptr; }

private:
    VARIANT v_;
};
