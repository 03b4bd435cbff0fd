// Why the loader registry does not load a file, in the built-in texts or a
// message catalogue's. The registry is a process-wide singleton that never
// forgets a registration, so every test here uses root tags of its own.
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

class LoaderRegistry : public testfiles::LiveObjectTest {
protected:
    // The message of a failed load; "loaded" when it loaded.
    std::wstring why(std::wstring const& file) {
        XmlLoaderContext context;
        return XmlLoaderRegistry::getInstance()->loadFile(file.c_str(), &context) ? L"loaded"
                                                                                  : str(context.getErrorMessage());
    }
    testfiles::TempDir dir_;
};

// Unreadable before the first start tag: not well-formed. Only the root tag
// is read to choose a loader: a file broken after it names that tag when no
// loader takes it, and a document loader for it finds it not well-formed.
TEST_F(LoaderRegistry, WhyAFileIsNotLoaded) {
    testfiles::ScopedEnv noCatalogue("QUILL_MESSAGES", nullptr);
    auto notWellFormed = [](std::wstring const& file) {
        return L"The file " + file + L" is not a well-formed XML file.";
    };
    for (std::wstring const& file :
         {dir_.write("broken.xml", "no markup < here"), dir_.file("missing.xml"), dir_.write("empty.xml", "")})
        EXPECT_EQ(why(file), notWellFormed(file));
    XmlLoaderContext context;
    EXPECT_FALSE(XmlLoaderRegistry::getInstance()->loadFile(nullptr, &context));
    EXPECT_TRUE(!context.getErrorMessage() && !context.getDisplayMessage());
    std::wstring const late = dir_.write("late.xml", "<lr-late a='1'><b></lr-late>");
    EXPECT_EQ(why(late), L"No loader registered for XML document with root \"lr-late\".");
    static int documents = 0;  // loaders live as long as the registry
    XmlLoaderRegistry::getInstance()->registerLoader(new CountingLoader(L"lr-late", documents));
    EXPECT_EQ(why(late), notWellFormed(late));
    EXPECT_EQ(documents, 0);
}

TEST_F(LoaderRegistry, MessagesComeFromTheCatalogue) {
    std::string const catalogue = (dir_ / "messages.txt").string();
    std::ofstream(catalogue) << "# test catalogue\n"
                                "2376 1 Datei {1} ist kein XML.\n"
                                "2376 2 Kein Lader f\xC3\xBCr \"{1}\" ({1}).\n";
    std::wstring const missing = dir_.file("none.xml"), file = dir_.write("cat.xml", "<lr-catalogue/>");
    {
        testfiles::ScopedEnv messages("QUILL_MESSAGES", catalogue);
        EXPECT_EQ(why(missing), L"Datei " + missing + L" ist kein XML.");
        EXPECT_EQ(why(file), L"Kein Lader f\u00fcr \"lr-catalogue\" (lr-catalogue).");
    }
    EXPECT_EQ(why(file), L"No loader registered for XML document with root \"lr-catalogue\".");  // built-in again
}

}  // namespace
