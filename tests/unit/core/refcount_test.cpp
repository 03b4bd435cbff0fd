#include <gtest/gtest.h>

#include "core/XmlRCObject.h"
#include "core/XmlRCObjectCache.h"
#include "core/XmlSmartPtr.h"

namespace {

// Counts live instances so that deletion is observable.
class Counted : public XmlRCObject {
public:
    Counted() { ++alive; }
    explicit Counted(Counted* child) : child_(child) { ++alive; }
    static int alive;
    XmlSmartPtr<Counted> child_;

protected:
    ~Counted() override { --alive; }
};
int Counted::alive = 0;

class CountedTest : public ::testing::Test {
protected:
    void SetUp() override { Counted::alive = 0; }
    void TearDown() override {
        EXPECT_EQ(Counted::alive, 0) << "leaked";
    }
};

}  // namespace

TEST_F(CountedTest, NewObjectsStartAtZeroAndDieWithTheLastReference) {
    auto* object = new Counted;
    EXPECT_EQ(object->referenceCount(), 0);
    {
        XmlSmartPtr<Counted> first(object);
        EXPECT_EQ(object->referenceCount(), 1);
        {
            XmlSmartPtr<Counted> second(first);
            EXPECT_EQ(object->referenceCount(), 2);
        }
        EXPECT_EQ(Counted::alive, 1);  // the first still holds it
    }
    EXPECT_EQ(Counted::alive, 0);
    XmlSmartPtr<Counted> empty;
    EXPECT_EQ(static_cast<Counted*>(empty), nullptr);
}

TEST_F(CountedTest, AssignmentOfTheSameObjectChangesNoCount) {
    XmlSmartPtr<Counted> a(new Counted);
    XmlSmartPtr<Counted> b(a);
    a = a;
    EXPECT_EQ(a->referenceCount(), 2);
    a = b;
    EXPECT_EQ(a->referenceCount(), 2);
    a = static_cast<Counted*>(b);  // from the raw pointer
    EXPECT_EQ(a->referenceCount(), 2);
}

// The new object must gain its reference before the old one is dropped: here
// the old object holds the only reference to the new one.
TEST_F(CountedTest, AssigningAnObjectKeptAliveOnlyByTheOldOne) {
    XmlSmartPtr<Counted> p(new Counted(new Counted));
    XmlSmartPtr<Counted> child = p->child_;
    child = XmlSmartPtr<Counted>();  // p's child is again held only by p
    p = p->child_;
    EXPECT_EQ(Counted::alive, 1);
    EXPECT_EQ(p->referenceCount(), 1);
}

// ---- arrays of counted references -----------------------------------------------

TEST_F(CountedTest, ArrayOfSmartPointersHoldsOneReferencePerSlot) {
    auto* first = new Counted;
    {
        BASIC_ARRAY<XmlSmartPtr<Counted>, 16, long> array;
        array.append(first);
        EXPECT_EQ(first->referenceCount(), 1);
        for (int i = 0; i < 40; ++i) array.append(new Counted);  // several reallocations
        EXPECT_EQ(first->referenceCount(), 1);
        array.append(array.elt(0));  // an element of the same array, across a reallocation
        EXPECT_EQ(first->referenceCount(), 2);
        EXPECT_EQ(Counted::alive, 41);
    }
    EXPECT_EQ(Counted::alive, 0);
}

// ---- XmlRCObjectCache -----------------------------------------------------------

TEST_F(CountedTest, CacheEntriesOwnOneReferenceEach) {
    auto* a = new Counted;
    auto* b = new Counted;
    XmlSmartPtr<Counted> stranger(new Counted);
    XmlRCObjectCache cache;
    EXPECT_FALSE(cache.remove(a));  // empty
    cache.add(nullptr);
    EXPECT_EQ(cache.size(), 0);
    cache.add(a);
    cache.add(b);
    cache.add(a);
    EXPECT_EQ(a->referenceCount(), 2);

    EXPECT_TRUE(cache.remove(a));  // the first of the two entries
    EXPECT_EQ(Counted::alive, 3);
    EXPECT_EQ(cache.size(), 2);
    EXPECT_EQ(cache.elt(0), b);  // later entries moved down
    EXPECT_EQ(cache.elt(1), a);
    EXPECT_TRUE(cache.remove(a));  // the last reference: a dies
    EXPECT_EQ(Counted::alive, 2);
    EXPECT_FALSE(cache.remove(a));
    EXPECT_FALSE(cache.remove(nullptr));
    EXPECT_FALSE(cache.remove(stranger));
    EXPECT_EQ(stranger->referenceCount(), 1);
    cache.clearAll();
    EXPECT_EQ(Counted::alive, 1);  // only the stranger
}
