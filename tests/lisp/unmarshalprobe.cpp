// Test-only module: registers an unmarshalling creator for the root tag
// "probe", so that UNMARSHAL-XML has something to build, and shows the
// objects it built to Lisp (package UNMARSHALPROBE). LOAD-DOCUMENT hands a
// parsed document to the loader registry, which no function of the XML
// package does.
//
// A probe object reads its "name" attribute; an element with a "fail"
// attribute cannot be read. Objects belong to whoever holds their handle:
// FREE-OBJECT deletes one, LIVE-OBJECTS counts those not yet deleted.
#include "platform/host/lisp_internal.h"

#include "lisp/DOMHandleCache.h"
#include "model/TrelDOMElement.h"
#include "registry/XmlLoaderRegistry.h"
#include "unmarshal/Unmarshallable.h"
#include "unmarshal/Unmarshaller.h"

#include <cwchar>
#include <string>

namespace {

long live_objects = 0;

class ProbeObject : public Unmarshallable {
public:
    ProbeObject() { ++live_objects; }
    ~ProbeObject() override { --live_objects; }

    bool unmarshal(TrelDOMElement const* element, int version) override {
        if (element->getAttributeValue(L"fail")) return false;
        wchar_t const* name = element->getAttributeValue(L"name");
        _name = name ? name : L"";
        _version = version;
        return true;
    }

    std::wstring const& name() const { return _name; }
    int version() const { return _version; }

private:
    std::wstring _name;
    int _version = -1;
};

class ProbeCreator : public UnmarshallableObjectCreator {
public:
    bool canHandle(wchar_t const* tag) const override { return tag && std::wcscmp(tag, L"probe") == 0; }
    Unmarshallable* createObject(wchar_t const*) override { return new ProbeObject; }
};

void result(LAOBJ* value) {
    vs_base[0] = value;
    vs_top = vs_base + 1;
}

ProbeObject* probe_of(LAOBJ* handle) {
    return dynamic_cast<ProbeObject*>(static_cast<Unmarshallable*>(handle_pointer(handle)));
}

void Lobject_name() {
    vs.check_arg(1);
    ProbeObject* object = probe_of(vs_base[0]);
    result(object ? makeLispString(object->name().c_str()) : Cnil);
}

void Lobject_version() {
    vs.check_arg(1);
    ProbeObject* object = probe_of(vs_base[0]);
    result(object ? make_fixnum(object->version()) : Cnil);
}

void Lfree_object() {
    vs.check_arg(1);
    delete static_cast<Unmarshallable*>(handle_pointer(vs_base[0]));
    result(Ct);
}

void Llive_objects() {
    vs.check_arg(0);
    result(make_fixnum(live_objects));
}

// (load-document handle) -> t when the loader for its root tag loaded it
void Lload_document() {
    vs.check_arg(1);
    result(XmlLoaderRegistry::getInstance()->loadDocument(getDocument(vs_base[0]), nullptr) ? Ct : Cnil);
}

struct Entry {
    char const* name;
    void (*handler)();
};

Entry const functions[] = {
    {"OBJECT-NAME", Lobject_name},
    {"OBJECT-VERSION", Lobject_version},
    {"FREE-OBJECT", Lfree_object},
    {"LIVE-OBJECTS", Llive_objects},
    {"LOAD-DOCUMENT", Lload_document},
};

}  // namespace

extern "C" void init_load_init() {
    cl_object package = ecl_find_package("UNMARSHALPROBE");
    if (package == ECL_NIL)
        package = ecl_make_package(ecl_make_simple_base_string("UNMARSHALPROBE", -1), ECL_NIL, ECL_NIL,
                                   ECL_NIL);
    for (Entry const& f : functions) make_package_function(f.name, f.handler, package, 2);
    UnmarshallableObjectFactory::getInstance()->registerCreator(new ProbeCreator);
}
