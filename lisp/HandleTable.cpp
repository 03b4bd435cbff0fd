#include "lisp/HandleTable.h"

#include <utility>

std::uint64_t HandleTable::stampOf(std::uint32_t index) const {
    std::uint64_t const generation = at(index).tag >> 2;
    return generation << kNumberBits | (base_ + index);
}

std::uint32_t HandleTable::allocate(void const* key, Kind kind) {
    std::uint32_t index = free_;
    if (index != kNone) {
        free_ = at(index).link;
    } else {
        if (used_ % kBlockRecords == 0) blocks_.emplace_back(new Record[kBlockRecords]);
        index = used_++;
        at(index).tag = 0;
    }
    Record& r = at(index);
    r.key = key;
    r.tag = (r.tag & ~3u) | kind;
    r.link = kNone;
    ++live_;
    return index;
}

// The next generation makes every stamp of the record's past dead; a record
// out of generations is never used again.
void HandleTable::free(std::uint32_t index) {
    Record& r = at(index);
    r.key = nullptr;
    r.tag += 4;
    --live_;
    if ((r.tag >> 2) >= kGenerations) return;
    r.link = free_;
    free_ = index;
}

HandleTable::DocumentEntry* HandleTable::documentEntry(void const* document) {
    if (document != lastKey_ || !lastEntry_) {
        auto it = documents_.find(document);
        lastKey_ = document;
        lastEntry_ = it == documents_.end() ? nullptr : &it->second;
    }
    return lastEntry_;
}

std::uint64_t HandleTable::addDocument(void const* document) {
    DocumentEntry* entry = documentEntry(document);
    if (!entry) {
        entry = &documents_.emplace(document, DocumentEntry{allocate(document, Document), 0, kNone}).first->second;
        lastKey_ = document;
        lastEntry_ = entry;
    }
    objectOf_(document, Document)->addReference();
    ++entry->count;
    ++entries_;
    return stampOf(entry->record);
}

std::uint64_t HandleTable::addNode(void const* node, Kind kind, void const* document) {
    DocumentEntry* entry = document ? documentEntry(document) : nullptr;
    std::uint32_t& chain = entry ? entry->nodes : orphans_;
    std::uint32_t const index = allocate(node, kind);
    at(index).link = chain;
    chain = index;
    objectOf_(node, kind)->addReference();
    ++entries_;
    // An orphan's stamp is never handed out: it could not resolve anyway.
    return entry ? stampOf(index) : 0;
}

bool HandleTable::resolves(std::uint64_t stamp, void const* key, Kind kind) const {
    std::uint64_t const number = stamp & ((std::uint64_t{1} << kNumberBits) - 1);
    if (!key || number < base_ || number - base_ >= used_) return false;
    Record const& r = at(static_cast<std::uint32_t>(number - base_));
    return r.key == key && r.tag == (static_cast<std::uint32_t>(stamp >> kNumberBits) << 2 | kind);
}

void HandleTable::releaseChain(std::uint32_t index) {
    while (index != kNone) {
        Record const r = at(index);
        free(index);
        --entries_;
        index = r.link;
        release(r.key, static_cast<Kind>(r.tag & 3));
    }
}

bool HandleTable::releaseDocument(void const* document) {
    DocumentEntry* entry = document ? documentEntry(document) : nullptr;
    if (!entry) return false;
    --entries_;
    if (--entry->count == 0) {
        std::uint32_t const nodes = entry->nodes;
        free(entry->record);
        documents_.erase(document);
        lastKey_ = nullptr;
        lastEntry_ = nullptr;
        releaseChain(nodes);
    }
    release(document, Document);
    resetIfEmpty();
    return true;
}

void HandleTable::resetIfEmpty() {
    constexpr std::uint64_t kLastBase = (std::uint64_t{1} << kNumberBits) - (std::uint64_t{1} << 32);
    if (live_ != 0 || base_ + used_ > kLastBase) return;
    base_ += used_;
    used_ = 0;
    free_ = kNone;
    blocks_.clear();
}

// Everything is taken out of the table before the first reference goes, so
// that destructors find it consistent (and empty).
void HandleTable::clear() {
    std::unordered_map<void const*, DocumentEntry> documents;
    documents.swap(documents_);
    std::uint32_t orphans = std::exchange(orphans_, kNone);
    lastKey_ = nullptr;
    lastEntry_ = nullptr;
    for (auto& [key, entry] : documents) {
        free(entry.record);
        releaseChain(entry.nodes);
    }
    releaseChain(orphans);
    for (auto& [key, entry] : documents) {
        entries_ -= entry.count;
        for (std::uint32_t i = 0; i < entry.count; ++i) release(key, Document);
    }
    resetIfEmpty();
    if (live_ == 0) blocks_.shrink_to_fit();
}
