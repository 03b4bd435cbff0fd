// The entries behind Lisp handles: the one owner of the counted references
// that keep handed-out documents, elements and attributes alive.
//
// A document has one record however often it is handed out, with a count of
// its entries (each one reference). Every element or attribute hand-out gets
// a record of its own, chained to the record of its document: when the last
// entry of a document goes, the entries of its nodes go with it, so their
// wrappers, and through them the document's tree, are freed at once. Node
// handles are stale from then on anyway; nothing could use them.
//
// A record is 16 bytes, in fixed blocks reused through a free list, so no
// storage grows while a set of documents stays open beyond the entries
// themselves. A handle carries a stamp naming its record and the record's
// generation; a stamp is never given out twice, so a stale handle never
// resolves again, whatever was made at its address since.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/XmlRCObject.h"

class HandleTable {
public:
    enum Kind : std::uint32_t { Document = 0, Element = 1, Attribute = 2 };
    // The counted object behind a key of that kind (the key is the pointer
    // handles hold, which need not be the XmlRCObject part's address).
    using ObjectOf = XmlRCObject const* (*)(void const* key, Kind kind);

    explicit HandleTable(ObjectOf objectOf) : objectOf_(objectOf) {}
    ~HandleTable() { clear(); }
    HandleTable(HandleTable const&) = delete;
    HandleTable& operator=(HandleTable const&) = delete;

    // One more entry, with one reference taken; returns the stamp for the
    // new handle. A node's entry belongs to the entries of `document`; with
    // none listed for it, it stays until clear() and its stamp never
    // resolves (the node's document is not held).
    std::uint64_t addDocument(void const* document);
    std::uint64_t addNode(void const* node, Kind kind, void const* document);

    // Whether a handle of that kind, pointer and stamp stands for a listed
    // entry. Never follows the pointer.
    bool resolves(std::uint64_t stamp, void const* key, Kind kind) const;

    // Gives back one entry of the document, and with its last one the
    // entries of its nodes (nodes first); false when it has none.
    bool releaseDocument(void const* document);
    // Gives back every entry.
    void clear();

    long entries() const { return entries_; }
    // Heap bytes held by the records (for measurements).
    std::size_t recordBytes() const { return blocks_.size() * kBlockRecords * sizeof(Record); }

private:
    static constexpr std::uint32_t kBlockRecords = 4096;
    static constexpr int kNumberBits = 36;                   // stamp: generation above, record number below
    static constexpr std::uint32_t kGenerations = 1u << 24;  // then a record is retired
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    struct Record {
        void const* key;     // null while free
        std::uint32_t tag;   // generation << 2 | kind
        std::uint32_t link;  // next node of the same document, or next free record
    };
    struct DocumentEntry {
        std::uint32_t record;
        std::uint32_t count;  // entries of the document itself
        std::uint32_t nodes;  // first node record, kNone for none
    };
    using Block = std::unique_ptr<Record[]>;

    Record& at(std::uint32_t index) const { return blocks_[index / kBlockRecords][index % kBlockRecords]; }
    std::uint32_t allocate(void const* key, Kind kind);
    void free(std::uint32_t index);
    std::uint64_t stampOf(std::uint32_t index) const;
    DocumentEntry* documentEntry(void const* document);
    // Gives back the reference of every record of the chain, each record
    // freed before its object is let go (a destructor may come back here).
    void releaseChain(std::uint32_t first);
    void release(void const* key, Kind kind) const { objectOf_(key, kind)->removeReference(); }
    // With nothing listed, the blocks go back to the heap and numbering goes
    // on past them, so old stamps stay dead.
    void resetIfEmpty();

    ObjectOf objectOf_;
    std::vector<Block> blocks_;
    std::uint32_t used_ = 0;      // records ever handed out of the blocks
    std::uint32_t free_ = kNone;  // free list
    std::uint64_t base_ = 1;      // number of record 0; 0 is never a stamp
    long live_ = 0;               // records in use
    long entries_ = 0;
    std::uint32_t orphans_ = kNone;  // node records whose document is not listed
    std::unordered_map<void const*, DocumentEntry> documents_;
    // The last document looked up: nodes come in runs of one document.
    void const* lastKey_ = nullptr;
    DocumentEntry* lastEntry_ = nullptr;
};
