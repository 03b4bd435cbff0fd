#include <gtest/gtest.h>

#include "core/XmlRCObject.h"
#include "core/XmlRCObjectCache.h"
#include "core/XmlSmartPtr.h"

namespace {

// Counts live instances so that deletion is observable.
class Counted : public XmlRCObject {
public:
    explicit Counted(Counted* child = nullptr) : child_(child) { ++alive; }
    static inline int alive = 0;
    XmlSmartPtr<Counted> child_;

protected:
    ~Counted() override { --alive; }
};

struct CountedTest : ::testing::Test {
    void TearDown() override { EXPECT_EQ(Counted::alive, 0) << "leaked"; }
};

}  // namespace

TEST_F(CountedTest, ObjectsDieWithTheLastReferenceAndSelfAssignmentKeepsTheCount) {
    auto* object = new Counted;
    EXPECT_EQ(object->referenceCount(), 0);
    {
        XmlSmartPtr<Counted> first(object);
        { XmlSmartPtr<Counted> second(first); }
        EXPECT_EQ(Counted::alive, 1);  // the first still holds it
        first = first;                 // by itself, as a copy and as the raw pointer
        XmlSmartPtr<Counted> copy(first);
        first = copy;
        first = static_cast<Counted*>(copy);
        EXPECT_EQ(object->referenceCount(), 2);
    }
    // The new object must gain its reference before the old one is dropped:
    // here the old object holds the only reference to the new one.
    XmlSmartPtr<Counted> p(new Counted(new Counted));
    p = p->child_;
    EXPECT_EQ(Counted::alive, 1);
    EXPECT_EQ(p->referenceCount(), 1);
}

TEST_F(CountedTest, CacheEntriesOwnOneReferenceEach) {
    auto* a = new Counted;
    auto* b = new Counted;
    XmlSmartPtr<Counted> stranger(new Counted);
    XmlRCObjectCache cache;
    EXPECT_FALSE(cache.remove(a));  // empty
    cache.add(nullptr);
    cache.add(a), cache.add(b), cache.add(a);
    EXPECT_EQ(a->referenceCount(), 2);
    EXPECT_TRUE(cache.remove(a));  // the first of the two entries; later entries move down
    EXPECT_TRUE(cache.size() == 2 && cache.elt(0) == b && cache.elt(1) == a);
    EXPECT_TRUE(cache.remove(a));  // the last reference: a dies
    EXPECT_EQ(Counted::alive, 2);
    EXPECT_FALSE(cache.remove(a) || cache.remove(nullptr) || cache.remove(stranger));
    EXPECT_EQ(stranger->referenceCount(), 1);
    cache.clearAll();
    EXPECT_EQ(Counted::alive, 1);  // only the stranger
}
