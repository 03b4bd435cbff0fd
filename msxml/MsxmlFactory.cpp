// MsxmlFactory: loads the engine library by name and asks its exported
// DllGetClassObject for a class factory on every creation.
#include "msxml/MsxmlFactory.h"

#include "msxml/MsxmlCom.h"

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

// A new class factory for every creation, none cached.
void* MsxmlFactory::createObject(CLSID const& clsid, IID const& iid) {
    DllGetClassObjectFn entry = readGetClassFncPtr();
    ComPtr<IClassFactory> factory;
    void* out = nullptr;
    if (!entry || FAILED(entry(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.put()))) ||
        FAILED(factory->CreateInstance(nullptr, iid, &out)))
        return nullptr;
    return out;
}

IXMLDOMDocument3* MsxmlFactory::createDocument() {
    return static_cast<IXMLDOMDocument3*>(createObject(CLSID_FreeThreadedDOMDocument60, IID_IXMLDOMDocument3));
}

IXSLTemplate* MsxmlFactory::createXSLTemplate() {
    return static_cast<IXSLTemplate*>(createObject(CLSID_XSLTemplate60, IID_IXSLTemplate));
}

ISAXXMLReader* MsxmlFactory::createSAXXMLReader() {
    return static_cast<ISAXXMLReader*>(createObject(CLSID_SAXXMLReader60, IID_ISAXXMLReader));
}

IMXWriter* MsxmlFactory::createMXWriter() {
    return static_cast<IMXWriter*>(createObject(CLSID_MXXMLWriter60, IID_IMXWriter));
}

IXMLDOMSchemaCollection2* MsxmlFactory::createSchema() {
    return static_cast<IXMLDOMSchemaCollection2*>(createObject(CLSID_XMLSchemaCache60, IID_IXMLDOMSchemaCollection2));
}

IXMLTreeEventReader* MsxmlFactory::createTreeEventReader() {
    return static_cast<IXMLTreeEventReader*>(createObject(CLSID_XMLTreeEventReader, IID_IXMLTreeEventReader));
}
