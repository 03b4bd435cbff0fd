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

struct Item {
    long key;
    operator long() const { return key; }
    static HASHkey hash(long k) { return HASHkey(static_cast<uint64_t>(k)); }
};

// Seven hash values for all keys: long rows, growth by crowding.
struct Crowded : Item {
    static HASHkey hash(long k) { return HASHkey(static_cast<uint64_t>(k % 7)); }
};

template <class T>
class Table final : public HASHTABLE<T, long, 2> {
public:
    using Base = HASHTABLE<T, long, 2>;
    explicit Table(unsigned size = 0) : Base(size) {}

    // The item of that key, and how many live entries hold it.
    T* find(long key, int* copies = nullptr) const {
        T* found = nullptr;
        int n = 0;
        HASHentry* row = this->get_row(T::hash(key));
        EXPECT_NE(row, nullptr);
        for (HASHentry* e = row; e; e = e->next)
            if (e->data && static_cast<T*>(e->data)->key == key) found = static_cast<T*>(e->data), ++n;
        if (copies) *copies = n;
        return found;
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
void expectEveryKeyOnce(Table<T> const& table, std::vector<std::unique_ptr<T>> const& items) {
    for (auto const& item : items) {
        int copies = 0;
        ASSERT_EQ(table.find(item->key, &copies), item.get()) << "key " << item->key;
        ASSERT_EQ(copies, 1) << "key " << item->key;
    }
}

template <class T>
void fillAndCheck(unsigned initialRows, long n) {
    Table<T> table(initialRows);
    unsigned const rows = table.row_count();
    std::vector<std::unique_ptr<T>> items;
    auto add = [&](long from, long to) {
        for (long k = from; k < to; ++k) table.insert(items.emplace_back(std::make_unique<T>(T{{k * 3 + 1}})).get());
    };
    add(0, n);
    EXPECT_EQ(table.entry_count(), n);
    expectEveryKeyOnce(table, items);
    std::multiset<long> live = table.live();
    ASSERT_EQ(live.size(), static_cast<size_t>(n)) << "scan visits each live entry once";
    EXPECT_EQ(std::set<long>(live.begin(), live.end()).size(), live.size());
    for (long k = -5; k < 0; ++k) EXPECT_EQ(table.find(k), nullptr);

    // Free every other entry, then put the items back through the free
    // entries and one more round of growth.
    for (long k = 0; k < n; k += 2) table.remove(items[k]->key);
    EXPECT_EQ(table.live().size(), static_cast<size_t>(n / 2));
    for (long k = 0; k < n; k += 2) {
        ASSERT_EQ(table.find(items[k]->key), nullptr);
        table.insert(items[k].get());
    }
    add(n, 2 * n);
    expectEveryKeyOnce(table, items);
    EXPECT_EQ(table.live().size(), static_cast<size_t>(2 * n));
    EXPECT_GE(table.entry_count(), 2 * n);
    EXPECT_GT(table.row_count(), rows) << "the table never grew";
}

TEST(HashTable, EveryKeyIsFoundOnceAfterManyGrowths) {
    fillAndCheck<Item>(0, 20000);
    fillAndCheck<Crowded>(4, 600);
    // Rows past 2 MiB come from the large-block path: they must read as
    // empty rows everywhere before the first entry.
    Table<Item> large(1u << 18);
    for (long k = 0; k < 5000; ++k) ASSERT_EQ(large.get_row(Item::hash(k))->data, nullptr);
    fillAndCheck<Item>(1u << 18, 300000);
}

TEST(LargeBlocks, ZeroFilledWritableAndAlignedWhenLarge) {
    for (size_t bytes :
         {size_t(0), size_t(1), size_t(4096), (size_t(2) << 20) - 8, size_t(2) << 20, (size_t(5) << 20) + 123}) {
        auto* p = static_cast<unsigned char*>(allocate_large_block(bytes));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(std::find_if(p, p + bytes, [](unsigned char c) { return c != 0; }) - p, static_cast<long>(bytes));
        EXPECT_TRUE(bytes < (size_t(2) << 20) || reinterpret_cast<uintptr_t>(p) % (size_t(2) << 20) == 0) << bytes;
        if (bytes) p[0] = p[bytes - 1] = 0xAB;
        free_large_block(p, bytes);
    }
    free_large_block(nullptr, 16);
}

}  // namespace
