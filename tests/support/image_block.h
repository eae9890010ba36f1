// Zero-filled image blocks for tests; the library itself never allocates.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "kvza.h"

namespace kvzatest {

// Releases a block: from the heap, or a mapping of `mapped` bytes.
struct FreeBlock {
    size_t mapped = 0;
    void operator()(KvzaImage *image) const;
};
using ImagePtr = std::unique_ptr<KvzaImage, FreeBlock>;

// A zero-filled block of header plus width x height pixels (Clamp/Clamp).
// From 16 MiB on it is mapped on large pages as the editor's host maps its
// pictures, so that benchmarks see the host's cost of fresh memory.
ImagePtr make_image(int width, int height);

// Pixel (x, y) of an image, without wrap modes.
inline KvzaPixel &at(KvzaImage *image, int x, int y) {
    return image->pixels[x + static_cast<size_t>(y) * static_cast<size_t>(image->width)];
}

}  // namespace kvzatest
