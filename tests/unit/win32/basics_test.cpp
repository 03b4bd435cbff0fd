// BSTR, VARIANT and the library loader.
#include <gtest/gtest.h>

#include "platform/win32/win32.h"

namespace {

TEST(Bstr, LengthIsStoredAndEmbeddedNulsSurvive) {
    wchar_t const text[] = {L'a', L'\0', L'b'};
    BSTR s = SysAllocStringLen(text, 3);
    ASSERT_NE(nullptr, s);
    EXPECT_TRUE(SysStringLen(s) == 3 && SysStringByteLen(s) == 3 * sizeof(wchar_t));
    EXPECT_TRUE(s[2] == L'b' && s[3] == L'\0');  // terminated as well
    SysFreeString(s);
    BSTR blank = SysAllocStringLen(nullptr, 4);  // the characters are the caller's to write
    ASSERT_NE(nullptr, blank);
    EXPECT_TRUE(SysStringLen(blank) == 4 && blank[4] == 0);
    SysFreeString(blank);
    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    SysFreeString(nullptr);
}

// Counts its references: variants must add and release.
class Counted final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
};

TEST(Variant, CopyDuplicatesStringsAndCountsObjects) {
    VARIANT a{}, b{};
    a.vt = VT_BSTR;
    a.bstrVal = SysAllocString(L"text");
    ASSERT_EQ(S_OK, VariantCopy(&b, &a));
    EXPECT_NE(a.bstrVal, b.bstrVal);
    VariantClear(&a);
    EXPECT_EQ(VT_EMPTY, a.vt);
    EXPECT_STREQ(L"text", b.bstrVal);  // still its own copy
    Counted object;
    a.vt = VT_DISPATCH;
    a.pdispVal = &object;
    object.AddRef();
    ASSERT_EQ(S_OK, VariantCopy(&b, &a));  // b's string is freed first
    EXPECT_EQ(3u, object.refs);
    VariantClear(&b);
    VariantClear(&a);
    EXPECT_EQ(1u, object.refs);
    a.vt = VT_UNKNOWN;
    a.punkVal = nullptr;
    EXPECT_EQ(S_OK, VariantClear(&a));  // a null object is fine
}

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
