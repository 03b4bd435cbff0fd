// The host's wide-string helpers. Heap strings made here (ux_strdup,
// ux_strsave) are freed with ux_strfree and nothing else.
#pragma once

#include <cstddef>

// Heap copies; null gives null.
wchar_t* ux_strdup(wchar_t const* s);
wchar_t* ux_strsave(wchar_t const* s);
// Frees a copy made by ux_strdup / ux_strsave; null is fine.
void ux_strfree(wchar_t const* s);

// Length in characters; 0 for null.
size_t ux_strlen(wchar_t const* s);
// Equality of two strings (two nulls are equal, null and "" are not).
bool ux_strequal(wchar_t const* a, wchar_t const* b);
// <0, 0, >0 by code unit; null sorts before every string.
int ux_strcmp(wchar_t const* a, wchar_t const* b);
// Copies at most n - 1 characters of src and a terminator into dest (nothing
// when n is 0). A null src gives "". Returns dest.
wchar_t* ux_strcpy_lim(wchar_t* dest, wchar_t const* src, size_t n);
// Removes leading and trailing white space in place; returns s (null gives null).
wchar_t* ux_strtrim(wchar_t* s);

// The host's wide-to-wide text conversion: a copy of the text kept in an
// inline scratch buffer of 128 characters, or on the heap when longer. The
// result lives as long as the converter.
class WideTextConverter {
public:
    static constexpr size_t SCRATCH = 128;
    // Both sides are wchar_t here: the result always has the code units of
    // the input, so a caller that only reads the text may use the input.
    static constexpr bool IDENTITY = true;

    explicit WideTextConverter(wchar_t const* s);  // null gives null
    ~WideTextConverter();
    WideTextConverter(WideTextConverter const&) = delete;
    WideTextConverter& operator=(WideTextConverter const&) = delete;

    wchar_t const* conv_str() const { return result_; }
    size_t length() const { return length_; }
    bool on_heap() const { return heap_ != nullptr; }

private:
    wchar_t scratch_[SCRATCH];
    wchar_t* heap_ = nullptr;
    wchar_t const* result_ = nullptr;
    size_t length_ = 0;
};
