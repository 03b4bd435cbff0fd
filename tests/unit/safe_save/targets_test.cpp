// Every writer of the model (flat save, indented save, transformation into a
// file) goes through the file streams that write in place where a rename
// would lose the name's kind (here: a file with other hard links; the other
// kinds are the streams' own tests), and a writer that fails never destroys
// the file it was to replace.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/XmlObjectFactory.h"
#include "tests/unit/common/as_user.h"
#include "tests/unit/common/temp_files.h"

namespace fs = std::filesystem;
using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

namespace {

using Write = std::function<bool(TrelDOMDocument const*, std::wstring const&)>;

class Targets : public ::testing::Test {
protected:
    void SetUp() override {
        doc_ = XmlObjectFactory::getInstance()->createDocument();
        ASSERT_TRUE(doc_ && doc_->loadXML(L"<r><a>1</a></r>"));
    }
    std::wstring sheet(std::string const& name, std::string const& templateBody) const {
        return dir_.write(name, "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                                "<xsl:template match='/'>" + templateBody + "</xsl:template></xsl:stylesheet>");
    }
    // Each writer with the text its output must contain.
    std::vector<std::pair<Write, std::string>> writers() const {
        std::wstring copy = sheet("copy.xsl", "<copied/>");
        return {{[](auto doc, auto const& path) { return doc->save(path.c_str(), false); }, "<a>1</a>"},
                {[](auto doc, auto const& path) { return doc->save(path.c_str(), true); }, "<a>1</a>"},
                {[copy](auto doc, auto const& path) { return doc->transform(copy.c_str(), path.c_str()); }, "<copied/>"}};
    }
    bool noTemporaryFiles() const { return testfiles::noTemporaryFiles(dir_.path()); }

    TempDir dir_;
    XmlSmartPtr<TrelDOMDocument> doc_;
};

TEST_F(Targets, FailedWriterKeepsTheOldFile) {
    fs::path target = dir_ / "out.xml";
    std::wstring const stop = sheet("stop.xsl", "<out><xsl:message terminate='yes'>stop</xsl:message></out>");
    Write const failing[] = {
        [&](auto doc, auto const& path) { return doc->transform(stop.c_str(), path.c_str()); },
        [](auto doc, auto const& path) { return doc->save(path.c_str(), XmlEncoding(L"no-such-encoding"), true); }};
    for (auto const& write : failing) {
        writeFile(target, "previous contents");
        EXPECT_FALSE(write(doc_, target.wstring()));
        EXPECT_EQ(readFile(target), "previous contents");
    }
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(Targets, HardLinkedFileIsUpdatedThroughEveryLink) {
    fs::path target = dir_ / "a.xml", other = dir_ / "b.xml";
    for (auto const& [write, expected] : writers()) {
        writeFile(target, "old");
        ASSERT_EQ(0, link(target.c_str(), other.c_str()));
        EXPECT_TRUE(write(doc_, target.wstring())) << expected;
        EXPECT_NE(readFile(other).find(expected), std::string::npos);
        fs::remove(other);
    }
    EXPECT_TRUE(noTemporaryFiles());
}

}  // namespace
