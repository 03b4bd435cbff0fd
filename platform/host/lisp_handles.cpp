// Handles: typed pointer objects (one-slot structure instances whose slot
// holds a foreign pointer tagged with the type symbol) and untyped ones.
#include "platform/host/lisp_internal.h"

namespace lisp_host {
namespace {

// Type symbol -> structure class, in a block the collector scans. A handful
// of handle kinds exist; a full cache just stops caching.
constexpr int kCachedTypes = 16;
cl_object* g_class_cache = nullptr;  // pairs: type, class

cl_object find_structure_class(cl_object type) {
    if (!ECL_SYMBOLP(type) || type == ECL_NIL) return ECL_NIL;
    cl_object cls = cl_find_class(2, type, ECL_NIL);
    if (cls == ECL_NIL) return ECL_NIL;
    cl_object is_structure = cl_subtypep(2, cls, type_symbol("STRUCTURE-OBJECT"));
    return is_structure == ECL_NIL ? ECL_NIL : cls;
}

cl_object* cache_entry(cl_object type) {
    for (int i = 0; i < kCachedTypes; ++i) {
        cl_object* entry = g_class_cache + 2 * i;
        if (entry[0] == type || entry[0] == ECL_NIL) return entry;
    }
    return nullptr;
}

cl_object refresh_class(cl_object type) {
    cl_object cls = find_structure_class(type);
    if (cl_object* entry = cache_entry(type); entry && cls != ECL_NIL) {
        entry[0] = type;
        entry[1] = cls;
    }
    return cls;
}

cl_object structure_class(cl_object type) {
    cl_object* entry = cache_entry(type);
    if (entry && entry[0] == type) return entry[1];
    return refresh_class(type);
}

}  // namespace

void init_handles() {
    g_class_cache =
        static_cast<cl_object*>(ecl_alloc_uncollectable(2 * kCachedTypes * sizeof(cl_object)));
    for (int i = 0; i < 2 * kCachedTypes; ++i) g_class_cache[i] = ECL_NIL;
}

}  // namespace lisp_host

using namespace lisp_host;

LAOBJ* make_ptr(LAOBJ* type, void const* pointer) {
    return make_ptr(type, pointer, 0);
}

// The stamp rides in the foreign data's size field: the engine reads it only
// for memory it allocated itself, and a handle's pointer never is.
LAOBJ* make_ptr(LAOBJ* type, void const* pointer, std::size_t stamp) {
    cl_object cls = structure_class(type);
    if (cls == ECL_NIL) lisp_program_error("make_ptr: ~S names no structure type.", type);
    cl_object data = ecl_make_foreign_data(type, stamp, const_cast<void*>(pointer));
    return si_make_structure(2, cls, data);
}

void* object_to_NonEntity_ptr(LAOBJ* type, LAOBJ* obj, void* otherwise) {
    if (!ECL_INSTANCEP(obj)) return otherwise;
    cl_object cls = structure_class(type);
    // A redefined structure type gets a new class: look again before saying no.
    if (ECL_CLASS_OF(obj) != cls && (cls = refresh_class(type), ECL_CLASS_OF(obj) != cls))
        return otherwise;
    if (obj->instance.length < 1) return otherwise;
    cl_object slot = obj->instance.slots[0];
    if (ecl_t_of(slot) != t_foreign || slot->foreign.tag != type) return otherwise;
    return slot->foreign.data ? slot->foreign.data : otherwise;
}

std::size_t ptr_stamp(LAOBJ* handle) {
    if (!ECL_INSTANCEP(handle) || handle->instance.length < 1) return 0;
    cl_object slot = handle->instance.slots[0];
    return ecl_t_of(slot) == t_foreign ? slot->foreign.size : 0;
}

LAOBJ* make_handle(void* pointer) {
    return ecl_make_foreign_data(ecl_make_keyword("POINTER-VOID"), 0, pointer);
}

void* handle_pointer(LAOBJ* obj) {
    return ecl_t_of(obj) == t_foreign ? obj->foreign.data : nullptr;
}
