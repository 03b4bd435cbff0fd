#include "lisp/HandleTable.h"

#include <utility>

std::uint64_t HandleTable::stampOf(std::uint32_t index) const {
    std::uint64_t const generation = at(index).tag >> 2;
    return generation << kNumberBits | (_base + index);
}

std::uint32_t HandleTable::allocate(void const* key, Kind kind) {
    std::uint32_t index = _free;
    if (index != kNone) {
        _free = at(index).link;
    } else {
        if (_used % kBlockRecords == 0) _blocks.emplace_back(new Record[kBlockRecords]);
        index = _used++;
        at(index).tag = 0;
    }
    Record& r = at(index);
    r.key = key;
    r.tag = (r.tag & ~3u) | kind;
    r.link = kNone;
    ++_live;
    return index;
}

// The next generation makes every stamp of the record's past dead; a record
// out of generations is never used again.
void HandleTable::free(std::uint32_t index) {
    Record& r = at(index);
    r.key = nullptr;
    r.tag += 4;
    --_live;
    if ((r.tag >> 2) >= kGenerations) return;
    r.link = _free;
    _free = index;
}

HandleTable::DocumentEntry* HandleTable::documentEntry(void const* document) {
    if (document != _lastKey || !_lastEntry) {
        auto it = _documents.find(document);
        _lastKey = document;
        _lastEntry = it == _documents.end() ? nullptr : &it->second;
    }
    return _lastEntry;
}

std::uint64_t HandleTable::addDocument(void const* document) {
    DocumentEntry* entry = documentEntry(document);
    if (!entry) {
        entry = &_documents.emplace(document, DocumentEntry{allocate(document, Document), 0, kNone})
                     .first->second;
        _lastKey = document;
        _lastEntry = entry;
    }
    _objectOf(document, Document)->addReference();
    ++entry->count;
    ++_entries;
    return stampOf(entry->record);
}

std::uint64_t HandleTable::addNode(void const* node, Kind kind, void const* document) {
    DocumentEntry* entry = document ? documentEntry(document) : nullptr;
    std::uint32_t& chain = entry ? entry->nodes : _orphans;
    std::uint32_t const index = allocate(node, kind);
    at(index).link = chain;
    chain = index;
    _objectOf(node, kind)->addReference();
    ++_entries;
    // An orphan's stamp is never handed out: it could not resolve anyway.
    return entry ? stampOf(index) : 0;
}

bool HandleTable::resolves(std::uint64_t stamp, void const* key, Kind kind) const {
    std::uint64_t const number = stamp & ((std::uint64_t{1} << kNumberBits) - 1);
    if (!key || number < _base || number - _base >= _used) return false;
    Record const& r = at(static_cast<std::uint32_t>(number - _base));
    return r.key == key && r.tag == (static_cast<std::uint32_t>(stamp >> kNumberBits) << 2 | kind);
}

void HandleTable::releaseChain(std::uint32_t index) {
    while (index != kNone) {
        Record const r = at(index);
        free(index);
        --_entries;
        index = r.link;
        release(r.key, static_cast<Kind>(r.tag & 3));
    }
}

bool HandleTable::releaseDocument(void const* document) {
    DocumentEntry* entry = document ? documentEntry(document) : nullptr;
    if (!entry) return false;
    --_entries;
    if (--entry->count == 0) {
        std::uint32_t const nodes = entry->nodes;
        free(entry->record);
        _documents.erase(document);
        _lastKey = nullptr;
        _lastEntry = nullptr;
        releaseChain(nodes);
    }
    release(document, Document);
    resetIfEmpty();
    return true;
}

void HandleTable::resetIfEmpty() {
    constexpr std::uint64_t kLastBase = (std::uint64_t{1} << kNumberBits) - (std::uint64_t{1} << 32);
    if (_live != 0 || _base + _used > kLastBase) return;
    _base += _used;
    _used = 0;
    _free = kNone;
    _blocks.clear();
}

// Everything is taken out of the table before the first reference goes, so
// that destructors find it consistent (and empty).
void HandleTable::clear() {
    std::unordered_map<void const*, DocumentEntry> documents;
    documents.swap(_documents);
    std::uint32_t orphans = std::exchange(_orphans, kNone);
    _lastKey = nullptr;
    _lastEntry = nullptr;
    for (auto& [key, entry] : documents) {
        free(entry.record);
        releaseChain(entry.nodes);
    }
    releaseChain(orphans);
    for (auto& [key, entry] : documents) {
        _entries -= entry.count;
        for (std::uint32_t i = 0; i < entry.count; ++i) release(key, Document);
    }
    resetIfEmpty();
    if (_live == 0) _blocks.shrink_to_fit();
}
