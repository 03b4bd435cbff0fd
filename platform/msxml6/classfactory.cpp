// DllGetClassObject: the library's one entry point. A class factory per
// request, no registration anywhere.
#include "platform/msxml6/com.h"
#include "platform/msxml6/engine.h"

namespace mx {

namespace {

constexpr HRESULT kClassNotAvailable = static_cast<HRESULT>(0x80040111L);
constexpr HRESULT kNoAggregation = static_cast<HRESULT>(0x80040110L);

using Creator = HRESULT (*)(REFIID, void**);

class ClassFactory final : public ComObject<IClassFactory, IID_IClassFactory> {
public:
    explicit ClassFactory(Creator create) : create_(create) {}

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return kNoAggregation;
        ensureInit();
        return create_(riid, out);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    ~ClassFactory() override = default;
    Creator create_;
};

Creator creatorFor(REFCLSID clsid) {
    if (clsid == CLSID_FreeThreadedDOMDocument60) return createDOMDocument;
    if (clsid == CLSID_SAXXMLReader60) return createSAXXMLReader;
    if (clsid == CLSID_MXXMLWriter60) return createMXWriter;
    if (clsid == CLSID_XSLTemplate60) return createXSLTemplate;
    if (clsid == CLSID_XMLSchemaCache60) return createSchemaCache;
    if (clsid == CLSID_XMLTreeEventReader) return createTreeEventReader;
    return nullptr;
}

}  // namespace

}  // namespace mx

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    mx::Creator create = mx::creatorFor(clsid);
    if (!create) return mx::kClassNotAvailable;
    mx::ensureInit();
    return mx::handOutNew(new mx::ClassFactory(create), riid, out);
}
