#include "platform/host/large_blocks.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

bool isLarge(std::size_t bytes) { return bytes >= kHugePage; }

}  // namespace

// Large blocks are mapped with one huge page of slack and trimmed to a huge
// page boundary: the hint only helps an aligned range.
void* allocate_large_block(std::size_t bytes) {
    if (!isLarge(bytes)) {
        void* p = std::calloc(1, bytes ? bytes : 1);
        if (!p) throw std::bad_alloc();
        return p;
    }
    std::size_t const length = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    auto const start = reinterpret_cast<std::uintptr_t>(raw);
    auto const aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    std::uintptr_t const tail = aligned + length;
    std::uintptr_t const end = start + length + kHugePage;
    if (end > tail) munmap(reinterpret_cast<void*>(tail), end - tail);
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void free_large_block(void* block, std::size_t bytes) noexcept {
    if (!block) return;
    if (!isLarge(bytes)) {
        std::free(block);
        return;
    }
    munmap(block, (bytes + kHugePage - 1) & ~(kHugePage - 1));
}

void prefer_huge_pages(void* block, std::size_t bytes) noexcept {
    if (bytes < 4 * kHugePage) return;
    auto const start = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
    auto const end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(kHugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}
