// File streams: writing only replaces the target once the stream is
// committed after every write succeeded.
#include <signal.h>
#include <sys/resource.h>

#include "tests/unit/common/as_user.h"
#include "win32_fixture.h"

using namespace win32test;

namespace {

IStream* openStream(std::filesystem::path const& p) {
    IStream* s = nullptr;
    return SUCCEEDED(SHCreateStreamOnFileW(wide(p).c_str(), STGM_CREATE | STGM_WRITE, &s)) ? s : nullptr;
}

bool writeAll(IStream* s, std::string const& bytes) {
    ULONG written = 0;
    return SUCCEEDED(s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) && written == bytes.size();
}

TEST(Stream, WriteReplacesTheTargetOnlyOnCommit) {
    TempDir dir;
    auto target = dir / "out.txt";
    writeFile(target, "old contents");
    // Released or reverted without Commit: the old file and nothing beside it.
    for (bool revert : {false, true}) {
        IStream* s = openStream(target);
        ASSERT_TRUE(s && writeAll(s, "new"));
        if (revert) {
            EXPECT_EQ(S_OK, s->Revert());
            EXPECT_TRUE(FAILED(s->Commit(STGC_DEFAULT)));
        }
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
}

// Out of space in the middle of writing: the old file stays, the new one goes.
TEST(Stream, FailedWriteKeepsTheOldFile) {
    TempDir dir;
    auto target = dir / "data.bin";
    writeFile(target, "precious");
    auto const overfill = [&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        IStream* s = openStream(target);
        if (!s) return false;
        bool failed = false;
        for (int i = 0; i < 10 && !failed; ++i) failed = !writeAll(s, std::string(1000, 'z'));
        bool laterFails = !writeAll(s, "x");  // a broken stream stays broken
        bool refused = FAILED(s->Commit(STGC_DEFAULT));
        s->Release();
        return failed && laterFails && refused;
    };
    EXPECT_EQ(0, testfiles::inChild(overfill, false));
    EXPECT_EQ("precious", readFile(target));
    EXPECT_EQ(1, filesIn(dir.path()));
}

}  // namespace
