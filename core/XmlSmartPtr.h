// XmlSmartPtr<T>: one counted reference to a T derived from XmlRCObject,
// directly or through a virtual base. Holds only the raw pointer.
#pragma once

#include <cstddef>

#include "core/XmlRCObject.h"

template <class T>
class XmlSmartPtr {
public:
    XmlSmartPtr(T* p = nullptr) : ptr_(p) { init(); }
    XmlSmartPtr(XmlSmartPtr const& other) : ptr_(other.ptr_) { init(); }
    ~XmlSmartPtr() {
        if (ptr_) ptr_->removeReference();
    }

    // The new object gains its reference before the old one loses its own,
    // so assigning a pointer that the old object keeps alive is safe.
    XmlSmartPtr& operator=(XmlSmartPtr const& other) {
        if (ptr_ == other.ptr_) return *this;
        T* old = ptr_;
        ptr_ = other.ptr_;
        init();
        if (old) old->removeReference();
        return *this;
    }

    operator T*() const { return ptr_; }
    T* operator->() const { return ptr_; }
    bool operator==(XmlSmartPtr const& other) const { return ptr_ == other.ptr_; }

private:
    void init() {
        if (ptr_) ptr_->addReference();
    }

    T* ptr_;
};

template <class T>
bool operator==(XmlSmartPtr<T> const& a, T const* b) {
    return static_cast<T*>(a) == b;
}

// The same for a non-const pointer and for nullptr, which would otherwise
// be ambiguous with the built-in pointer comparison.
template <class T>
bool operator==(XmlSmartPtr<T> const& a, T* b) {
    return static_cast<T*>(a) == b;
}

template <class T>
bool operator==(XmlSmartPtr<T> const& a, std::nullptr_t) {
    return static_cast<T*>(a) == nullptr;
}
