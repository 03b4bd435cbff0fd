// The handle cache's index: for every pointer that has entries in the cache,
// how many it has, under one serial number.
//
// A pointer gets a new serial when it gains its first entry; serials grow and
// are never reused, so a serial names one unbroken stretch of time during
// which the cache held the object at that address. Handles carry the serial
// they were made under (their stamp): one whose serial is no longer its
// pointer's is stale, its object possibly gone and the address reused.
//
// Handles are checked on every call of a Lisp function, so a stamp leads
// straight to its record: records sit in a log in serial order. A hash table
// from pointer to serial serves hand-outs and removals. Records of pointers
// that left stay in the log, dead, until clear() or until no record lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class HandleIndex {
public:
    HandleIndex() = default;
    HandleIndex(HandleIndex const&) = delete;
    HandleIndex& operator=(HandleIndex const&) = delete;

    // One more entry for key (not null); returns the key's serial. A new key
    // records `document`: the serial of its document's entries (0: none).
    std::uint64_t add(void const* key, std::uint64_t document);
    // One entry less for key; false when it has none.
    bool release(void const* key);
    // The serial of key's entries; 0 when it has none.
    std::uint64_t serialOf(void const* key) const;

    // Whether a handle of key stamped with serial is live, and for a node,
    // whether the document entries it was made under still exist.
    bool live(std::uint64_t serial, void const* key) const;
    bool liveWithDocument(std::uint64_t serial, void const* key) const;

    // Every pointer leaves; serials go on from where they were.
    void clear();

    std::size_t size() const { return _used; }  // pointers with entries

private:
    struct Slot {
        void const* key;  // null: empty
        std::uint64_t serial;
    };
    struct Record {
        void const* key;          // null once the pointer has left
        std::uint64_t document;   // serial of the node's document; 0 for documents
        std::uint32_t count;
    };

    Record const* record(std::uint64_t serial) const;
    std::size_t home(void const* key) const;
    std::size_t slotOf(void const* key) const;  // its slot, or the empty one where it goes
    void grow();
    void eraseAt(std::size_t slot);

    std::unique_ptr<Slot[]> _slots;
    std::size_t _mask = 0;  // capacity - 1; capacity a power of two (0: none yet)
    int _shift = 64;        // 64 - log2(capacity)
    std::size_t _used = 0;
    std::vector<Record> _log;       // _log[serial - _base]
    std::uint64_t _base = 1;        // 0 is never a serial: unstamped handles match nothing
};
