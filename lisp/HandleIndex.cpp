#include "lisp/HandleIndex.h"

namespace {

constexpr std::size_t kInitialCapacity = 64;

}  // namespace

// Fibonacci hashing: heap pointers differ in their middle bits, and the
// multiplication carries those into the top bits, which index the table.
std::size_t HandleIndex::home(void const* key) const {
    auto const bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key));
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> _shift);
}

std::size_t HandleIndex::slotOf(void const* key) const {
    std::size_t slot = home(key);
    while (_slots[slot].key && _slots[slot].key != key) slot = (slot + 1) & _mask;
    return slot;
}

// At most three quarters full, so probe runs stay short.
void HandleIndex::grow() {
    std::size_t const capacity = _slots ? 2 * (_mask + 1) : kInitialCapacity;
    std::unique_ptr<Slot[]> old = std::move(_slots);
    std::size_t const oldCapacity = old ? _mask + 1 : 0;
    _slots.reset(new Slot[capacity]());
    _mask = capacity - 1;
    _shift = 64;
    for (std::size_t c = capacity; c > 1; c >>= 1) --_shift;
    for (std::size_t i = 0; i < oldCapacity; ++i)
        if (old[i].key) _slots[slotOf(old[i].key)] = old[i];
}

HandleIndex::Record const* HandleIndex::record(std::uint64_t serial) const {
    if (serial < _base || serial - _base >= _log.size()) return nullptr;
    return &_log[serial - _base];
}

std::uint64_t HandleIndex::serialOf(void const* key) const {
    if (!_slots || !key) return 0;
    Slot const& s = _slots[slotOf(key)];
    return s.key ? s.serial : 0;
}

std::uint64_t HandleIndex::add(void const* key, std::uint64_t document) {
    if (!_slots || 4 * (_used + 1) > 3 * (_mask + 1)) grow();
    Slot& s = _slots[slotOf(key)];
    if (!s.key) {
        s = Slot{key, _base + _log.size()};
        _log.push_back(Record{key, document, 0});
        ++_used;
    }
    ++_log[s.serial - _base].count;
    return s.serial;
}

// Backward-shift deletion: later members of the probe run move into the gap
// when their home allows it, so no run is ever broken by a hole.
void HandleIndex::eraseAt(std::size_t slot) {
    std::size_t gap = slot;
    for (std::size_t next = (gap + 1) & _mask; _slots[next].key; next = (next + 1) & _mask) {
        std::size_t const h = home(_slots[next].key);
        // It stays when its home lies cyclically within (gap, next].
        bool const stays = gap <= next ? (gap < h && h <= next) : (gap < h || h <= next);
        if (stays) continue;
        _slots[gap] = _slots[next];
        gap = next;
    }
    _slots[gap] = Slot{nullptr, 0};
    --_used;
}

bool HandleIndex::release(void const* key) {
    if (!_slots || !key) return false;
    std::size_t const slot = slotOf(key);
    if (!_slots[slot].key) return false;
    Record& r = _log[_slots[slot].serial - _base];
    if (--r.count != 0) return true;
    r.key = nullptr;
    eraseAt(slot);
    // With every record dead the log starts over, past the serials used: a
    // document read and disposed over and over leaves nothing behind.
    if (_used == 0) {
        _base += _log.size();
        _log.clear();
    }
    return true;
}

bool HandleIndex::live(std::uint64_t serial, void const* key) const {
    Record const* r = record(serial);
    return r && r->key == key;
}

bool HandleIndex::liveWithDocument(std::uint64_t serial, void const* key) const {
    Record const* r = record(serial);
    if (!r || r->key != key) return false;
    Record const* document = record(r->document);
    return document && document->key;
}

// Gives the memory back too: a cleared cache is usually the end of a walk
// over a large document.
void HandleIndex::clear() {
    _base += _log.size();
    _log = std::vector<Record>();
    _slots.reset();
    _mask = 0;
    _shift = 64;
    _used = 0;
}
