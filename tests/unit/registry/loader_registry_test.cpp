// The loader registry is a process-wide singleton that never forgets a
// registration, so every test here uses root tags of its own.
#include <gtest/gtest.h>

#include <string>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/TrelDOMElement.h"
#include "registry/XmlLoader.h"
#include "registry/XmlLoaderContext.h"
#include "registry/XmlLoaderRegistry.h"
#include "registry_support.h"

namespace {

using registrytest::orNull;
using registrytest::parse;
using registrytest::ScopedEnv;
using registrytest::TempDir;

// What a loader saw. Loaders live as long as the registry, so the records
// they write to are static.
struct Calls {
    int files = 0;
    int documents = 0;
    std::wstring rootTag;
    TrelDOMDocument const* document = nullptr;
};

// Parses through XmlDocumentLoader::loadFile, then records the document.
class RecordingLoader : public XmlLoaderImpl {
public:
    RecordingLoader(wchar_t const* tag, Calls& calls, bool result)
        : XmlLoaderImpl(tag), _calls(calls), _result(result) {}

    bool loadDocument(TrelDOMDocument const* document, XmlLoaderContext* context) override {
        ++_calls.documents;
        _calls.document = document;
        XmlSmartPtr<TrelDOMElement> root(document->getRoot());
        _calls.rootTag = root ? root->getTag() : L"(no root)";
        context->setDisplayMessage(_result ? L"loaded" : L"refused");
        return _result;
    }

private:
    Calls& _calls;
    bool _result;
};

XmlLoaderRegistry* registry() { return XmlLoaderRegistry::getInstance(); }

std::wstring noLoaderFor(std::wstring const& tag) {
    return L"No loader registered for XML document with root \"" + tag + L"\".";
}

std::wstring notWellFormed(std::wstring const& file) { return L"The file " + file + L" is not a well-formed XML file."; }

class LoaderRegistry : public registrytest::LiveObjectTest {
protected:
    TempDir dir_;
    XmlLoaderContext context_;
};

TEST_F(LoaderRegistry, WhyAFileIsNotLoaded) {
    // Unreadable before the first start tag: not well-formed.
    std::wstring const broken = dir_.write("broken.xml", "no markup < here");
    std::wstring const missing = dir_.file("missing.xml");
    std::wstring const empty = dir_.write("empty.xml", "");
    for (std::wstring const& file : {broken, missing, empty}) {
        XmlLoaderContext context;
        EXPECT_FALSE(registry()->loadFile(file.c_str(), &context));
        EXPECT_EQ(orNull(context.getErrorMessage()), notWellFormed(file));
    }
    EXPECT_FALSE(registry()->loadFile(nullptr, &context_));
    EXPECT_EQ(context_.getErrorMessage(), nullptr);

    // Only the root tag is read to choose a loader: a file broken after it
    // names that tag when no loader takes it...
    std::wstring const late = dir_.write("late.xml", "<lr-late a='1'><b></lr-late>");
    EXPECT_FALSE(registry()->loadFile(late.c_str(), &context_));
    EXPECT_EQ(orNull(context_.getErrorMessage()), noLoaderFor(L"lr-late"));
    EXPECT_EQ(context_.getDisplayMessage(), nullptr);
    // ...and a document loader for it finds the file not well-formed.
    static Calls calls;
    registry()->registerLoader(new RecordingLoader(L"lr-late", calls, true));
    EXPECT_FALSE(registry()->loadFile(late.c_str(), &context_));
    EXPECT_EQ(orNull(context_.getErrorMessage()), notWellFormed(late));
    EXPECT_EQ(calls.documents, 0);
}

TEST_F(LoaderRegistry, MessagesComeFromTheCatalogue) {
    std::string const catalogue = (dir_ / "messages.txt").string();
    std::ofstream(catalogue) << "# test catalogue\n"
                                "2376 1 Datei {1} ist kein XML.\n"
                                "2376 2 Kein Lader f\xC3\xBCr \"{1}\" ({1}).\n";
    std::wstring const missing = dir_.file("none.xml");
    std::wstring const file = dir_.write("cat.xml", "<lr-catalogue/>");
    {
        ScopedEnv messages("QUILL_MESSAGES", catalogue);
        EXPECT_FALSE(registry()->loadFile(missing.c_str(), &context_));
        EXPECT_EQ(orNull(context_.getErrorMessage()), L"Datei " + missing + L" ist kein XML.");
        EXPECT_FALSE(registry()->loadFile(file.c_str(), &context_));
        EXPECT_EQ(orNull(context_.getErrorMessage()), L"Kein Lader f\u00fcr \"lr-catalogue\" (lr-catalogue).");
    }
    // Without the catalogue the built-in texts return.
    EXPECT_FALSE(registry()->loadFile(file.c_str(), &context_));
    EXPECT_EQ(orNull(context_.getErrorMessage()), noLoaderFor(L"lr-catalogue"));
}

}  // namespace
