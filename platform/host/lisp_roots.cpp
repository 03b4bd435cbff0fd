// Collector roots for Lisp objects held by C++ objects.
//
// Slots live in blocks the collector scans but never frees (one root set
// per block, not per object: the collector allows only a few thousand).
#include "platform/host/lisp_internal.h"

#include <gc/gc.h>

#include <vector>

namespace lisp_host {
namespace {

constexpr std::size_t kBlockSlots = 512;

struct RootPool {
    std::vector<LAOBJ**> free;
    std::size_t live = 0;
};

// Never destroyed: roots held by static objects are released during exit.
RootPool& pool() {
    static RootPool* const instance = new RootPool;
    return *instance;
}

void add_block() {
    auto* block = static_cast<LAOBJ**>(ecl_alloc_uncollectable(kBlockSlots * sizeof(LAOBJ*)));
    RootPool& p = pool();
    p.free.reserve(p.free.size() + kBlockSlots);
    for (std::size_t i = kBlockSlots; i-- > 0;) {
        block[i] = ECL_NIL;
        p.free.push_back(block + i);
    }
}

LAOBJ** acquire() {
    RootPool& p = pool();
    if (p.free.empty()) add_block();
    LAOBJ** slot = p.free.back();
    p.free.pop_back();
    ++p.live;
    return slot;
}

}  // namespace

void init_roots() {
    if (pool().free.empty()) add_block();
}

}  // namespace lisp_host

void LispRoot::set(LAOBJ* obj) {
    if (!slot_) {
        if (obj == ECL_NIL) return;
        slot_ = lisp_host::acquire();
    }
    *slot_ = obj;
}

void LispRoot::release() noexcept {
    if (!slot_) return;
    *slot_ = ECL_NIL;
    auto& p = lisp_host::pool();
    p.free.push_back(slot_);  // capacity was reserved when the block was added
    --p.live;
    slot_ = nullptr;
}

LispRoot& LispRoot::operator=(LispRoot&& other) noexcept {
    if (this != &other) {
        release();
        slot_ = other.slot_;
        other.slot_ = nullptr;
    }
    return *this;
}

std::size_t LispRoot::live() { return lisp_host::pool().live; }

LispCollectorPause::LispCollectorPause() noexcept { GC_disable(); }

LispCollectorPause::~LispCollectorPause() { GC_enable(); }
