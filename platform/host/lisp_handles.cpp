// Handles: typed pointer objects (structure instances whose first two slots
// hold the address and a stamp) and untyped ones (foreign pointers).
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
    g_class_cache = static_cast<cl_object*>(ecl_alloc_uncollectable(2 * kCachedTypes * sizeof(cl_object)));
    for (int i = 0; i < 2 * kCachedTypes; ++i) g_class_cache[i] = ECL_NIL;
}

}  // namespace lisp_host

using namespace lisp_host;

LAOBJ* make_ptr(LAOBJ* type, void const* pointer) { return make_ptr(type, pointer, 0); }

// Both slots hold fixnums: a handle is then one instance and its slot
// vector, with no foreign object beside it (handles are made by the hundred
// thousand). A stamp slot that holds no fixnum marks an instance the host did
// not make, such as one a Lisp constructor made.
LAOBJ* make_ptr(LAOBJ* type, void const* pointer, std::size_t stamp) {
    cl_object cls = structure_class(type);
    if (cls == ECL_NIL) lisp_program_error("make_ptr: ~S names no structure type.", type);
    auto const address = reinterpret_cast<std::uintptr_t>(pointer);
    if (address > MOST_POSITIVE_FIXNUM || stamp > MOST_POSITIVE_FIXNUM)
        lisp_program_error("make_ptr: ~S cannot hold that pointer and stamp.", type);
    return si_make_structure(3, cls, ecl_make_fixnum(static_cast<cl_fixnum>(address)),
                             ecl_make_fixnum(static_cast<cl_fixnum>(stamp)));
}

namespace {

// The slot vector of a handle the host made, or null.
cl_object* handle_slots(cl_object obj) {
    if (!ECL_INSTANCEP(obj) || obj->instance.length < 2) return nullptr;
    cl_object* slots = obj->instance.slots;
    return ECL_FIXNUMP(slots[0]) && ECL_FIXNUMP(slots[1]) ? slots : nullptr;
}

}  // namespace

void* object_to_NonEntity_ptr(LAOBJ* type, LAOBJ* obj, void* otherwise) {
    if (!ECL_INSTANCEP(obj)) return otherwise;
    cl_object cls = structure_class(type);
    // A redefined structure type gets a new class: look again before saying no.
    if (ECL_CLASS_OF(obj) != cls && (cls = refresh_class(type), ECL_CLASS_OF(obj) != cls)) return otherwise;
    cl_object* slots = handle_slots(obj);
    if (!slots || ecl_fixnum(slots[0]) == 0) return otherwise;
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(ecl_fixnum(slots[0])));
}

std::size_t ptr_stamp(LAOBJ* handle) {
    cl_object* slots = handle_slots(handle);
    return slots ? static_cast<std::size_t>(ecl_fixnum(slots[1])) : 0;
}

LAOBJ* make_handle(void* pointer) { return ecl_make_foreign_data(ecl_make_keyword("POINTER-VOID"), 0, pointer); }

void* handle_pointer(LAOBJ* obj) { return ecl_t_of(obj) == t_foreign ? obj->foreign.data : nullptr; }
