// HASHtable through a typed table, used the way its callers use it: fetch
// the row, walk it, ask for a new entry when nothing matched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "platform/host/hashtable.h"
#include "platform/host/large_blocks.h"

namespace {

// Keys hash to themselves, or (Crowded) to seven values: long rows, growth by crowding.
template <long Spread>
struct Item {
    long key;
    operator long() const { return key; }
    static HASHkey hash(long k) { return HASHkey(static_cast<uint64_t>(Spread ? k % Spread : k)); }
};

template <class T>
class Table final : public HASHTABLE<T, long, 2> {
public:
    explicit Table(unsigned size) : HASHTABLE<T, long, 2>(size) {}

    // How many live entries hold the key (the item must be `item`).
    int copies(long key, T const* item) const {
        int n = 0;
        for (HASHentry* e = this->get_row(T::hash(key)); e; e = e->next)
            if (e->data && static_cast<T*>(e->data)->key == key) n += e->data == item ? 1 : 100;
        return n;
    }
    // Reuses a free entry met on the walk, as the string cache does; the
    // row's own first entry goes through new_entry, which counts it.
    void insert(T* item) {
        HASHentry* row = this->get_row(T::hash(item->key));
        HASHentry* free = nullptr;
        long walked = 0;
        for (HASHentry* e = row; e; e = e->next, ++walked)
            if (!e->data) free = e;
        if (!free || free == row) free = this->new_entry(T::hash(item->key), walked);
        free->data = item;
    }
    void remove(long key) {
        for (HASHentry* e = this->get_row(T::hash(key)); e; e = e->next)
            if (e->data && static_cast<T*>(e->data)->key == key) e->data = nullptr;
    }
    // The keys scan() visits; each live entry once.
    std::multiset<long> live() const {
        std::multiset<long> keys;
        this->scan(
            [](HASHentry* e, void* out) {
                if (e->data) static_cast<std::multiset<long>*>(out)->insert(static_cast<T*>(e->data)->key);
                return true;
            },
            &keys);
        return keys;
    }
};

template <class T>
void fillAndCheck(unsigned initialRows, long n) {
    Table<T> table(initialRows);
    unsigned const rows = table.row_count();
    std::vector<std::unique_ptr<T>> items;
    auto add = [&](long to) {
        for (long k = static_cast<long>(items.size()); k < to; ++k)
            table.insert(items.emplace_back(new T{k * 3 + 1}).get());
    };
    auto everyKeyOnce = [&] {
        for (auto const& item : items) ASSERT_EQ(table.copies(item->key, item.get()), 1) << "key " << item->key;
    };
    add(n);
    EXPECT_EQ(table.entry_count(), n);
    everyKeyOnce();
    std::multiset<long> live = table.live();
    EXPECT_EQ(std::set<long>(live.begin(), live.end()).size(), static_cast<size_t>(n));
    EXPECT_EQ(live.size(), static_cast<size_t>(n));
    for (long k = -5; k < 0; ++k) EXPECT_EQ(table.copies(k, nullptr), 0);

    // Free every other entry, then put the items back through the free
    // entries and one more round of growth.
    for (long k = 0; k < n; k += 2) table.remove(items[k]->key);
    EXPECT_EQ(table.live().size(), static_cast<size_t>(n / 2));
    for (long k = 0; k < n; k += 2) {
        ASSERT_EQ(table.copies(items[k]->key, nullptr), 0);
        table.insert(items[k].get());
    }
    add(2 * n);
    everyKeyOnce();
    EXPECT_EQ(table.live().size(), static_cast<size_t>(2 * n));
    EXPECT_GE(table.entry_count(), 2 * n);
    EXPECT_GT(table.row_count(), rows) << "the table never grew";
}

TEST(HashTable, EveryKeyIsFoundOnceAfterManyGrowths) {
    fillAndCheck<Item<0>>(0, 20000);
    fillAndCheck<Item<7>>(4, 600);
    // Rows past 2 MiB come from the large-block path: they must read as
    // empty rows everywhere before the first entry.
    Table<Item<0>> large(1u << 18);
    for (long k = 0; k < 5000; ++k) ASSERT_EQ(large.get_row(Item<0>::hash(k))->data, nullptr);
    fillAndCheck<Item<0>>(1u << 18, 300000);
}

TEST(LargeBlocks, ZeroFilledWritableAndAlignedWhenLarge) {
    size_t const huge = size_t(2) << 20;
    for (size_t bytes : {size_t(0), size_t(1), size_t(4096), huge - 8, huge, (size_t(5) << 20) + 123}) {
        auto* p = static_cast<unsigned char*>(allocate_large_block(bytes));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(std::find_if(p, p + bytes, [](unsigned char c) { return c != 0; }) - p, static_cast<long>(bytes));
        EXPECT_TRUE(bytes < huge || reinterpret_cast<uintptr_t>(p) % huge == 0) << bytes;
        if (bytes) p[0] = p[bytes - 1] = 0xAB;
        free_large_block(p, bytes);
    }
    free_large_block(nullptr, 16);
}

}  // namespace
