#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/basic_array.h"
#include "platform/host/hashtable.h"

// ---- BASIC_ARRAY -----------------------------------------------------------------

// Capacity after each append follows the rule: increment = min(capacity or
// 1, N) elements beyond the index, rounded by BASIC_ARRAY_next_bumpsize.
TEST(BasicArray, CapacitiesAfterSuccessiveAppends) {
    BASIC_ARRAY<void*, 16, long> pointers;  // 8-byte elements
    EXPECT_EQ(pointers.size(), 0);
    EXPECT_EQ(pointers.allocated(), 0);
    EXPECT_EQ(pointers.data(), nullptr);
    std::vector<long> capacities;
    for (long i = 0; i < 70; ++i) {
        pointers.append(nullptr);
        if (capacities.empty() || capacities.back() != pointers.allocated()) capacities.push_back(pointers.allocated());
    }
    // 1*8 -> 16 B = 2; (2+2)*8 = 32 B = 4; 64 B = 8; 128 B = 16;
    // (16+16)*8 = 256 B = 32; (16+32)*8 = 384 -> 512 B = 64; (16+64)*8 -> 1024 B = 128.
    EXPECT_EQ(capacities, (std::vector<long>{2, 4, 8, 16, 32, 64, 128}));
    EXPECT_EQ(pointers.size(), 70);

    // A small growth chunk caps the increment: 24-byte elements, N = 4.
    struct Wide {
        char bytes[24];
    };
    BASIC_ARRAY<Wide, 4, long> wide;
    capacities.clear();
    for (long i = 0; i < 12; ++i) {
        wide.append(Wide{});
        if (capacities.empty() || capacities.back() != wide.allocated()) capacities.push_back(wide.allocated());
    }
    // 24 -> 32 B = 1; (1+1)*24 = 48 B = 2; 96 B = 4; (4+4)*24 = 192 -> 256 B = 10;
    // (4+10)*24 = 336 -> 512 B = 21.
    EXPECT_EQ(capacities, (std::vector<long>{1, 2, 4, 10, 21}));
}

TEST(BasicArray, AppendOfItsOwnElementSurvivesReallocation) {
    BASIC_ARRAY<std::string, 16, long> names;
    names.append(std::string(100, 'a'));  // long enough to live on the heap
    for (int round = 0; round < 40; ++round) {
        long const before = names.allocated();
        names.append(names.elt(0));  // refers into the buffer that may be freed
        if (names.allocated() != before) {
            EXPECT_EQ(names.elt(names.size() - 1), std::string(100, 'a'));
        }
    }
    for (long i = 0; i < names.size(); ++i) ASSERT_EQ(names.elt(i), std::string(100, 'a'));
    names.grow_and_set(200, names.elt(3));
    EXPECT_EQ(names.elt(200), std::string(100, 'a'));
    EXPECT_EQ(names.size(), 201);
}

TEST(BasicArray, IndexesCountAndReset) {
    BASIC_ARRAY<int, 16, long> a;
    a.grow_and_set(5, 7);  // slots 0..4 exist with their default value
    EXPECT_EQ(a.size(), 6);
    EXPECT_EQ(a.elt(5), 7);
    a.grow_and_set(-3, 9);  // a negative index is slot 0
    EXPECT_EQ(a.elt(0), 9);
    EXPECT_EQ(a.size(), 6);
    a.bumpsize(2) = 4;  // inside the count: no change of count
    EXPECT_EQ(a.elt(2), 4);
    EXPECT_EQ(a.size(), 6);

    long const capacity = a.allocated();
    int const* buffer = a.data();
    a.reset(2);  // shrinking keeps the buffer
    EXPECT_EQ(a.size(), 2);
    EXPECT_EQ(a.allocated(), capacity);
    EXPECT_EQ(a.data(), buffer);
    a.reset(0);
    EXPECT_EQ(a.size(), 0);
    a.reset(100);  // growing allocates
    EXPECT_EQ(a.size(), 100);
    EXPECT_GE(a.allocated(), 100);
}

TEST(BasicArray, EverySlotOfTheCapacityIsDestroyed) {
    auto alive = std::make_shared<int>(0);
    {
        BASIC_ARRAY<std::shared_ptr<int>, 16, long> a;
        for (int i = 0; i < 20; ++i) a.append(alive);
        EXPECT_EQ(alive.use_count(), 21);  // copies moved to a new buffer are not doubled
        a.reset(5);                        // slots past the count still hold theirs
        EXPECT_EQ(alive.use_count(), 21);
    }
    EXPECT_EQ(alive.use_count(), 1);
}

// ---- HASHtable -------------------------------------------------------------------

namespace {

struct Item {
    std::wstring name;
    operator wchar_t const*() const { return name.c_str(); }
    static HASHkey hash(wchar_t const* s) { return HASHkey(s); }
};

class ItemTable : public HASHTABLE<Item, wchar_t const*, 1> {
public:
    Item* find(wchar_t const* name) const {
        for (HASHentry* e = get_row(HASHkey(name)); e; e = e->next)
            if (e->data && static_cast<Item*>(e->data)->name == name) return static_cast<Item*>(e->data);
        return nullptr;
    }
    void insert(Item* item) {
        long walked = 0;
        for (HASHentry* e = get_row(HASHkey(item->name.c_str())); e; e = e->next) ++walked;
        new_entry(HASHkey(item->name.c_str()), walked)->data = item;
    }
};

bool count(HASHentry*, void* n) {
    ++*static_cast<long*>(n);
    return true;
}

}  // namespace

TEST(HashTable, GrowsSoThatRowsStayShort) {
    std::vector<std::unique_ptr<Item>> items;
    ItemTable table;
    EXPECT_EQ(table.row_count(), HASHtable::DEFAULT_SIZE);
    for (int i = 0; i < 50000; ++i) {
        items.push_back(std::make_unique<Item>(Item{L"name" + std::to_wstring(i)}));
        table.insert(items.back().get());
    }
    EXPECT_EQ(table.entry_count(), 50000);
    EXPECT_GE(table.row_count(), 50000u);  // load factor 1
    EXPECT_LE(table.longest_row(), 12);
    for (int i = 0; i < 50000; i += 97) {
        std::wstring name = L"name" + std::to_wstring(i);
        ASSERT_EQ(table.find(name.c_str()), items[i].get());
    }
    EXPECT_EQ(table.find(L"name50000"), nullptr);
    long visited = 0;
    EXPECT_TRUE(table.scan(&count, &visited));
    EXPECT_EQ(visited, 50000);
}

TEST(HashTable, FreeEntriesAreDroppedByARehash) {
    std::vector<std::unique_ptr<Item>> items;
    ItemTable table;
    Item freed{L"freed"};
    table.insert(&freed);
    auto clear = [](HASHentry* e, void* target) {
        if (e->data == target) e->data = nullptr;
        return true;
    };
    table.scan(clear, &freed);
    EXPECT_EQ(table.entry_count(), 1);
    for (int i = 0; i < 40; ++i) {  // enough to double the rows twice
        items.push_back(std::make_unique<Item>(Item{std::to_wstring(i)}));
        table.insert(items.back().get());
    }
    EXPECT_EQ(table.entry_count(), 40);
    long visited = 0;
    auto countLive = [](HASHentry* e, void* n) {
        EXPECT_NE(e->data, nullptr);
        ++*static_cast<long*>(n);
        return true;
    };
    table.scan(countLive, &visited);
    EXPECT_EQ(visited, 40);
}

