// BSTR and VARIANT.
#include "win32_fixture.h"

namespace {

TEST(Bstr, LengthIsStoredAndEmbeddedNulsSurvive) {
    wchar_t const text[] = {L'a', L'\0', L'b'};
    BSTR s = SysAllocStringLen(text, 3);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(3u, SysStringLen(s));
    EXPECT_EQ(3u * sizeof(wchar_t), SysStringByteLen(s));
    EXPECT_EQ(L'b', s[2]);
    EXPECT_EQ(L'\0', s[3]);  // terminated as well
    SysFreeString(s);
    BSTR blank = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(nullptr, blank);
    EXPECT_EQ(4u, SysStringLen(blank));
    EXPECT_EQ(0, blank[4]);  // terminated; the characters are the caller's to write
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
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
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

}  // namespace
