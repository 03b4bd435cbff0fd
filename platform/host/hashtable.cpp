#include "platform/host/hashtable.h"

#include "platform/host/large_blocks.h"

#include <cstring>
#include <type_traits>

namespace {

// FNV-1a over the code units; rowOf mixes the bits afterwards.
template <class C>
uint64_t hashText(C const* s) {
    uint64_t h = 0xcbf29ce484222325ULL;
    if (s)
        for (; *s; ++s) {
            h ^= static_cast<uint64_t>(static_cast<std::make_unsigned_t<C>>(*s));
            h *= 0x100000001b3ULL;
        }
    return h;
}

// Spreads every input bit over the low bits that pick the row.
uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

unsigned roundUpToPowerOfTwo(unsigned n) {
    unsigned p = 1;
    while (p < n && p < (1u << 30)) p <<= 1;
    return p;
}

// Rows of free first entries: all-zero HASHentry records. Large tables are
// read in random order, so their rows sit in huge pages where possible.
HASHentry* newRows(unsigned count) {
    static_assert(std::is_trivial_v<HASHentry>);
    return static_cast<HASHentry*>(allocate_large_block(count * sizeof(HASHentry)));
}

}  // namespace

HASHkey::HASHkey(wchar_t const* s) : value_(hashText(s)) {}
HASHkey::HASHkey(char const* s) : value_(hashText(s)) {}

struct HASHtable::Block {
    Block* next;
    HASHentry* entries;
};

HASHtable::HASHtable(unsigned size, EntryKeyFn keyOf, unsigned loadFactor)
    : rowCount_(roundUpToPowerOfTwo(size ? size : DEFAULT_SIZE)),
      loadFactor_(loadFactor ? loadFactor : 1),
      keyOf_(keyOf) {
    rows_ = newRows(rowCount_);
}

HASHtable::~HASHtable() {
    free_large_block(rows_, rowCount_ * sizeof(HASHentry));
    while (Block* b = blocks_) {
        blocks_ = b->next;
        delete[] b->entries;
        delete b;
    }
}

unsigned HASHtable::rowOf(HASHkey const& key) const {
    return static_cast<unsigned>(mix(key.value()) & (rowCount_ - 1));
}

HASHentry* HASHtable::get_row(HASHkey const& key) const { return &rows_[rowOf(key)]; }

// Entries come from blocks that double in size up to 4096 entries; a table
// frees them all at once when it dies.
HASHentry* HASHtable::allocateEntry() {
    if (spare_) {
        HASHentry* e = spare_;
        spare_ = e->next;
        return e;
    }
    if (!blocks_ || blockUsed_ == blockSize_) {
        size_t const size = blockSize_ == 0 ? 16 : (blockSize_ < 4096 ? blockSize_ * 2 : 4096);
        auto* block = new Block{blocks_, nullptr};
        block->entries = new HASHentry[size];
        blocks_ = block;
        blockSize_ = size;
        blockUsed_ = 0;
    }
    return &blocks_->entries[blockUsed_++];
}

HASHentry* HASHtable::new_entry(HASHkey const& key, long walked) {
    if (keyOf_ && rowCount_ < (1u << 30)) {
        bool const full = static_cast<unsigned long>(entries_) >= static_cast<unsigned long>(rowCount_) * loadFactor_;
        // A long walk in a half-empty table means a crowded row: spreading
        // the keys over more rows shortens it.
        bool const crowded =
            walked > 8 + 2 * static_cast<long>(loadFactor_) && static_cast<unsigned long>(entries_) >= rowCount_ / 2;
        if (full || crowded) grow();
    }
    ++entries_;
    HASHentry& head = rows_[rowOf(key)];
    if (!head.data) return &head;  // an empty row (or one that growing emptied)
    HASHentry* e = allocateEntry();
    e->data = nullptr;
    e->next = head.next;
    head.next = e;
    return e;
}

void HASHtable::place(HASHentry& row, void* data, HASHentry* spare) {
    if (!row.data) {
        row.data = data;
        if (spare) {
            spare->next = spare_;
            spare_ = spare;
        }
        return;
    }
    HASHentry* e = spare ? spare : allocateEntry();
    e->data = data;
    e->next = row.next;
    row.next = e;
}

// Doubles the rows and places every live entry by the key its owner gives;
// chained entries that are not needed again go to the spare list.
void HASHtable::grow() {
    unsigned const oldCount = rowCount_;
    HASHentry* old = rows_;
    rowCount_ = oldCount * 2;
    rows_ = newRows(rowCount_);
    entries_ = 0;
    for (unsigned r = 0; r < oldCount; ++r) {
        if (old[r].data) {
            place(rows_[rowOf(keyOf_(this, &old[r]))], old[r].data, nullptr);
            ++entries_;
        }
        for (HASHentry* e = old[r].next; e;) {
            HASHentry* next = e->next;
            if (e->data) {
                place(rows_[rowOf(keyOf_(this, e))], e->data, e);
                ++entries_;
            } else {
                e->next = spare_;
                spare_ = e;
            }
            e = next;
        }
    }
    free_large_block(old, oldCount * sizeof(HASHentry));
}

bool HASHtable::scan(ScanFn fn, void* context) const {
    for (unsigned r = 0; r < rowCount_; ++r)
        for (HASHentry* e = &rows_[r]; e;) {
            HASHentry* next = e->next;
            if (!fn(e, context)) return false;
            e = next;
        }
    return true;
}

long HASHtable::longest_row() const {
    long longest = 0;
    for (unsigned r = 0; r < rowCount_; ++r) {
        long n = 0;
        for (HASHentry* e = &rows_[r]; e; e = e->next)
            if (e->data) ++n;
        if (n > longest) longest = n;
    }
    return longest;
}
