// LoadLibraryA / GetProcAddress / FreeLibrary.
#include "win32_fixture.h"

namespace {

TEST(Library, DllNameFindsTheEngineBesideThisLibrary) {
    HMODULE engine = LoadLibraryA("msxml6.dll");
    ASSERT_NE(nullptr, engine);
    EXPECT_NE(nullptr, GetProcAddress(engine, "DllGetClassObject"));
    EXPECT_EQ(nullptr, GetProcAddress(engine, "NoSuchEntryPoint"));
    EXPECT_TRUE(FreeLibrary(engine));
    HMODULE again = LoadLibraryA("MSXML6.DLL");  // names are not case-sensitive
    EXPECT_NE(nullptr, again);
    FreeLibrary(again);
    for (char const* missing : {"no-such-library.dll", "", static_cast<char const*>(nullptr)})
        EXPECT_EQ(nullptr, LoadLibraryA(missing));
    EXPECT_EQ(nullptr, GetProcAddress(nullptr, "x"));
    EXPECT_FALSE(FreeLibrary(nullptr));
}

}  // namespace
