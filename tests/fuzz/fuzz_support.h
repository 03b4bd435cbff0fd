// Shared by the fuzz targets: engine objects, input decoders, an in-memory
// stream, a SAX handler that reads every event, and the oracle's trap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/msxml6/msxml6.h"
#include "platform/msxml6/com.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size);

namespace fuzz {

using mx::ComPtr;

// A broken oracle: reports what failed and stops the process.
[[noreturn]] void fail(char const* what);

// An owned BSTR argument (embedded NULs kept).
struct Bstr {
    explicit Bstr(std::wstring const& s) : b(SysAllocStringLen(s.data(), static_cast<unsigned>(s.size()))) {}
    ~Bstr() { SysFreeString(b); }
    Bstr(Bstr const&) = delete;
    operator BSTR() const { return b; }
    BSTR b;
};

// Takes ownership of a BSTR result; "" for null.
std::wstring take(BSTR s);

// The bytes as UTF-8 text (invalid sequences replaced).
std::wstring fromUtf8(uint8_t const* data, size_t size);

// The bytes as code points: a byte below 0x80 is itself (so the XML
// dictionary works), any other byte starts a three-byte code point taken
// modulo 0x110000, so surrogates, non-characters and controls all occur.
std::wstring codePoints(uint8_t const* data, size_t size);

// The engine's object of class `clsid` through its class factory; stops the
// process when there is none.
template <class T>
ComPtr<T> create(CLSID const& clsid, IID const& iid) {
    ComPtr<IClassFactory> factory;
    ComPtr<T> object;
    if (FAILED(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.put()))) ||
        FAILED(factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.put()))))
        fail("the engine made no object");
    return object;
}

// A variant borrowing `object` for one call.
VARIANT objectVariant(IUnknown* object, VARTYPE type = VT_UNKNOWN);

ComPtr<IXMLDOMDocument3> newDocument();
bool loadText(IXMLDOMDocument3* doc, std::wstring const& text);
bool loadBytes(IXMLDOMDocument3* doc, uint8_t const* data, size_t size);

// A stream over a copy of the caller's bytes, handed out in small pieces so
// that the parsers see input split at every kind of boundary.
ComPtr<IStream> memoryStream(uint8_t const* data, size_t size, size_t piece);

// Parses through the SAX reader with a handler that reads every string of
// every event; the number of events.
size_t saxEvents(uint8_t const* data, size_t size);

// A private folder for the process, made once, removed at exit.
std::string const& scratchDir();
// A file name in that folder, as the module takes it.
std::wstring scratchFile(char const* name);

}  // namespace fuzz
