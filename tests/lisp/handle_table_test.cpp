// The handle cache's table on its own: who gives back which reference when,
// and stamps that never open anything but their own entry.
#include "lisp/HandleTable.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

namespace {

std::vector<int> freed;  // ids in the order their objects died

class Object : public XmlRCObject {
public:
    explicit Object(int id) : id_(id) {}
    ~Object() override { freed.push_back(id_); }

private:
    int id_;
};

XmlRCObject const* objectOf(void const* key, HandleTable::Kind) { return static_cast<Object const*>(key); }

class HandleTableTest : public ::testing::Test {
protected:
    void SetUp() override { freed.clear(); }
    HandleTable table{objectOf};
};

// Kinds, pointers and stamps must all agree; a document's last entry takes
// its nodes with it, nodes first (they may still look at their document);
// nodes of a document not listed wait for clear() and never resolve.
TEST_F(HandleTableTest, ADocumentsLastEntryTakesItsNodesWithIt) {
    auto* d = new Object(1);
    auto* e = new Object(2);
    auto* a = new Object(3);
    auto* other = new Object(9);
    auto* orphan = new Object(4);
    std::uint64_t const sd = table.addDocument(d);
    EXPECT_EQ(sd, table.addDocument(d));  // one record however often handed out
    std::uint64_t const se = table.addNode(e, HandleTable::Element, d);
    std::uint64_t const sa = table.addNode(a, HandleTable::Attribute, d);
    std::uint64_t const so = table.addNode(orphan, HandleTable::Element, other);
    table.addDocument(other);
    EXPECT_EQ(6, table.entries());
    EXPECT_TRUE(table.resolves(se, e, HandleTable::Element));
    EXPECT_FALSE(table.resolves(se, e, HandleTable::Attribute) || table.resolves(se, a, HandleTable::Element) ||
                 table.resolves(sa, a, HandleTable::Element) || table.resolves(0, d, HandleTable::Document) ||
                 table.resolves(so, orphan, HandleTable::Element));

    EXPECT_TRUE(table.releaseDocument(d));
    EXPECT_TRUE(freed.empty());
    EXPECT_TRUE(table.resolves(se, e, HandleTable::Element));
    EXPECT_TRUE(table.releaseDocument(d));
    EXPECT_EQ((std::vector<int>{3, 2, 1}), freed);
    EXPECT_FALSE(table.resolves(sd, d, HandleTable::Document) || table.resolves(se, e, HandleTable::Element) ||
                 table.releaseDocument(d));
    EXPECT_TRUE(table.releaseDocument(other));  // the orphan was not handed out under it
    EXPECT_EQ((std::vector<int>{3, 2, 1, 9}), freed);
    EXPECT_EQ(1, table.entries());
    table.clear();
    EXPECT_EQ((std::vector<int>{3, 2, 1, 9, 4}), freed);
    EXPECT_EQ(0, table.entries());
}

// Against a plain model, with documents and nodes coming and going and the
// table cleared now and then: a handle lives while its document's entries
// have lasted since it was made. Documents come back at the same addresses,
// so old stamps must stay dead through reused records and emptied tables.
TEST_F(HandleTableTest, AgreesWithAModelUnderChurn) {
    struct Handle {
        void const* key;
        HandleTable::Kind kind;
        std::uint64_t stamp;
        Object* document;
        int epoch;
    };
    struct Held {
        int count = 0;
        int epoch = 0;  // stretches of entries so far
    };
    std::mt19937 random(7);
    std::vector<Object*> documents;
    for (int i = 0; i < 50; ++i) documents.push_back(new Object(i));
    for (Object* d : documents) d->addReference();  // the test's own
    std::map<Object*, Held> held;
    std::vector<Handle> handles;
    for (int step = 0; step < 20000; ++step) {
        Object* d = documents[random() % documents.size()];
        Held& h = held[d];
        int const action = random() % 8;
        if (step % 1999 == 1998) {
            table.clear();
            for (auto& [key, of] : held) of.count = 0;
        } else if (action == 0) {
            if (h.count++ == 0) ++h.epoch;
            handles.push_back({d, HandleTable::Document, table.addDocument(d), d, h.epoch});
        } else if (action == 1) {
            ASSERT_EQ(h.count > 0, table.releaseDocument(d));
            if (h.count > 0) --h.count;
        } else if (h.count > 0) {
            auto* n = new Object(1000 + step);
            handles.push_back({n, HandleTable::Element, table.addNode(n, HandleTable::Element, d), d, h.epoch});
        }
    }
    long entries = 0;
    for (auto const& [d, h] : held) entries += h.count;
    for (Handle const& h : handles) {
        Held const& of = held[h.document];
        bool const live = of.count > 0 && of.epoch == h.epoch;
        if (live && h.kind == HandleTable::Element) ++entries;
        ASSERT_EQ(live, table.resolves(h.stamp, h.key, h.kind));  // dead keys are never followed
    }
    EXPECT_EQ(entries, table.entries());
    table.clear();
    EXPECT_EQ(0, table.entries());
    for (Object* d : documents) EXPECT_EQ(1, d->referenceCount());
    for (Object* d : documents) d->removeReference();
}

}  // namespace
