#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/host/basic_array.h"

TEST(BasicArray, AppendOfItsOwnElementSurvivesReallocation) {
    BASIC_ARRAY<std::string, 16, long> names;
    std::string const name(100, 'a');  // long enough to live on the heap
    names.append(name);
    for (int round = 0; round < 40; ++round) names.append(names.elt(0));  // refers into the buffer that may be freed
    for (long i = 0; i < names.size(); ++i) ASSERT_EQ(names.elt(i), name) << i;
    names.grow_and_set(200, names.elt(3));
    EXPECT_EQ(names.elt(200), name);
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
