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

HASHkey::HASHkey(wchar_t const* s) : _value(hashText(s)) {}
HASHkey::HASHkey(char const* s) : _value(hashText(s)) {}

struct HASHtable::Block {
    Block* next;
    HASHentry* entries;
};

HASHtable::HASHtable(unsigned size, EntryKeyFn keyOf, unsigned loadFactor)
    : _rowCount(roundUpToPowerOfTwo(size ? size : DEFAULT_SIZE)), _loadFactor(loadFactor ? loadFactor : 1),
      _keyOf(keyOf) {
    _rows = newRows(_rowCount);
}

HASHtable::~HASHtable() {
    free_large_block(_rows, _rowCount * sizeof(HASHentry));
    while (Block* b = _blocks) {
        _blocks = b->next;
        delete[] b->entries;
        delete b;
    }
}

unsigned HASHtable::rowOf(HASHkey const& key) const {
    return static_cast<unsigned>(mix(key.value()) & (_rowCount - 1));
}

HASHentry* HASHtable::get_row(HASHkey const& key) const { return &_rows[rowOf(key)]; }

// Entries come from blocks that double in size up to 4096 entries; a table
// frees them all at once when it dies.
HASHentry* HASHtable::allocateEntry() {
    if (_spare) {
        HASHentry* e = _spare;
        _spare = e->next;
        return e;
    }
    if (!_blocks || _blockUsed == _blockSize) {
        size_t const size = _blockSize == 0 ? 16 : (_blockSize < 4096 ? _blockSize * 2 : 4096);
        auto* block = new Block{_blocks, nullptr};
        block->entries = new HASHentry[size];
        _blocks = block;
        _blockSize = size;
        _blockUsed = 0;
    }
    return &_blocks->entries[_blockUsed++];
}

HASHentry* HASHtable::new_entry(HASHkey const& key, long walked) {
    if (_keyOf && _rowCount < (1u << 30)) {
        bool const full = static_cast<unsigned long>(_entries) >= static_cast<unsigned long>(_rowCount) * _loadFactor;
        // A long walk in a half-empty table means a crowded row: spreading
        // the keys over more rows shortens it.
        bool const crowded = walked > 8 + 2 * static_cast<long>(_loadFactor) &&
                             static_cast<unsigned long>(_entries) >= _rowCount / 2;
        if (full || crowded) grow();
    }
    ++_entries;
    HASHentry& head = _rows[rowOf(key)];
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
            spare->next = _spare;
            _spare = spare;
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
    unsigned const oldCount = _rowCount;
    HASHentry* old = _rows;
    _rowCount = oldCount * 2;
    _rows = newRows(_rowCount);
    _entries = 0;
    for (unsigned r = 0; r < oldCount; ++r) {
        if (old[r].data) {
            place(_rows[rowOf(_keyOf(this, &old[r]))], old[r].data, nullptr);
            ++_entries;
        }
        for (HASHentry* e = old[r].next; e;) {
            HASHentry* next = e->next;
            if (e->data) {
                place(_rows[rowOf(_keyOf(this, e))], e->data, e);
                ++_entries;
            } else {
                e->next = _spare;
                _spare = e;
            }
            e = next;
        }
    }
    free_large_block(old, oldCount * sizeof(HASHentry));
}

bool HASHtable::scan(ScanFn fn, void* context) const {
    for (unsigned r = 0; r < _rowCount; ++r)
        for (HASHentry* e = &_rows[r]; e;) {
            HASHentry* next = e->next;
            if (!fn(e, context)) return false;
            e = next;
        }
    return true;
}

long HASHtable::longest_row() const {
    long longest = 0;
    for (unsigned r = 0; r < _rowCount; ++r) {
        long n = 0;
        for (HASHentry* e = &_rows[r]; e; e = e->next)
            if (e->data) ++n;
        if (n > longest) longest = n;
    }
    return longest;
}
