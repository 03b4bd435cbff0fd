// A scoped text conversion: the result lives in an inline buffer when it
// fits and on the heap otherwise, freed with kx_free when the converter dies.
#pragma once

#include <cstddef>

#include "platform/host/utf8.h"

// Convert(src, buffer, size) converts into buffer (size units) and returns it
// when the result fits, or null; Convert(src, nullptr, 0) allocates.
template <class From, class To, To* (*Convert)(From const*, To*, size_t)>
class EncodingConverter {
public:
    explicit EncodingConverter(From const* src) : result_(Convert(src, inline_, kInlineUnits)) {
        if (!result_ && src) {
            result_ = Convert(src, nullptr, 0);
            allocated_ = result_ != nullptr;
        }
    }
    ~EncodingConverter() {
        if (allocated_) kx_free(result_);
    }
    EncodingConverter(EncodingConverter const&) = delete;
    EncodingConverter& operator=(EncodingConverter const&) = delete;

    // Null only for a null source.
    To const* conv_str() const { return result_; }
    bool onHeap() const { return allocated_; }

private:
    static constexpr size_t kInlineBytes = 168;
    static constexpr size_t kInlineUnits = kInlineBytes / sizeof(To);

    To inline_[kInlineUnits];
    To* result_;
    bool allocated_ = false;
};

typedef EncodingConverter<unsigned char, wchar_t, UTF8ToInternal> UTF8Converter;
