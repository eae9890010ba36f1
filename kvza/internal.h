// Helpers shared by the library's source files; nothing here is exported.
#pragma once

#include <cstdint>
#include <cstring>

#include "kvza.h"

namespace kvza {

// Number of pixels of an image, in 64 bits.
inline uint64_t pixel_count(const KvzaImage *image) {
    return static_cast<uint64_t>(static_cast<uint32_t>(image->width)) *
           static_cast<uint32_t>(image->height);
}

// Read-only pixel address under the wrap modes.
inline const KvzaPixel *getpix(const KvzaImage *image, int32_t x, int32_t y) {
    return kvza_getpixptr(const_cast<KvzaImage *>(image), x, y);
}

// True when a and b hold the same 16 bytes.
inline bool same_bytes(const KvzaPixel &a, const KvzaPixel &b) {
    return std::memcmp(&a, &b, sizeof(KvzaPixel)) == 0;
}

// Counts one step; true when the operation must stop.
inline bool step(KvzaProgress *progress) {
    return progress != nullptr && kvza_progress_count(nullptr, progress) != 0;
}

// The 32-bit float nearest 1/255, the factor that turns a byte into a float.
constexpr float kByteToFloat = 0.003921569f;

}  // namespace kvza
