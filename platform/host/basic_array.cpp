#include "platform/host/basic_array.h"

size_t BASIC_ARRAY_next_bumpsize(size_t bytes) {
    if (bytes <= 128) return bytes == 0 ? 16 : (bytes + 15) & ~size_t(15);
    size_t size = 256;
    while (size < bytes && size < (size_t(1) << 62)) size <<= 1;
    return size < bytes ? bytes : size;
}
