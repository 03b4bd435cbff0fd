// Small owners and helpers shared by the XSLT and schema parts of the
// engine: COM references, BSTRs, libxml2 documents, a COM object base and
// an error sink that keeps library diagnostics off stderr.
#pragma once

#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "platform/msxml6/msxml6.h"

namespace mx {

// One counted reference to a COM object; released on every path.
template <class T>
class ComRef {
public:
    ComRef() = default;
    static ComRef adopt(T* p) { return ComRef(p); }  // takes over the caller's reference
    static ComRef share(T* p) {                       // adds its own reference
        if (p) p->AddRef();
        return ComRef(p);
    }
    ComRef(ComRef const& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComRef& operator=(ComRef o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComRef() { reset(); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* detach() { return std::exchange(p_, nullptr); }  // hands the reference to the caller
    T** put() {  // for out-parameters
        reset();
        return &p_;
    }

private:
    explicit ComRef(T* p) : p_(p) {}
    T* p_ = nullptr;
};

// Queries `object` for T; empty when it does not answer.
template <class T>
ComRef<T> queryAs(IUnknown* object, REFIID iid) {
    ComRef<T> out;
    if (object) object->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
    return out;
}

struct BstrFree {
    void operator()(OLECHAR* s) const { SysFreeString(s); }
};
using BstrPtr = std::unique_ptr<OLECHAR, BstrFree>;

struct XmlDocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using DocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

// The interface pointer carried by a VT_DISPATCH or VT_UNKNOWN variant.
inline IUnknown* objectOf(VARIANT const& v) {
    if (v.vt == VT_DISPATCH) return v.pdispVal;
    if (v.vt == VT_UNKNOWN) return v.punkVal;
    return nullptr;
}

// A standalone copy of `node`: the whole document for a document node, a new
// document with a deep copy as root for an element (in-scope namespace
// declarations come along). Null for other kinds of node. The copy keeps the
// base URL and carries none of the DOM's wrapper links.
DocPtr copyAsDocument(xmlNodePtr node);

// Reference counting shared by the engine objects of these parts.
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
    std::atomic<ULONG> refs_{1};  // the creator's reference
};

// While alive, collects what libxml2 and libxslt report on this thread
// instead of letting it reach stderr. The previous handlers come back on
// destruction. Pass sink()/transformErrorFunc() to APIs with their own hooks.
class ErrorSink {
public:
    ErrorSink();
    ~ErrorSink();
    ErrorSink(ErrorSink const&) = delete;
    ErrorSink& operator=(ErrorSink const&) = delete;

    std::string const& text() const { return text_; }  // every message, newline separated
    std::string const& first() const { return first_; }
    int firstLine() const { return firstLine_; }

    // xmlStructuredErrorFunc and xmlGenericErrorFunc with an ErrorSink as context.
    static void onStructured(void* sink, xmlErrorPtr error);
    static void onGeneric(void* sink, char const* format, ...);

private:
    void add(std::string message, int line);

    std::string text_;
    std::string first_;
    int firstLine_ = 0;
    ErrorSink* outer_;
    xmlStructuredErrorFunc savedStructured_;
    void* savedStructuredContext_;
    xmlGenericErrorFunc savedGeneric_;
    void* savedGenericContext_;
};

}  // namespace mx
