// MsxmlFactory: creations through the engine library's entry point, and the
// behaviour without the library.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "msxml/MsxmlFactory.h"

namespace {

TEST(MsxmlFactory, DocumentsAreIndependent) {
    MsxmlFactory* factory = MsxmlFactory::getInstance();
    IXMLDOMDocument3* first = factory->createDocument();
    IXMLDOMDocument3* second = factory->createDocument();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    BSTR text = SysAllocString(L"<only-in-first/>");
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, first->loadXML(text, &ok));
    SysFreeString(text);
    IXMLDOMElement* root = nullptr;
    EXPECT_EQ(S_FALSE, second->get_documentElement(&root));
    first->Release();
    second->Release();
}

// Runs in a fresh process (the singleton must not have found the library
// yet): hidden library -> every creator null; visible again -> found.
void withoutLibraryThenWith() {
    auto empty = std::filesystem::temp_directory_path() / ("quill-nolib-" + std::to_string(getpid()));
    std::filesystem::create_directories(empty);
    setenv("QUILL_LIBRARY_PATH", empty.c_str(), 1);
    MsxmlFactory* factory = MsxmlFactory::getInstance();
    bool const allNull = !factory->createDocument() && !factory->createXSLTemplate() &&
                         !factory->createSAXXMLReader() && !factory->createMXWriter() && !factory->createSchema();
    unsetenv("QUILL_LIBRARY_PATH");
    std::filesystem::remove(empty);
    IXMLDOMDocument3* doc = factory->createDocument();  // tries again
    bool const foundLater = doc != nullptr;
    if (doc) doc->Release();
    exit(allNull && foundLater ? 0 : 1);
}

TEST(MsxmlFactory, WithoutTheLibraryCreatorsGiveNullAndTryAgainLater) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // re-executes the binary: fresh singleton
    EXPECT_EXIT(withoutLibraryThenWith(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
