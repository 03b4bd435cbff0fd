// Small COM helpers shared by the SAX reader and the XML writer: an owning
// interface pointer and the reference count every object of ours carries.
#pragma once

#include <atomic>
#include <utility>

#include "platform/win32/win32.h"

namespace mx {

// Owns one reference to T. Adopts with attach(), adds one with the
// constructor from a raw pointer.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
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
    void attach(T* p) {
        reset();
        p_ = p;
    }
    T* detach() { return std::exchange(p_, nullptr); }
    // For out-parameters: releases what is held first.
    T** put() {
        reset();
        return &p_;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Queries `from` for T; empty when it does not answer.
    static ComPtr query(IUnknown* from, REFIID iid) {
        ComPtr r;
        if (from) from->QueryInterface(iid, reinterpret_cast<void**>(r.put()));
        return r;
    }

private:
    T* p_ = nullptr;
};

// The reference count of our objects; deleting the object is the owner's job.
class RefCount {
public:
    ULONG add() { return ++n_; }
    ULONG drop() { return --n_; }

private:
    std::atomic<ULONG> n_{0};
};

}  // namespace mx
