// Test-only module (package XMLPROBE): shows the XML module's bookkeeping to
// the Lisp tests (live model objects, handle-cache entries, handle stamps,
// SAX handlers held from C++), registers an unmarshalling
// creator for the root tag "probe" and hands documents to the loader
// registry, which no function of package XML does.
#include "lisp/DOMHandleCache.h"
#include "lisp/LispSAX.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"
#include "registry/XmlLoaderRegistry.h"
#include "tests/lisp/test_module.h"
#include "unmarshal/Unmarshallable.h"
#include "unmarshal/Unmarshaller.h"

#include <gc/gc.h>
#include <malloc.h>

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

using testmodule::arg;
using testmodule::result;

HANDLER("LIVE-DOCUMENTS", Llive_documents) { result(make_fixnum(XmlObjectFactory::getInstance()->getDocumentCount())); }

HANDLER("LIVE-NODES", Llive_nodes) { result(make_fixnum(XmlObjectFactory::getInstance()->getNodeCount())); }

HANDLER("CACHE-ENTRIES", Lcache_entries) { result(make_fixnum(DOMHandleCache::entryCount())); }

// Bytes in use on both heaps after a full collection: the C++ heap's
// allocated chunks and the collector's live objects.
HANDLER("HEAP-BYTES", Lheap_bytes) {
    GC_gcollect();
    struct mallinfo2 const m = mallinfo2();
    result(make_fixnum(static_cast<long>(m.uordblks + GC_get_heap_size() - GC_get_free_bytes())));
}

HANDLER("STAMP", Lstamp) { result(make_fixnum(static_cast<long>(ptr_stamp(arg())))); }

// (restamp type handle stamp): a handle of the same type and pointer with
// another stamp, as an old handle of a reused address would be.
HANDLER("RESTAMP", Lrestamp) {
    vs.check_arg(3);
    void* pointer = object_to_NonEntity_ptr(vs_base[0], vs_base[1], nullptr);
    result(make_ptr(vs_base[0], pointer, static_cast<std::size_t>(fix(vs_base[2]))));
}

// ---------------------------------------------- SAX handlers as collector roots

// Never destroyed: handlers may still be held when the process exits.
auto* held_content = new std::vector<XmlSmartPtr<LispContentHandler>>;
auto* held_errors = new std::vector<XmlSmartPtr<LispErrorHandler>>;

// (hold-in-handlers n make): n pairs of handlers, each holding fresh objects
// from make that nothing else refers to, as callbacks made on the spot would be.
HANDLER("HOLD-IN-HANDLERS", Lhold_in_handlers) {
    vs.check_arg(2);
    LAOBJ* make = vs_base[1];
    auto fresh = [make] { return ifuncall(make, 0); };
    for (long i = fix(vs_base[0]); i > 0; --i) {
        held_content->emplace_back(new LispContentHandler(fresh(), fresh(), fresh(), fresh(), fresh()));
        held_errors->emplace_back(new LispErrorHandler(fresh()));
    }
    result(make_fixnum(static_cast<long>(held_content->size())));
}

HANDLER("RELEASE-HANDLERS", Lrelease_handlers) {
    held_content->clear();
    held_errors->clear();
    result(Cnil);
}

// ------------------------------------------------- unmarshalling and loading

// Reads its "name" attribute; an element with a "fail" attribute cannot be
// read. Belongs to whoever holds its handle.
long live_objects = 0;

class ProbeObject : public Unmarshallable {
public:
    ProbeObject() { ++live_objects; }
    ~ProbeObject() override { --live_objects; }

    bool unmarshal(TrelDOMElement const* element, int v) override {
        if (element->getAttributeValue(L"fail")) return false;
        wchar_t const* value = element->getAttributeValue(L"name");
        name = value ? value : L"";
        version = v;
        return true;
    }

    std::wstring name;
    int version = -1;
};

class ProbeCreator : public UnmarshallableObjectCreator {
public:
    bool canHandle(wchar_t const* tag) const override { return tag && std::wcscmp(tag, L"probe") == 0; }
    Unmarshallable* createObject(wchar_t const*) override { return new ProbeObject; }
};

// (object-of handle) -> (name version), nil for anything but a probe object
HANDLER("OBJECT-OF", Lobject_of) {
    auto* object = dynamic_cast<ProbeObject*>(static_cast<Unmarshallable*>(handle_pointer(arg())));
    result(object ? make_cons(makeLispString(object->name.c_str()), make_cons(make_fixnum(object->version), Cnil))
                  : Cnil);
}

HANDLER("FREE-OBJECT", Lfree_object) {
    delete static_cast<Unmarshallable*>(handle_pointer(arg()));
    result(make_fixnum(live_objects));
}

HANDLER("LIVE-OBJECTS", Llive_objects) { result(make_fixnum(live_objects)); }

// (load-document handle) -> t when the loader for its root tag loaded it
HANDLER("LOAD-DOCUMENT", Lload_document) {
    result(XmlLoaderRegistry::getInstance()->loadDocument(getDocument(arg()), nullptr) ? Ct : Cnil);
}

}  // namespace

extern "C" void init_load_init() {
    testmodule::registerAll("XMLPROBE");
    UnmarshallableObjectFactory::getInstance()->registerCreator(new ProbeCreator);
}
