// COM plumbing shared by every part of the engine: an owning interface
// pointer, the reference count of our objects, and IUnknown for objects that
// answer a single interface.
#pragma once

#include <atomic>
#include <type_traits>
#include <utility>

#include "platform/msxml6/msxml6.h"

namespace mx {

// One counted reference to a COM object; released on every path.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {  // adds its own reference
        if (p_) p_->AddRef();
    }
    static ComPtr share(T* p) { return ComPtr(p); }
    static ComPtr adopt(T* p) {  // takes over the caller's reference
        ComPtr r;
        r.p_ = p;
        return r;
    }
    ComPtr(ComPtr const& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* detach() { return std::exchange(p_, nullptr); }  // hands the reference to the caller
    void attach(T* p) { *this = adopt(p); }
    T** put() {  // for out-parameters
        reset();
        return &p_;
    }

private:
    T* p_ = nullptr;
};

// Queries `object` for T; empty when it does not answer (or is null).
template <class T>
ComPtr<T> queryAs(IUnknown* object, REFIID iid) {
    ComPtr<T> r;
    if (object) object->QueryInterface(iid, reinterpret_cast<void**>(r.put()));
    return r;
}

// The count of an object of ours; the creator holds the first reference.
class RefCounted {
protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;
    ULONG addRef() { return ++refs_; }
    ULONG release() {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<ULONG> refs_{1};
};

// IUnknown of an object that answers only Itf (and IDispatch when Itf is one).
template <class Itf, IID const& Iid>
class ComObject : public Itf, private RefCounted {
public:
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        bool const dispatch = std::is_base_of_v<IDispatch, Itf> && riid == IID_IDispatch;
        if (riid != IID_IUnknown && riid != Iid && !dispatch) return E_NOINTERFACE;
        *out = static_cast<Itf*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return addRef(); }
    ULONG Release() override { return release(); }
};

// Hands a new object out as riid, giving up the creator's reference.
template <class T>
HRESULT handOutNew(T* object, REFIID riid, void** out) {
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
}

}  // namespace mx
