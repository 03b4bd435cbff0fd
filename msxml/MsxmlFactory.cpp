// MsxmlFactory: loads the engine library by name and asks its exported
// DllGetClassObject for a class factory on every creation.
#include "msxml/MsxmlFactory.h"

MsxmlFactory* MsxmlFactory::getInstance() {
    static MsxmlFactory* instance = new MsxmlFactory();  // never destroyed
    return instance;
}

DllGetClassObjectFn MsxmlFactory::readGetClassFncPtr() {
    if (DllGetClassObjectFn known = getClassObject_.load(std::memory_order_acquire)) return known;
    HMODULE library = LoadLibraryA("msxml6.dll");
    if (!library) return nullptr;  // nothing cached: the next call tries again
    auto const entry = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(library, "DllGetClassObject"));
    // A library with the entry point stays loaded for the rest of the process.
    if (!entry) {
        FreeLibrary(library);
        return nullptr;
    }
    getClassObject_.store(entry, std::memory_order_release);
    return entry;
}

IClassFactory* MsxmlFactory::getClassFactory(CLSID const& clsid) {
    DllGetClassObjectFn entry = readGetClassFncPtr();
    if (!entry) return nullptr;
    void* factory = nullptr;
    if (FAILED(entry(clsid, IID_IClassFactory, &factory))) return nullptr;
    return static_cast<IClassFactory*>(factory);
}

bool MsxmlFactory::createObject(CLSID const& clsid, IID const& iid, void** out) {
    IClassFactory* factory = getClassFactory(clsid);
    if (!factory) return false;
    bool const ok = SUCCEEDED(factory->CreateInstance(nullptr, iid, out));
    factory->Release();  // a new class factory for every creation, none cached
    return ok;
}

namespace {

// `out` by reference: it is read only after createObject has filled it (the
// order in which arguments are evaluated is unspecified).
template <class T>
T* created(bool ok, void* const& out) {
    return ok ? static_cast<T*>(out) : nullptr;
}

}  // namespace

IXMLDOMDocument3* MsxmlFactory::createDocument() {
    void* out = nullptr;
    return created<IXMLDOMDocument3>(createObject(CLSID_FreeThreadedDOMDocument60, IID_IXMLDOMDocument3, &out), out);
}

IXSLTemplate* MsxmlFactory::createXSLTemplate() {
    void* out = nullptr;
    return created<IXSLTemplate>(createObject(CLSID_XSLTemplate60, IID_IXSLTemplate, &out), out);
}

ISAXXMLReader* MsxmlFactory::createSAXXMLReader() {
    void* out = nullptr;
    return created<ISAXXMLReader>(createObject(CLSID_SAXXMLReader60, IID_ISAXXMLReader, &out), out);
}

IMXWriter* MsxmlFactory::createMXWriter() {
    void* out = nullptr;
    return created<IMXWriter>(createObject(CLSID_MXXMLWriter60, IID_IMXWriter, &out), out);
}

IXMLDOMSchemaCollection2* MsxmlFactory::createSchema() {
    void* out = nullptr;
    return created<IXMLDOMSchemaCollection2>(
        createObject(CLSID_XMLSchemaCache60, IID_IXMLDOMSchemaCollection2, &out), out);
}

IXMLTreeEventReader* MsxmlFactory::createTreeEventReader() {
    void* out = nullptr;
    return created<IXMLTreeEventReader>(createObject(CLSID_XMLTreeEventReader, IID_IXMLTreeEventReader, &out), out);
}
