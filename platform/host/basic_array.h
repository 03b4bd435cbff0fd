// BASIC_ARRAY: the host's growable array {count, capacity, buffer}.
//
// Every slot of the capacity holds a constructed T (the buffer is a
// new T[capacity]); slots past the count keep whatever they last held until
// they are overwritten or the array dies. Growth allocates a new buffer,
// copies the live elements by assignment, stores the new value and only then
// frees the old buffer, so a value that refers to an element of the same
// array may be passed to append and grow_and_set.
#pragma once

#include <cstddef>

// Byte size to allocate for a wanted buffer of `bytes` bytes (never less).
// Small buffers round up to 16 bytes, larger ones to a power of two, which
// turns the capped increment of BASIC_ARRAY into geometric growth.
size_t BASIC_ARRAY_next_bumpsize(size_t bytes);

template <class T, int N, class SIZE = long>
class BASIC_ARRAY {
public:
    BASIC_ARRAY() = default;
    ~BASIC_ARRAY() { delete[] buffer_; }
    BASIC_ARRAY(BASIC_ARRAY const&) = delete;
    BASIC_ARRAY& operator=(BASIC_ARRAY const&) = delete;

    SIZE size() const { return count_; }
    SIZE allocated() const { return capacity_; }
    T* data() { return buffer_; }
    T const* data() const { return buffer_; }

    // Slot i, unchecked.
    T& elt(SIZE i) { return buffer_[i]; }
    T const& elt(SIZE i) const { return buffer_[i]; }

    void append(T const& v) { grow_and_set(count_, v); }

    // Makes slot i exist (count becomes at least i + 1) and returns it.
    T& bumpsize(SIZE i) {
        if (i < 0) i = 0;
        if (i >= capacity_) reallocate(i, nullptr);
        if (i >= count_) count_ = i + 1;
        return buffer_[i];
    }

    // bumpsize(i), then slot i = v.
    void grow_and_set(SIZE i, T const& v) {
        if (i < 0) i = 0;
        if (i >= capacity_)
            reallocate(i, &v);
        else
            buffer_[i] = v;
        if (i >= count_) count_ = i + 1;
    }

    // Count becomes n; grows when n exceeds the capacity, never shrinks the buffer.
    void reset(SIZE n) {
        if (n != 0) bumpsize(n - 1);
        count_ = n;
    }

protected:
    SIZE count_ = 0;
    SIZE capacity_ = 0;
    T* buffer_ = nullptr;

private:
    // Grows so that slot i fits; stores *v in slot i of the new buffer
    // before the old buffer (which v may point into) is freed.
    void reallocate(SIZE i, T const* v) {
        SIZE const cap = capacity_ < 1 ? 1 : capacity_;
        SIZE const increment = cap < N ? cap : static_cast<SIZE>(N);
        size_t const bytes = BASIC_ARRAY_next_bumpsize(static_cast<size_t>(increment + i) * sizeof(T));
        SIZE const newCapacity = static_cast<SIZE>(bytes / sizeof(T));
        T* fresh = new T[newCapacity];
        for (SIZE k = 0; k < count_; ++k) fresh[k] = buffer_[k];
        if (v) fresh[i] = *v;
        if (capacity_ != 0) delete[] buffer_;
        buffer_ = fresh;
        capacity_ = newCapacity;
    }
};
