// XmlSmartPtr<T>: one counted reference to a T derived from XmlRCObject,
// directly or through a virtual base. Holds only the raw pointer.
#pragma once

#include <cstddef>

#include "core/XmlRCObject.h"

template <class T>
class XmlSmartPtr {
public:
    XmlSmartPtr(T* p = nullptr) : _ptr(p) { init(); }
    XmlSmartPtr(XmlSmartPtr const& other) : _ptr(other._ptr) { init(); }
    ~XmlSmartPtr() {
        if (_ptr) _ptr->removeReference();
    }

    // The new object gains its reference before the old one loses its own,
    // so assigning a pointer that the old object keeps alive is safe.
    XmlSmartPtr& operator=(XmlSmartPtr const& other) {
        if (_ptr == other._ptr) return *this;
        T* old = _ptr;
        _ptr = other._ptr;
        init();
        if (old) old->removeReference();
        return *this;
    }

    operator T*() const { return _ptr; }
    T* operator->() const { return _ptr; }
    bool operator==(XmlSmartPtr const& other) const { return _ptr == other._ptr; }

private:
    void init() {
        if (_ptr) _ptr->addReference();
    }

    T* _ptr;
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
