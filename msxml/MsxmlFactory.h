// The only place where engine objects are born: the engine library is loaded
// by name and asked for class factories directly through its exported
// DllGetClassObject; nothing is registered anywhere.
#pragma once

#include <atomic>

#include "platform/msxml6/msxml6.h"

class MsxmlFactory {
public:
    static MsxmlFactory* getInstance();

    // Each returns a new object with one reference for the caller, or null.
    IXMLDOMDocument3* createDocument();
    IXSLTemplate* createXSLTemplate();
    ISAXXMLReader* createSAXXMLReader();
    IMXWriter* createMXWriter();
    IXMLDOMSchemaCollection2* createSchema();
    IXMLTreeEventReader* createTreeEventReader();

private:
    MsxmlFactory() = default;
    ~MsxmlFactory() = default;

    // The entry point, looked up on first use; a failed load is retried later.
    // Threads meeting at the first use may each load the library: the loader
    // counts the loads and every one finds the same entry point.
    DllGetClassObjectFn readGetClassFncPtr();
    void* createObject(CLSID const& clsid, IID const& iid);  // null on failure

    std::atomic<DllGetClassObjectFn> getClassObject_{nullptr};
};
