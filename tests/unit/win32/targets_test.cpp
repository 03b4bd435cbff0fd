// File streams: writing only replaces the target once the stream is
// committed after every write succeeded; and saving into existing names of
// every kind: the bytes reach what the name stands for (a pipe, a device, a
// file shared by hard links, a file in a folder the saver may not write),
// the name keeps its kind, owner and mode, and Commit says whether the
// content is in place.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/win32/win32.h"
#include "tests/unit/common/as_user.h"
#include "tests/unit/common/temp_files.h"

namespace {

using namespace testfiles;

IStream* openStream(std::filesystem::path const& p) {
    IStream* s = nullptr;
    return SUCCEEDED(SHCreateStreamOnFileW(p.wstring().c_str(), STGM_CREATE | STGM_WRITE, &s)) ? s : nullptr;
}

bool writeAll(IStream* s, std::string const& bytes) {
    ULONG written = 0;
    return SUCCEEDED(s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) && written == bytes.size();
}

HRESULT save(std::filesystem::path const& path, std::string const& bytes) {
    IStream* s = openStream(path);
    if (!s) return E_FAIL;
    HRESULT hr = s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    if (SUCCEEDED(hr)) hr = s->Commit(STGC_DEFAULT);
    s->Release();
    return hr;
}

struct stat statOf(std::filesystem::path const& p) {
    struct stat st {};
    lstat(p.c_str(), &st);
    return st;
}

long filesIn(std::filesystem::path const& dir) {
    return std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator());
}

// Runs the body in a child whose files may grow to `bytes` at most.
int withFileSizeLimit(rlim_t bytes, std::function<bool()> const& body) {
    return inChild(
        [&] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{bytes, bytes};
            return setrlimit(RLIMIT_FSIZE, &limit) == 0 && body();
        },
        false);
}

TEST(Stream, WriteReplacesTheTargetOnlyOnCommit) {
    TempDir dir;
    auto target = dir / "out.txt";
    writeFile(target, "old contents");
    // Released or reverted without Commit: the old file and nothing beside it.
    for (bool revert : {false, true}) {
        IStream* s = openStream(target);
        ASSERT_TRUE(s && writeAll(s, "new"));
        EXPECT_TRUE(!revert || (s->Revert() == S_OK && FAILED(s->Commit(STGC_DEFAULT))));
        s->Release();
        EXPECT_EQ("old contents", readFile(target));
        EXPECT_EQ(1, filesIn(dir.path()));
    }
    IStream* s = openStream(target);
    ASSERT_TRUE(s && writeAll(s, "new"));
    EXPECT_EQ("old contents", readFile(target));  // not yet
    char c;
    ULONG got;
    EXPECT_TRUE(FAILED(s->Read(&c, 1, &got)));
    EXPECT_EQ(S_OK, s->Commit(STGC_DEFAULT));
    EXPECT_EQ("new", readFile(target));  // before the stream goes
    EXPECT_TRUE(FAILED(s->Write("more", 4, nullptr)));
    s->Release();
    EXPECT_EQ("new", readFile(target));
    EXPECT_EQ(1, filesIn(dir.path()));

    // Out of space in the middle of writing: the old file stays, the new one
    // goes, and a broken stream stays broken.
    EXPECT_EQ(0, withFileSizeLimit(4096, [&] {
                  IStream* s = openStream(target);
                  bool failed = false;
                  for (int i = 0; s && i < 10 && !failed; ++i) failed = !writeAll(s, std::string(1000, 'z'));
                  bool const broken = s && !writeAll(s, "x") && FAILED(s->Commit(STGC_DEFAULT));
                  if (s) s->Release();
                  return failed && broken;
              }));
    EXPECT_EQ("new", readFile(target));
    EXPECT_EQ(1, filesIn(dir.path()));
}

