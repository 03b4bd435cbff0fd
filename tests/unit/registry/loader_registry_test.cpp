// The loader registry is a process-wide singleton that never forgets a
// registration, so every test here uses root tags of its own.
#include <fstream>

#include "registry/XmlLoader.h"
#include "registry/XmlLoaderContext.h"
#include "registry/XmlLoaderRegistry.h"
#include "tests/unit/common/live_objects.h"
#include "tests/unit/common/temp_files.h"

namespace {

using testfiles::str;

// Counts the documents it is given and accepts them.
class CountingLoader : public XmlLoaderImpl {
public:
    CountingLoader(wchar_t const* tag, int& documents) : XmlLoaderImpl(tag), documents_(documents) {}
    bool loadDocument(TrelDOMDocument const*, XmlLoaderContext*) override { return ++documents_, true; }

private:
    int& documents_;
};

XmlLoaderRegistry* registry() { return XmlLoaderRegistry::getInstance(); }

std::wstring noLoaderFor(std::wstring const& tag) {
    return L"No loader registered for XML document with root \"" + tag + L"\".";
}

std::wstring notWellFormed(std::wstring const& file) {
    return L"The file " + file + L" is not a well-formed XML file.";
}

class LoaderRegistry : public testfiles::LiveObjectTest {
protected:
    testfiles::TempDir dir_;
    XmlLoaderContext context_;
};

TEST_F(LoaderRegistry, WhyAFileIsNotLoaded) {
    testfiles::ScopedEnv noCatalogue("QUILL_MESSAGES", nullptr);
    // Unreadable before the first start tag: not well-formed.
    for (std::wstring const& file :
         {dir_.write("broken.xml", "no markup < here"), dir_.file("missing.xml"), dir_.write("empty.xml", "")}) {
        XmlLoaderContext context;
        EXPECT_FALSE(registry()->loadFile(file.c_str(), &context));
        EXPECT_EQ(str(context.getErrorMessage()), notWellFormed(file));
    }
    EXPECT_FALSE(registry()->loadFile(nullptr, &context_));
    EXPECT_EQ(context_.getErrorMessage(), nullptr);

    // Only the root tag is read to choose a loader: a file broken after it
    // names that tag when no loader takes it...
    std::wstring const late = dir_.write("late.xml", "<lr-late a='1'><b></lr-late>");
    EXPECT_FALSE(registry()->loadFile(late.c_str(), &context_));
    EXPECT_EQ(str(context_.getErrorMessage()), noLoaderFor(L"lr-late"));
    EXPECT_EQ(context_.getDisplayMessage(), nullptr);
    // ...and a document loader for it finds the file not well-formed.
    static int documents = 0;  // loaders live as long as the registry
    registry()->registerLoader(new CountingLoader(L"lr-late", documents));
    EXPECT_FALSE(registry()->loadFile(late.c_str(), &context_));
    EXPECT_EQ(str(context_.getErrorMessage()), notWellFormed(late));
    EXPECT_EQ(documents, 0);
}

TEST_F(LoaderRegistry, MessagesComeFromTheCatalogue) {
    std::string const catalogue = (dir_ / "messages.txt").string();
    std::ofstream(catalogue) << "# test catalogue\n"
                                "2376 1 Datei {1} ist kein XML.\n"
                                "2376 2 Kein Lader f\xC3\xBCr \"{1}\" ({1}).\n";
    std::wstring const missing = dir_.file("none.xml");
    std::wstring const file = dir_.write("cat.xml", "<lr-catalogue/>");
    {
        testfiles::ScopedEnv messages("QUILL_MESSAGES", catalogue);
        EXPECT_FALSE(registry()->loadFile(missing.c_str(), &context_));
        EXPECT_EQ(str(context_.getErrorMessage()), L"Datei " + missing + L" ist kein XML.");
        EXPECT_FALSE(registry()->loadFile(file.c_str(), &context_));
        EXPECT_EQ(str(context_.getErrorMessage()), L"Kein Lader f\u00fcr \"lr-catalogue\" (lr-catalogue).");
    }
    // Without the catalogue the built-in texts return.
    EXPECT_FALSE(registry()->loadFile(file.c_str(), &context_));
    EXPECT_EQ(str(context_.getErrorMessage()), noLoaderFor(L"lr-catalogue"));
}

}  // namespace
