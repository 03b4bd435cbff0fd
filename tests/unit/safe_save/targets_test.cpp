// Every writer of the model (flat save, indented save, transformation into a
// file) reports success only when its output is in place, whatever the name
// stands for: a pipe, a file with other hard links, another user's file in a
// sticky folder. A writer that fails never destroys the file it was to replace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
        chmod(dir_.path().c_str(), 0755);  // reachable by the unprivileged user
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

TEST_F(Targets, PipeWithAReaderReceivesTheOutputAndStaysAPipe) {
    fs::path fifo = dir_ / "pipe";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (auto const& [write, expected] : writers()) {
        EXPECT_TRUE(write(doc_, fifo.wstring())) << expected;
        char buffer[4096];
        ssize_t n = read(reader, buffer, sizeof buffer);
        EXPECT_NE(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0).find(expected), std::string::npos);
    }
    close(reader);
    struct stat st;
    ASSERT_EQ(0, lstat(fifo.c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Only a file's owner may rename over it in a sticky folder: a writable file
// of another user is still saved, in place, instead of reporting success and
// leaving the old content.
TEST_F(Targets, OtherUsersWritableFileInAStickyFolderIsSaved) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a file of another user";
    chmod(dir_.path().c_str(), 01777);
    fs::path shared = dir_ / "shared.xml";
    for (auto const& [write, expected] : writers()) {
        writeFile(shared, "old");
        chmod(shared.c_str(), 0666);
        int result = testfiles::inChild([&] { return write(doc_, shared.wstring()) && readFile(shared).find(expected) != std::string::npos; });
        if (result == testfiles::kCannotSwitchUser) GTEST_SKIP() << "cannot switch to an unprivileged user";
        EXPECT_EQ(0, result) << expected;
    }
    EXPECT_TRUE(noTemporaryFiles());
}

}  // namespace
