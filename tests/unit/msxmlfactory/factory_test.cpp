// MsxmlFactory without the engine library, and once it is found again.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "msxml/MsxmlFactory.h"

namespace {

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
