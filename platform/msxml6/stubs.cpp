// Stand-ins for the engine parts that live in other files of this library
// (SAX reader, writer, XSLT, schemas). They are weak: as soon as the real
// definition is linked in, it wins. Until then the classes are reported as
// not implemented and the library still links.
#include "platform/msxml6/engine.h"

namespace mx {

__attribute__((weak)) HRESULT createSAXXMLReader(REFIID, void** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

__attribute__((weak)) HRESULT createMXWriter(REFIID, void** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

__attribute__((weak)) HRESULT createXSLTemplate(REFIID, void** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

__attribute__((weak)) HRESULT createSchemaCache(REFIID, void** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

__attribute__((weak)) xmlSchemaPtr compiledSchemaOf(IUnknown*) { return nullptr; }

__attribute__((weak)) HRESULT validateWithCollection(IUnknown*, xmlDocPtr, std::wstring&, long&) { return E_NOTIMPL; }

}  // namespace mx
