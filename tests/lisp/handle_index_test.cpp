// The handle cache's index on its own: serials that are never reused, and a
// table that keeps working through growth and deletions.
#include "lisp/HandleIndex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>

namespace {

void const* at(std::uintptr_t address) {
    return reinterpret_cast<void const*>(address);
}

TEST(HandleIndex, AStampOpensOnlyItsOwnStretchOfTime) {
    HandleIndex index;
    void const* p = at(0x1000);
    std::uint64_t const other = index.add(at(0x9000), 0);  // keeps the log from restarting
    std::uint64_t const s = index.add(p, 0);
    EXPECT_EQ(s, index.add(p, 0));  // one serial for all of p's entries
    EXPECT_FALSE(index.live(s, at(0x2000)));
    EXPECT_FALSE(index.live(0, p));
    EXPECT_TRUE(index.release(p));
    EXPECT_TRUE(index.live(s, p));
    EXPECT_TRUE(index.release(p));
    EXPECT_FALSE(index.live(s, p));
    EXPECT_FALSE(index.release(p));
    // The address comes back: a new serial, the old stamp stays dead.
    std::uint64_t const again = index.add(p, 0);
    EXPECT_GT(again, s);
    EXPECT_FALSE(index.live(s, p));
    // Also once every record died, and across clear().
    index.release(p);
    index.release(at(0x9000));
    EXPECT_GT(index.add(p, 0), again);
    EXPECT_FALSE(index.live(again, p));
    index.clear();
    EXPECT_FALSE(index.live(other, at(0x9000)));
    EXPECT_GT(index.add(at(0x9000), 0), again);
}

TEST(HandleIndex, NodesNeedTheirDocumentsRecord) {
    HandleIndex index;
    std::uint64_t const d = index.add(at(0x1000), 0);
    std::uint64_t const n = index.add(at(0x2000), d);
    EXPECT_TRUE(index.liveWithDocument(n, at(0x2000)));
    index.release(at(0x1000));
    index.add(at(0x1000), 0);  // held again: a new stretch, which proves nothing
    EXPECT_FALSE(index.liveWithDocument(n, at(0x2000)));
    EXPECT_FALSE(index.liveWithDocument(index.add(at(0x3000), 0), at(0x3000)));
}

// Against a plain map, through growth and many deletions, with keys spaced
// like allocations of one size (the case the hashing must spread).
TEST(HandleIndex, AgreesWithAMapUnderChurn) {
    HandleIndex index;
    std::map<std::uintptr_t, std::pair<std::uint64_t, int>> model;  // key -> serial, count
    std::mt19937 random(7);
    for (int step = 0; step < 200000; ++step) {
        std::uintptr_t const key = 0x10000 + 48 * static_cast<std::uintptr_t>(random() % 5000);
        if (random() % 3 != 0) {
            auto& m = model[key];
            std::uint64_t const s = index.add(at(key), 0);
            if (m.second++ == 0) m.first = s;
            ASSERT_EQ(m.first, s);
        } else {
            auto it = model.find(key);
            ASSERT_EQ(it != model.end(), index.release(at(key)));
            if (it != model.end() && --it->second.second == 0) model.erase(it);
        }
    }
    ASSERT_EQ(model.size(), index.size());
    for (auto const& [key, m] : model) EXPECT_TRUE(index.live(m.first, at(key)));
}

}  // namespace
