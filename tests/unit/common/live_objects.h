// The fixture of the model-level tests: every test gives back the documents
// and nodes it made, so both live counters end where they started.
#pragma once

#include <gtest/gtest.h>

#include "model/XmlObjectFactory.h"

namespace testfiles {

class LiveObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        documents_ = factory()->getDocumentCount();
        nodes_ = factory()->getNodeCount();
    }
    void TearDown() override {
        EXPECT_EQ(liveDocuments(), 0) << "documents leaked";
        EXPECT_EQ(liveNodes(), 0) << "nodes leaked";
    }
    static XmlObjectFactory* factory() { return XmlObjectFactory::getInstance(); }
    // Made during the test and still alive.
    int liveDocuments() const { return factory()->getDocumentCount() - documents_; }
    int liveNodes() const { return factory()->getNodeCount() - nodes_; }

private:
    int documents_ = 0;
    int nodes_ = 0;
};

}  // namespace testfiles
