// Large zero-filled memory blocks for tables and arenas that grow to many
// megabytes: blocks of 2 MiB and more come straight from the system, aligned
// and marked for huge pages where the system offers them, which saves most
// page faults and TLB misses when such a block is read in random order.
#pragma once

#include <cstddef>

// A zero-filled block of `bytes` bytes; throws std::bad_alloc on failure.
void* allocate_large_block(std::size_t bytes);
// Gives back a block of allocate_large_block with the same size.
void free_large_block(void* block, std::size_t bytes) noexcept;

// Asks for huge pages over the whole 2 MiB pages inside an untouched block
// of `bytes` bytes (from the heap, say), before its first write: one page
// fault per 2 MiB instead of one per 4 KiB. Only advice; nothing for small
// blocks.
void prefer_huge_pages(void* block, std::size_t bytes) noexcept;
