// Every writer of the model (flat save, indented save, transformation into a
// file) reports success only when its output is in place, whatever the name
// stands for: a pipe, a file with other hard links, another user's file in a
// sticky folder. A writer that fails never destroys the file it was to replace.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "core/XmlSmartPtr.h"
#include "model/TrelDOMDocument.h"
#include "model/XmlObjectFactory.h"
#include "tests/unit/common/temp_files.h"

namespace fs = std::filesystem;
using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

namespace {

constexpr uid_t kNobody = 65534;

struct Writer {
    char const* name;
    std::function<bool(TrelDOMDocument const*, std::wstring const&)> write;
};

class Targets : public ::testing::Test {
protected:
    void SetUp() override {
        chmod(dir_.path().c_str(), 0755);  // reachable by the unprivileged user
        doc_ = XmlObjectFactory::getInstance()->createDocument();
        ASSERT_TRUE(doc_ && doc_->loadXML(L"<r><a>1</a></r>"));
        writeFile(dir_ / "copy.xsl",
                  "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                  "<xsl:template match='/'><copied/></xsl:template></xsl:stylesheet>");
        sheet_ = (dir_ / "copy.xsl").wstring();
    }

    std::vector<Writer> writers() const {
        std::wstring sheet = sheet_;
        return {{"flat save", [](auto doc, auto const& path) { return doc->save(path.c_str(), false); }},
                {"indented save", [](auto doc, auto const& path) { return doc->save(path.c_str(), true); }},
                {"transformation",
                 [sheet](auto doc, auto const& path) { return doc->transform(sheet.c_str(), path.c_str()); }}};
    }

    bool noTemporaryFiles() const {
        for (auto const& e : fs::directory_iterator(dir_.path()))
            if (e.path().extension() == ".tmp") return false;
        return true;
    }

    TempDir dir_;
    XmlSmartPtr<TrelDOMDocument> doc_;
    std::wstring sheet_;
};

// `body` in a child process, as the unprivileged user when running as root.
// Exit code 0: passed, 77: could not switch user.
int asUser(std::function<bool()> const& body) {
    pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(77);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

bool hasNewContent(fs::path const& p) {
    std::string text = readFile(p);
    return text.find("<a>1</a>") != std::string::npos || text.find("<copied/>") != std::string::npos;
}

TEST_F(Targets, FailedWriterKeepsTheOldFile) {
    fs::path target = dir_ / "out.xml";
    writeFile(dir_ / "stop.xsl",
              "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
              "<xsl:template match='/'><out><xsl:message terminate='yes'>stop</xsl:message></out></xsl:template>"
              "</xsl:stylesheet>");
    std::wstring const stop = (dir_ / "stop.xsl").wstring();
    std::vector<Writer> const failing = {
        {"terminated transformation", [&](auto doc, auto const& path) { return doc->transform(stop.c_str(), path.c_str()); }},
        {"indented save in an unknown encoding",
         [](auto doc, auto const& path) { return doc->save(path.c_str(), XmlEncoding(L"no-such-encoding"), true); }}};
    for (auto const& writer : failing) {
        writeFile(target, "previous contents");
        EXPECT_FALSE(writer.write(doc_, target.wstring())) << writer.name;
        EXPECT_EQ(readFile(target), "previous contents") << writer.name;
    }
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(Targets, HardLinkedFileIsUpdatedThroughEveryLink) {
    fs::path target = dir_ / "a.xml", other = dir_ / "b.xml";
    for (auto const& writer : writers()) {
        writeFile(target, "old");
        ASSERT_EQ(0, link(target.c_str(), other.c_str()));
        EXPECT_TRUE(writer.write(doc_, target.wstring())) << writer.name;
        EXPECT_TRUE(hasNewContent(other)) << writer.name;
        fs::remove(other);
    }
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(Targets, PipeWithAReaderReceivesTheOutputAndStaysAPipe) {
    fs::path fifo = dir_ / "pipe";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (auto const& writer : writers()) {
        EXPECT_TRUE(writer.write(doc_, fifo.wstring())) << writer.name;
        char buffer[4096];
        ssize_t n = read(reader, buffer, sizeof buffer);
        std::string got(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        EXPECT_TRUE(got.find("<a>1</a>") != std::string::npos || got.find("<copied/>") != std::string::npos)
            << writer.name << ": " << got;
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
    for (auto const& writer : writers()) {
        writeFile(shared, "old");
        chmod(shared.c_str(), 0666);
        int result = asUser([&] { return writer.write(doc_, shared.wstring()) && hasNewContent(shared); });
        if (result == 77) GTEST_SKIP() << "cannot switch to an unprivileged user";
        EXPECT_EQ(0, result) << writer.name;
    }
    EXPECT_TRUE(noTemporaryFiles());
}

}  // namespace
