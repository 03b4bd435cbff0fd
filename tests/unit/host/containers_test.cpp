#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/host/basic_array.h"

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
