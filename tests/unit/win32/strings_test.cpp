// BSTR, VARIANT, string comparison and atomic counters.
#include <atomic>
#include <thread>
#include <vector>

#include "platform/win32/win32.h"
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
    EXPECT_EQ(0, blank[0]);
    SysFreeString(blank);

    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    SysFreeString(nullptr);
    BSTR hello = SysAllocString(L"h\u00e9llo");
    EXPECT_EQ(5u, SysStringLen(hello));
    SysFreeString(hello);
}

// Counts its references; the test checks that variants add and release.
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
    EXPECT_EQ(VT_EMPTY, a.vt);
    a.vt = VT_BSTR;
    a.bstrVal = SysAllocString(L"text");
    ASSERT_EQ(S_OK, VariantCopy(&b, &a));
    EXPECT_NE(a.bstrVal, b.bstrVal);
    EXPECT_STREQ(L"text", b.bstrVal);
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

TEST(VarBstrCmp, ExactCaseSensitiveOrder) {
    BSTR abc = SysAllocString(L"abc"), abd = SysAllocString(L"abd"), upper = SysAllocString(L"ABC");
    BSTR ab = SysAllocString(L"ab"), empty = SysAllocString(L"");
    EXPECT_EQ(VARCMP_EQ, VarBstrCmp(abc, abc, LOCALE_USER_DEFAULT, 0));
    EXPECT_EQ(VARCMP_LT, VarBstrCmp(abc, abd, LOCALE_USER_DEFAULT, 0));
    EXPECT_EQ(VARCMP_GT, VarBstrCmp(abd, abc, LOCALE_USER_DEFAULT, 0));
    EXPECT_NE(VARCMP_EQ, VarBstrCmp(abc, upper, LOCALE_USER_DEFAULT, 0));
    EXPECT_EQ(VARCMP_EQ, VarBstrCmp(abc, upper, LOCALE_USER_DEFAULT, 1));  // NORM_IGNORECASE
    EXPECT_EQ(VARCMP_LT, VarBstrCmp(ab, abc, LOCALE_USER_DEFAULT, 0));
    EXPECT_EQ(VARCMP_EQ, VarBstrCmp(nullptr, empty, LOCALE_USER_DEFAULT, 0));
    EXPECT_EQ(VARCMP_GT, VarBstrCmp(abc, nullptr, LOCALE_USER_DEFAULT, 0));
    // Composed and decomposed forms are different strings.
    wchar_t composed[] = L"\u00e9", decomposed[] = L"e\u0301";
    EXPECT_NE(VARCMP_EQ, VarBstrCmp(composed, decomposed, LOCALE_USER_DEFAULT, 0));
    for (BSTR s : {abc, abd, upper, ab, empty}) SysFreeString(s);
}

TEST(Interlocked, CountsExactlyUnderContention) {
    LONG volatile counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100000; ++i) {
                InterlockedIncrement(&counter);
                InterlockedIncrement(&counter);
                InterlockedDecrement(&counter);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(400000, counter);
    EXPECT_EQ(400001, InterlockedIncrement(&counter));
}

}  // namespace
