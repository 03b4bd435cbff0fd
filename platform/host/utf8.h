// UTF-8 <-> wide text (wchar_t holds one code point). Exact for all of
// Unicode; malformed UTF-8 and code points that cannot be encoded (surrogates,
// values above U+10FFFF) become U+FFFD.
//
// Both routines take a null-terminated source and work in two ways:
// - with a buffer of `size` units: convert into it and return it when the
//   result and its terminator fit; otherwise return null (the buffer's content
//   is then unspecified) so that the caller can ask again without a buffer;
// - with no buffer: return a new result, freed with kx_free.
// A null source gives null.
#pragma once

#include <cstddef>

wchar_t* UTF8ToInternal(unsigned char const* src, wchar_t* buffer, size_t size);
unsigned char* InternalToUTF8(wchar_t const* src, unsigned char* buffer, size_t size);

// Frees what the two routines allocated; null is fine.
void kx_free(void const* p);
