// Test-only module (package XMLPROBE): shows the XML module's bookkeeping to
// the Lisp tests (live model objects, handle-cache entries, handle stamps,
// what SAX handlers keep from the collector), registers an unmarshalling
// creator for the root tag "probe" and hands documents to the loader
// registry, which no function of package XML does.
#include "platform/host/lisp_internal.h"

#include "lisp/DOMHandleCache.h"
#include "lisp/LispSAX.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"
#include "registry/XmlLoaderRegistry.h"
#include "unmarshal/Unmarshallable.h"
#include "unmarshal/Unmarshaller.h"

#include <gc/gc.h>
#include <malloc.h>

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

void result(LAOBJ* value) {
    vs_base[0] = value;
    vs_top = vs_base + 1;
}

void Llive_documents() {
    vs.check_arg(0);
    result(make_fixnum(XmlObjectFactory::getInstance()->getDocumentCount()));
}

void Llive_nodes() {
    vs.check_arg(0);
    result(make_fixnum(XmlObjectFactory::getInstance()->getNodeCount()));
}

void Lcache_entries() {
    vs.check_arg(0);
    result(make_fixnum(DOMHandleCache::entryCount()));
}

// Bytes in use on both heaps after a full collection: the C++ heap's
// allocated chunks and the collector's live objects.
void Lheap_bytes() {
    vs.check_arg(0);
    GC_gcollect();
    struct mallinfo2 const m = mallinfo2();
    result(make_fixnum(static_cast<long>(m.uordblks + GC_get_heap_size() - GC_get_free_bytes())));
}

void Lstamp() {
    vs.check_arg(1);
    result(make_fixnum(static_cast<long>(ptr_stamp(vs_base[0]))));
}

// (restamp type handle stamp): a handle of the same type and pointer with
// another stamp, as an old handle of a reused address would be.
void Lrestamp() {
    vs.check_arg(3);
    void* pointer = object_to_NonEntity_ptr(vs_base[0], vs_base[1], nullptr);
    result(make_ptr(vs_base[0], pointer, static_cast<std::size_t>(fix(vs_base[2]))));
}

// ---------------------------------------------- SAX handlers as collector roots

int collected = 0;

void count_collected(void*, void*) {
    ++collected;
}

LAOBJ* watched_object() {
    LAOBJ* cell = make_cons(Cnil, Cnil);
    GC_register_finalizer_no_order(cell, count_collected, nullptr, nullptr, nullptr);
    return cell;
}

// Never destroyed: handlers may still be held when the process exits.
auto* held_content = new std::vector<XmlSmartPtr<LispContentHandler>>;
auto* held_errors = new std::vector<XmlSmartPtr<LispErrorHandler>>;

// (hold-in-handlers n): n pairs of handlers, each holding fresh objects that
// nothing else refers to, as callbacks made on the spot would be.
void Lhold_in_handlers() {
    vs.check_arg(1);
    for (long i = fix(vs_base[0]); i > 0; --i) {
        held_content->emplace_back(new LispContentHandler(watched_object(), watched_object(),
                                                          watched_object(), watched_object(),
                                                          watched_object()));
        held_errors->emplace_back(new LispErrorHandler(watched_object()));
    }
    result(make_fixnum(static_cast<long>(held_content->size())));
}

void Lrelease_handlers() {
    vs.check_arg(0);
    held_content->clear();
    held_errors->clear();
    result(Cnil);
}

// Objects collected since the last call.
void Lcollected() {
    vs.check_arg(0);
    GC_invoke_finalizers();
    result(make_fixnum(std::exchange(collected, 0)));
}

// ------------------------------------------------- unmarshalling and loading

// Reads its "name" attribute; an element with a "fail" attribute cannot be
// read. Belongs to whoever holds its handle.
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

    std::wstring _name;
    int _version = -1;
};

class ProbeCreator : public UnmarshallableObjectCreator {
public:
    bool canHandle(wchar_t const* tag) const override { return tag && std::wcscmp(tag, L"probe") == 0; }
    Unmarshallable* createObject(wchar_t const*) override { return new ProbeObject; }
};

// (object-of handle) -> (name version), nil for anything but a probe object
void Lobject_of() {
    vs.check_arg(1);
    auto* object = dynamic_cast<ProbeObject*>(static_cast<Unmarshallable*>(handle_pointer(vs_base[0])));
    result(object ? make_cons(makeLispString(object->_name.c_str()),
                              make_cons(make_fixnum(object->_version), Cnil))
                  : Cnil);
}

void Lfree_object() {
    vs.check_arg(1);
    delete static_cast<Unmarshallable*>(handle_pointer(vs_base[0]));
    result(make_fixnum(live_objects));
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
    {"LIVE-DOCUMENTS", Llive_documents},     {"LIVE-NODES", Llive_nodes},
    {"CACHE-ENTRIES", Lcache_entries},       {"STAMP", Lstamp},
    {"HEAP-BYTES", Lheap_bytes},
    {"RESTAMP", Lrestamp},                   {"HOLD-IN-HANDLERS", Lhold_in_handlers},
    {"RELEASE-HANDLERS", Lrelease_handlers}, {"COLLECTED", Lcollected},
    {"OBJECT-OF", Lobject_of},               {"FREE-OBJECT", Lfree_object},
    {"LIVE-OBJECTS", Llive_objects},         {"LOAD-DOCUMENT", Lload_document},
};

}  // namespace

extern "C" void init_load_init() {
    cl_object package = ecl_find_package("XMLPROBE");
    if (package == ECL_NIL)
        package = ecl_make_package(ecl_make_simple_base_string("XMLPROBE", -1), ECL_NIL, ECL_NIL,
                                   ECL_NIL);
    for (Entry const& f : functions) make_package_function(f.name, f.handler, package, 2);
    UnmarshallableObjectFactory::getInstance()->registerCreator(new ProbeCreator);
}
