// clustering.h - the palette of a picture with more distinct colours than
// entries (the splitting cluster method of clustering.cpp), and the alpha and
// nearest-entry rules the reduction shares with it. Internal.
#pragma once

#include <cstdint>

#include "kvza.h"
#include "nearest_memo.h"
#include "palette_index.h"
#include "palette_scan.h"

namespace kvza {

inline float binary_alpha(float a) {
    return a >= kBinaryThreshold ? 1.0f : 0.0f;
}

// Alpha of a palette entry or centre under the alpha mode.
inline float normalised_alpha(int32_t mode, float a) {
    if (mode == KVZA_ALPHA_OPAQUE) return 1.0f;
    if (mode == KVZA_ALPHA_BINARY) return binary_alpha(a);
    return a;
}

// kvza_nearpal(mode, palette, n, &colour, 1, 1, 1), through finder when it
// could be built (and memo, when given).
inline int32_t nearest_entry(const PaletteIndex &finder, int32_t mode, const KvzaPixel *palette,
                             uint32_t n, const KvzaPixel &colour, NearestMemo *memo = nullptr) {
    if (!finder.usable()) return kvza_nearpal(mode, palette, n, &colour, 1.0f, 1.0f, 1.0f);
    const KvzaPixel p = nearpal_target(mode, colour);
    if (memo != nullptr) return memo->nearest(finder, mode, false, colour, p).best_i;
    return finder.nearest(mode, false, colour, p).best_i;
}

// Writes the n entries of image's palette (n <= 256) made by the clustering
// of its pixels in alpha mode alphamode, with one progress step per pixel of
// the assignment and per fruitful split. KVZA_OK; KVZA_CANCELED when progress
// asked to stop (the palette untouched); KVZA_FAILED without memory.
int32_t cluster_palette(KvzaImage *image, int32_t alphamode, uint32_t n, KvzaProgress *progress);

}  // namespace kvza
