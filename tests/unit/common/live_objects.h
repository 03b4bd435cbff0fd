// The fixture of the model-level tests: every test gives back the documents
// and nodes it made, so both live counters end where they started.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "model/XmlObjectFactory.h"

namespace testfiles {

class LiveObjectTest : public ::testing::Test {
protected:
    void SetUp() override { documents_ = factory()->getDocumentCount(), nodes_ = factory()->getNodeCount(); }
    void TearDown() override {
        EXPECT_EQ(liveDocuments(), 0) << "documents leaked";
        EXPECT_EQ(liveNodes(), 0) << "nodes leaked";
    }
    static XmlObjectFactory* factory() { return XmlObjectFactory::getInstance(); }
    int liveDocuments() const { return factory()->getDocumentCount() - documents_; }
    int liveNodes() const { return factory()->getNodeCount() - nodes_; }

private:
    int documents_ = 0;
    int nodes_ = 0;
};

// A document parsed from text; the test fails, and gets null, when it does not parse.
inline XmlSmartPtr<TrelDOMDocument> parse(std::wstring const& text) {
    XmlSmartPtr<TrelDOMDocument> document(XmlObjectFactory::getInstance()->createDocument());
    if (document && document->loadXML(text.c_str())) return document;
    ADD_FAILURE() << "does not parse";
    return nullptr;
}

// A null string shown as "(null)", so that comparisons print readably.
inline std::wstring str(wchar_t const* s) { return s ? s : L"(null)"; }

}  // namespace testfiles
