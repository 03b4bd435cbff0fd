// Test-only module: package XMLPROBE shows the XML module's bookkeeping to
// the Lisp tests (live model objects, handle-cache entries, handle stamps,
// what the SAX handlers keep from the collector).
// quill-lisp loads it with --module, after the XML module itself.
#include "platform/host/lisp_internal.h"

#include "lisp/DOMHandleCache.h"
#include "lisp/LispSAX.h"
#include "model/XmlObjectFactory.h"

#include <gc/gc.h>

#include <cstdint>
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

// A fresh object that counts its own collection.
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

struct Entry {
    char const* name;
    void (*handler)();
};

Entry const functions[] = {
    {"LIVE-DOCUMENTS", Llive_documents},
    {"LIVE-NODES", Llive_nodes},
    {"CACHE-ENTRIES", Lcache_entries},
    {"STAMP", Lstamp},
    {"RESTAMP", Lrestamp},
    {"HOLD-IN-HANDLERS", Lhold_in_handlers},
    {"RELEASE-HANDLERS", Lrelease_handlers},
    {"COLLECTED", Lcollected},
};

}  // namespace

extern "C" void init_load_init() {
    cl_object package = ecl_find_package("XMLPROBE");
    if (package == ECL_NIL)
        package = ecl_make_package(ecl_make_simple_base_string("XMLPROBE", -1), ECL_NIL, ECL_NIL,
                                   ECL_NIL);
    for (Entry const& f : functions) make_package_function(f.name, f.handler, package, 2);
}
