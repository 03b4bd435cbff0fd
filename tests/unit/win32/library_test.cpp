// LoadLibraryA / GetProcAddress / FreeLibrary.
#include "platform/win32/win32.h"
#include "win32_fixture.h"

using namespace win32test;

namespace {

class ScopedEnv {
public:
    ScopedEnv(char const* name, std::string const& value) : name_(name) { setenv(name, value.c_str(), 1); }
    ~ScopedEnv() { unsetenv(name_); }

private:
    char const* name_;
};

TEST(Library, DllNameFindsTheEngineBesideThisLibrary) {
    HMODULE engine = LoadLibraryA("msxml6.dll");
    ASSERT_NE(nullptr, engine);
    EXPECT_NE(nullptr, GetProcAddress(engine, "DllGetClassObject"));
    EXPECT_EQ(nullptr, GetProcAddress(engine, "NoSuchEntryPoint"));
    EXPECT_TRUE(FreeLibrary(engine));
    HMODULE again = LoadLibraryA("MSXML6.DLL");  // names are not case-sensitive
    EXPECT_NE(nullptr, again);
    FreeLibrary(again);
}

TEST(Library, MissingLibrariesGiveNull) {
    EXPECT_EQ(nullptr, LoadLibraryA("no-such-library.dll"));
    EXPECT_EQ(nullptr, LoadLibraryA(""));
    EXPECT_EQ(nullptr, LoadLibraryA(nullptr));
    EXPECT_EQ(nullptr, GetProcAddress(nullptr, "x"));
    EXPECT_FALSE(FreeLibrary(nullptr));
}

}  // namespace
