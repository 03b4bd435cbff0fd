// The few OLE and Windows services the module uses, on POSIX.
//
// Text is wchar_t throughout (32 bits here). A BSTR is a wchar_t string with
// its byte length stored in the 4 bytes in front of it, as in OLE, so
// SysStringLen is O(1) and embedded NULs survive. COM interfaces are plain
// abstract classes with IUnknown's counting rules: every interface pointer a
// call hands out carries one reference that the receiver releases.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- basic types and result codes ------------------------------------------
typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef int BOOL;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef wchar_t OLECHAR;
typedef OLECHAR* BSTR;
typedef void* HMODULE;
typedef void* HWND;
typedef void* HINSTANCE;
typedef uint32_t LCID;
typedef void (*FARPROC)();

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_ABORT ((HRESULT)0x80004004L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_ACCESSDENIED ((HRESULT)0x80070005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define STG_E_FILENOTFOUND ((HRESULT)0x80030002L)
#define STG_E_ACCESSDENIED ((HRESULT)0x80030005L)
#define STG_E_WRITEFAULT ((HRESULT)0x8003001DL)
#define STG_E_READFAULT ((HRESULT)0x8003001EL)
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070L)
#define STG_E_REVERTED ((HRESULT)0x80030102L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)
#define TRUE 1
#define FALSE 0

// ---- GUIDs ------------------------------------------------------------------
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef IID const& REFIID;
typedef CLSID const& REFCLSID;

constexpr bool operator==(GUID const& a, GUID const& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool IsEqualGUID(REFIID a, REFIID b) { return a == b; }

// ---- IUnknown and friends ----------------------------------------------------
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// Automation marker: objects passed as VT_DISPATCH variants. No type
// information is offered; callers query for the interface they need.
struct IDispatch : IUnknown {
protected:
    ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** out) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

struct ISequentialStream : IUnknown {
    virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
    virtual HRESULT Write(void const* buffer, ULONG size, ULONG* written) = 0;

protected:
    ~ISequentialStream() = default;
};

#define STGC_DEFAULT 0

// A file stream. What is written to a file stream becomes the file's content
// only through Commit (see SHCreateStreamOnFileW).
struct IStream : ISequentialStream {
    // Puts everything written in place; the save succeeded only if this
    // returns S_OK. Streams that pass bytes on as they come hold nothing back.
    virtual HRESULT Commit(DWORD /*flags*/) { return S_OK; }
    // Abandons what was written: the target is left as it was. For producers
    // that fail after some writes went through.
    virtual HRESULT Revert() { return E_NOTIMPL; }

protected:
    ~IStream() = default;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ISequentialStream = {
    0x0c733a30, 0x2a1c, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
inline constexpr IID IID_IStream = {0x0000000c, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---- BSTR -------------------------------------------------------------------
BSTR SysAllocString(OLECHAR const* s);                 // null gives null
BSTR SysAllocStringLen(OLECHAR const* s, unsigned n);  // s may be null: n uninitialised chars
unsigned SysStringLen(BSTR s);                         // 0 for null
unsigned SysStringByteLen(BSTR s);
void SysFreeString(BSTR s);  // null is fine

// ---- VARIANT ----------------------------------------------------------------
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
};

struct VARIANT {
    VARTYPE vt;
    uint16_t wReserved1, wReserved2, wReserved3;
    union {
        LONG lVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
    };
};
typedef VARIANT VARIANTARG;

void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);  // frees the string or releases the interface
HRESULT VariantCopy(VARIANT* dest, VARIANT const* src);

#define LOCALE_USER_DEFAULT 0x0400
#define VARCMP_LT 0
#define VARCMP_EQ 1
#define VARCMP_GT 2
#define VARCMP_NULL 3
// Compares two strings for the given locale; flags 0 is case-sensitive.
// A null BSTR equals an empty one.
HRESULT VarBstrCmp(BSTR left, BSTR right, LCID lcid, ULONG flags);

// ---- threads ----------------------------------------------------------------
LONG InterlockedIncrement(LONG volatile* p);
LONG InterlockedDecrement(LONG volatile* p);

// ---- libraries ----------------------------------------------------------------
// "X.dll" (or "X") finds libX.so next to the calling library's own file
// first, then through the dynamic loader's usual search path.
HMODULE LoadLibraryA(char const* name);
FARPROC GetProcAddress(HMODULE module, char const* name);
BOOL FreeLibrary(HMODULE module);

// ---- file streams -------------------------------------------------------------
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGM_CREATE 0x00001000L
// mode STGM_READ opens an existing file for reading. STGM_CREATE|STGM_WRITE
// opens for writing exactly when open(2) for writing would (creating a missing
// file) and holds the bytes back until Commit: an ordinary file is replaced
// atomically, keeping its mode, owner, group and extended attributes; a file
// with other hard links or one that cannot be replaced is overwritten in
// place; pipes and devices receive the bytes as they come (a pipe without a
// reader fails the open).
// Release without a successful Commit leaves an existing file as it was.
HRESULT SHCreateStreamOnFileW(wchar_t const* path, DWORD mode, IStream** out);
// The local path a file: URL names (no other host, UTF-8 escapes). size is
// the buffer's length in characters; on success the path's length.
HRESULT PathCreateFromUrlW(wchar_t const* url, wchar_t* path, DWORD* size, DWORD flags);

// ---- shell ----------------------------------------------------------------------
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
// verb "open": the command named by QUILL_OPEN_COMMAND if set, else the
// desktop's opener (xdg-open). Returns a value above 32 on success.
HINSTANCE ShellExecuteW(HWND hwnd, wchar_t const* verb, wchar_t const* file, wchar_t const* parameters,
                        wchar_t const* directory, int show);