TEST(Targets, PipesReceiveTheBytesAndStayPipes) {
    TempDir dir;
    auto fifo = dir / "pipe";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    // No reader: the open fails at once instead of waiting for one. The guard
    // turns a regression (a hang) into a failure.
    EXPECT_EQ(0, inChild([&] { return alarm(20), FAILED(save(fifo, "lost")); }, false));
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(S_OK, save(fifo, "<r/>"));
    char buffer[16] = {};
    EXPECT_EQ(4, read(reader, buffer, sizeof buffer));
    EXPECT_EQ("<r/>", std::string(buffer));
    close(reader);
    // The reader goes away while the save is on: the save fails, and the
    // process is not ended by SIGPIPE (its default action).
    EXPECT_EQ(0, inChild(
                     [&] {
                         signal(SIGPIPE, SIG_DFL);
                         int early = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
                         IStream* s = early < 0 ? nullptr : openStream(fifo);
                         if (!s) return false;
                         close(early);
                         bool failed = FAILED(s->Write("<r/>", 4, nullptr)) && FAILED(s->Commit(STGC_DEFAULT));
                         s->Release();
                         sigset_t pending;
                         sigpending(&pending);
                         return failed && !sigismember(&pending, SIGPIPE);
                     },
                     false));
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));
    EXPECT_EQ(1, filesIn(dir.path()));
}

TEST(Targets, DevicesAndRedirectedStandardOutputAreWrittenInPlace) {
    TempDir dir;
    // /dev/stdout of a process whose output goes to a file: the bytes land in
    // that very file, which its holder keeps writing to.
    auto out = dir / "stdout.txt";
    writeFile(out, "");
    ino_t inode = statOf(out).st_ino;
    EXPECT_EQ(0, inChild(
                     [&] {
                         int fd = open(out.c_str(), O_WRONLY | O_APPEND);
                         return fd >= 0 && dup2(fd, 1) >= 0 && save("/dev/stdout", "<r/>") == S_OK &&
                                write(1, "!", 1) == 1;
                     },
                     false));
    EXPECT_EQ("<r/>!", readFile(out));
    EXPECT_EQ(inode, statOf(out).st_ino);

    // A node of its own like /dev/null: a regression must not replace the real one.
    auto device = dir / "null";
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) GTEST_SKIP() << "cannot make device nodes here";
    int probe = open(device.c_str(), O_WRONLY);
    if (probe < 0) GTEST_SKIP() << "devices cannot be opened in the temporary folder";
    close(probe);
    EXPECT_EQ(S_OK, save(device, "<r/>"));
    EXPECT_TRUE(S_ISCHR(statOf(device).st_mode));
    EXPECT_EQ(2, filesIn(dir.path()));
}

TEST(Targets, HardLinkedFilesAreUpdatedInPlace) {
    TempDir dir;
    auto target = dir / "a.xml", other = dir / "b.xml";
    writeFile(target, "a rather long old content");
    ASSERT_EQ(0, link(target.c_str(), other.c_str()));
    EXPECT_EQ(S_OK, save(target, "short"));
    EXPECT_EQ("short", readFile(other));
    EXPECT_EQ(2u, statOf(target).st_nlink);
    EXPECT_EQ(statOf(target).st_ino, statOf(other).st_ino);
    EXPECT_TRUE(noTemporaryFiles(dir.path()));

    // Too big for the file size limit: refused before the old content is
    // touched, although every write to the stream went through.
    EXPECT_EQ(0, inChild(
                     [&] {
                         signal(SIGXFSZ, SIG_IGN);
                         IStream* s = openStream(target);
                         bool const wrote = s && writeAll(s, std::string(10000, 'x'));
                         rlimit limit{4096, 4096};
                         setrlimit(RLIMIT_FSIZE, &limit);
                         bool const refused = wrote && s->Commit(STGC_DEFAULT) == STG_E_MEDIUMFULL;
                         if (s) s->Release();
                         return refused;
                     },
                     false));
    EXPECT_EQ("short", readFile(other));
    EXPECT_EQ(5, statOf(target).st_size);
}

TEST(Targets, ReplacementKeepsModeOwnerGroupAndAttributes) {
    TempDir dir;
    auto target = dir / "owned.xml";
    writeFile(target, "old");
    chmod(target.c_str(), 0640);
    bool const root = geteuid() == 0;
    ASSERT_TRUE(!root || chown(target.c_str(), kNobody, kNobody) == 0);
    bool const attributes = setxattr(target.c_str(), "user.quill", "kept", 4, 0) == 0;
    ino_t before = statOf(target).st_ino;
    EXPECT_EQ(S_OK, save(target, "new"));
    struct stat st = statOf(target);
    EXPECT_EQ("new", readFile(target));
    EXPECT_NE(before, st.st_ino);  // replaced, not overwritten
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_TRUE(!root || (st.st_uid == kNobody && st.st_gid == kNobody));
    char value[8] = {};
    EXPECT_TRUE(!attributes ||
                (getxattr(target.c_str(), "user.quill", value, sizeof value) == 4 && value == std::string("kept")));
    EXPECT_EQ(1, filesIn(dir.path()));
}

