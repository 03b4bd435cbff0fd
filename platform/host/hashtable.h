// HASHtable: the host's string-keyed hash table of chained rows.
//
// A row is a singly linked chain of HASHentry records; each entry carries one
// data word (a pointer; null marks a free entry that a caller may reuse). The
// table owns the entries, never the data. Callers fetch the row of a key,
// walk it themselves, and ask for a new entry of that row when nothing
// matched. The table doubles its rows when it fills; since it stores no keys,
// it asks its owner for the key of each live entry when it rehashes.
//
// The first entry of every row lives in the row array itself: a lookup in a
// large table then costs one memory miss for the row instead of two, and an
// empty row is a free first entry rather than no entry. Two consequences for
// callers: a pointer to an entry does not survive the next new_entry (growth
// moves the first entries), and the table counts entries only as new_entry
// hands them out, so an empty row's free first entry is taken through
// new_entry too (it returns that very entry).
//
// HASHTABLE<T, K, n> is the typed face: T is the entry type pointed to by the
// data words (with a static T::hash(K) and a conversion to K), K the key
// type, n the average row length above which the table grows.
#pragma once

#include <cstddef>
#include <cstdint>

struct HASHentry {
    HASHentry* next;  // next entry of the same row
    void* data;       // null: free
};

class HASHkey {
public:
    HASHkey() = default;
    explicit HASHkey(uint64_t value) : value_(value) {}
    HASHkey(wchar_t const* s);  // hash of the text; null hashes like ""
    HASHkey(char const* s);

    uint64_t value() const { return value_; }
    bool operator==(HASHkey const& other) const { return value_ == other.value_; }

private:
    uint64_t value_ = 0;
};

class HASHtable {
public:
    // Gives the key of a live entry (data not null) of `table`.
    typedef HASHkey (*EntryKeyFn)(HASHtable* table, HASHentry* entry);
    // Scan callback: true to go on, false to stop the scan.
    typedef bool (*ScanFn)(HASHentry* entry, void* context);

    // size: rows wanted at first (0: the default); keyOf: null for a table
    // that never rehashes; loadFactor: average row length that triggers growth.
    HASHtable(unsigned size, EntryKeyFn keyOf, unsigned loadFactor = 1);
    ~HASHtable();
    HASHtable(HASHtable const&) = delete;
    HASHtable& operator=(HASHtable const&) = delete;

    // First entry of the key's row (never null; free when the row is empty).
    HASHentry* get_row(HASHkey const& key) const;
    // A new free entry linked into the key's row (the table may grow first).
    // walked: how many entries the caller passed in that row.
    HASHentry* new_entry(HASHkey const& key, long walked);
    // Calls fn on every entry, free ones included, until fn returns false.
    // False when fn stopped the scan. fn must not add entries.
    bool scan(ScanFn fn, void* context) const;

    long entry_count() const { return entries_; }
    unsigned row_count() const { return rowCount_; }
    // Length of the longest row (for checks and statistics).
    long longest_row() const;

    static constexpr unsigned DEFAULT_SIZE = 16;

private:
    struct Block;

    unsigned rowOf(HASHkey const& key) const;
    HASHentry* allocateEntry();
    void grow();
    // Puts a live entry's data into `row`: in its first entry when free,
    // else in `spare` (an entry to link in; null: allocate one).
    void place(HASHentry& row, void* data, HASHentry* spare);

    HASHentry* rows_ = nullptr;  // the first entry of each row
    unsigned rowCount_ = 0;
    long entries_ = 0;
    unsigned loadFactor_;
    EntryKeyFn keyOf_;
    Block* blocks_ = nullptr;     // entry storage, freed with the table
    HASHentry* spare_ = nullptr;  // free entries dropped by a rehash
    size_t blockUsed_ = 0;
    size_t blockSize_ = 0;
};

template <class T, class K, int n>
class HASHTABLE : private HASHtable {
public:
    explicit HASHTABLE(unsigned size = 0) : HASHtable(size, &keyOfEntry, n > 0 ? n : 1) {}

    // The key of a live entry, built from the entry's own key.
    virtual HASHkey get_hashentry_hashvalue(HASHentry* entry) {
        return T::hash(static_cast<K>(*static_cast<T*>(entry->data)));
    }

    using HASHtable::entry_count;
    using HASHtable::get_row;
    using HASHtable::longest_row;
    using HASHtable::new_entry;
    using HASHtable::row_count;
    using HASHtable::scan;
    using HASHtable::ScanFn;

protected:
    // Not virtual: delete through the most derived class, which adds the
    // virtual destructor.
    ~HASHTABLE() = default;

private:
    static HASHkey keyOfEntry(HASHtable* table, HASHentry* entry) {
        return static_cast<HASHTABLE*>(table)->get_hashentry_hashvalue(entry);
    }
};
