// Zero-filled image blocks for tests; the library itself never allocates.
#pragma once

#include <cstdlib>
#include <memory>

#include "kvza.h"

namespace kvzatest {

struct FreeBlock {
    void operator()(KvzaImage *image) const { std::free(image); }
};
using ImagePtr = std::unique_ptr<KvzaImage, FreeBlock>;

// A zero-filled block of header plus width x height pixels (Clamp/Clamp).
ImagePtr make_image(int width, int height);

// Pixel (x, y) of an image, without wrap modes.
inline KvzaPixel &at(KvzaImage *image, int x, int y) {
    return image->pixels[x + static_cast<size_t>(y) * static_cast<size_t>(image->width)];
}

}  // namespace kvzatest