// Through a link, including one to a file not made yet (as open(2) creates
// it), the link stays a link; long names leave room for the scratch name.
TEST(Targets, SymbolicLinksAreFollowedAndLongNamesSaved) {
    TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    writeFile(dir / "sub" / "real.xml", "old");
    std::filesystem::create_symlink("sub/real.xml", dir / "link.xml");
    std::filesystem::create_symlink("sub/later.xml", dir / "dangling.xml");
    EXPECT_EQ(S_OK, save(dir / "link.xml", "one"));
    EXPECT_EQ(S_OK, save(dir / "dangling.xml", "two"));
    EXPECT_EQ("one", readFile(dir / "sub" / "real.xml"));
    EXPECT_EQ("two", readFile(dir / "sub" / "later.xml"));
    EXPECT_TRUE(S_ISLNK(statOf(dir / "link.xml").st_mode) && S_ISLNK(statOf(dir / "dangling.xml").st_mode));
    EXPECT_EQ(2, filesIn(dir / "sub"));
    auto const longName = dir / "sub" / std::string(250, 'n');
    EXPECT_EQ(S_OK, save(longName, "first"));
    EXPECT_EQ(S_OK, save(longName, "second"));
    EXPECT_EQ("second", readFile(longName));
    EXPECT_EQ(3, filesIn(dir / "sub"));
}

// A folder the unprivileged user can reach, holding files it owns; made
// writable again before it is removed.
class SharedDir : public TempDir {
public:
    SharedDir() { chmod(path().c_str(), 0755); }
    ~SharedDir() { chmod(path().c_str(), 0755); }
    std::filesystem::path file(std::string const& name, std::string const& bytes, mode_t mode, bool own) const {
        auto p = *this / name;
        writeFile(p, bytes);
        chmod(p.c_str(), mode);
        if (own && geteuid() == 0) chown(p.c_str(), kNobody, kNobody);
        return p;
    }
};

// A read-only file is saved exactly when it could be opened for writing: by
// root, not by its unprivileged owner.
TEST(Targets, ReadOnlyFilesFollowTheRulesOfOpen) {
    SharedDir dir;
    auto target = dir.file("locked.xml", "kept", 0444, true);
    EXPECT_AS_USER([&] { return FAILED(save(target, "lost")) && readFile(target) == "kept"; });
    EXPECT_TRUE(noTemporaryFiles(dir.path()));
    if (geteuid() != 0) return;
    EXPECT_EQ(S_OK, save(target, "root"));
    EXPECT_EQ("root", readFile(target));
    EXPECT_EQ(0444u, statOf(target).st_mode & 07777);
}

TEST(Targets, WritableFileInAReadOnlyFolderIsUpdatedInPlace) {
    SharedDir dir;
    auto target = dir.file("open.xml", "old", 0644, true);
    auto locked = dir.path();
    if (geteuid() != 0) chmod(locked.c_str(), 0555);  // as root the folder is simply not the saver's
    EXPECT_AS_USER([&] {
        return save(target, "new") == S_OK && readFile(target) == "new" && FAILED(save(locked / "fresh.xml", "x"));
    });
    EXPECT_EQ(1, filesIn(dir.path()));
}

// In a sticky folder only a file's owner may rename over it: another user
// allowed to write the file gets it updated in place, with its owner kept.
TEST(Targets, OtherUsersWritableFileInAStickyFolder) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a file of another user";
    SharedDir dir;
    chmod(dir.path().c_str(), 01777);
    auto shared = dir.file("shared.xml", "old", 0666, false);
    auto guarded = dir.file("guarded.xml", "kept", 0644, false);
    EXPECT_AS_USER([&] { return save(shared, "new") == S_OK && FAILED(save(guarded, "lost")); });
    EXPECT_EQ("new", readFile(shared));
    EXPECT_EQ(0u, statOf(shared).st_uid);
    EXPECT_EQ("kept", readFile(guarded));
    EXPECT_TRUE(noTemporaryFiles(dir.path()));
}

}  // namespace
