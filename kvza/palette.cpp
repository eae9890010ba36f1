// Ordered-dither decisions and nearest palette entry searches.
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "internal.h"
#include "nearest_memo.h"
#include "palette_index.h"
#include "palette_scan.h"

namespace {

using kvza::kBinaryThreshold;
using kvza::Nearest;

// 16 x 16 threshold table holding 0 .. 255 once each. Decisions read only the
// top-left 8 x 8 block; the other positions hold the remaining values in order.
struct DefaultTable {
    uint8_t bytes[256];
    constexpr DefaultTable() : bytes() {
        constexpr uint8_t block[8][8] = {
            {7, 231, 52, 203, 11, 248, 55, 199},  {173, 115, 190, 87, 146, 81, 180, 103},
            {40, 196, 20, 221, 33, 229, 26, 242}, {158, 82, 160, 126, 130, 100, 149, 85},
            {9, 240, 61, 227, 0, 234, 48, 204},   {169, 69, 182, 107, 155, 112, 185, 77},
            {47, 200, 29, 246, 43, 209, 31, 251}, {136, 119, 141, 89, 132, 64, 167, 124},
        };
        bool used[256] = {};
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                bytes[y * 16 + x] = block[y][x];
                used[block[y][x]] = true;
            }
        }
        int next = 0;
        for (int i = 0; i < 256; ++i) {
            if (i % 16 < 8 && i / 16 < 8) continue;
            while (used[next]) ++next;
            bytes[i] = static_cast<uint8_t>(next);
            used[next] = true;
        }
    }
};
constexpr DefaultTable kDefaultTable;

// The nearest entries this thread found for the palette, weights and mode
// of its last kvza_nearpal_dit_row call: a writer matches a picture run by
// run with one palette, and its colours repeat from run to run. A call with
// anything else starts a new memo. The memo starts small (a small picture
// should not pay for clearing megabytes) and grows once a picture has shown
// it is large.
class RowMemo {
  public:
    kvza::NearestMemo *get(int32_t mode, const KvzaPixel *palette, uint32_t count, float wc,
                           float ww, float wa, uint32_t pixels) {
        const float weights[3] = {wc, ww, wa};
        const bool same = memo_ && mode == mode_ && count == palette_.size() &&
                          std::memcmp(weights, weights_, sizeof weights) == 0 &&
                          std::memcmp(palette, palette_.data(), count * sizeof(KvzaPixel)) == 0;
        if (same) {
            seen_ += pixels;
            if (colours_ < kLargeColours && seen_ >= kGrowAfter) {
                try {
                    memo_ = std::make_unique<kvza::NearestMemo>(kLargeColours);
                    colours_ = kLargeColours;
                } catch (const std::bad_alloc &) {
                    seen_ = 0;  // the small memo stays
                }
            }
            return memo_.get();
        }
        memo_.reset();
        try {
            palette_.assign(palette, palette + count);
            memo_ = std::make_unique<kvza::NearestMemo>(kSmallColours);
        } catch (const std::bad_alloc &) {
            palette_.clear();
            return nullptr;
        }
        colours_ = kSmallColours;
        seen_ = pixels;
        mode_ = mode;
        std::memcpy(weights_, weights, sizeof weights);
        return memo_.get();
    }

  private:
    static constexpr uint64_t kSmallColours = uint64_t{1} << 16;
    static constexpr uint64_t kLargeColours = uint64_t{1} << 18;
    // Pixels matched with one palette before the memo grows.
    static constexpr uint64_t kGrowAfter = uint64_t{1} << 20;
    std::unique_ptr<kvza::NearestMemo> memo_;
    std::vector<KvzaPixel> palette_;
    uint64_t colours_ = 0;
    uint64_t seen_ = 0;
    int32_t mode_ = 0;
    float weights_[3] = {};
};

kvza::NearestMemo *row_memo(int32_t mode, const KvzaPixel *palette, uint32_t count, float wc,
                            float ww, float wa, uint32_t pixels) {
    thread_local RowMemo memo;
    return memo.get(mode, palette, count, wc, ww, wa, pixels);
}

}  // namespace

extern "C" {

KVZA_API int32_t kvza_getdither(uint32_t value, int32_t x, int32_t y, uint32_t levels,
                                const uint8_t *table) {
    if (levels == 0) return 0;
    if (levels > 256) levels = 256;
    if (table == nullptr) table = kDefaultTable.bytes;
    const uint32_t v = value & 255U;
    const uint32_t q = (v * levels) / 256U;
    const uint32_t t = (q * 256U) / levels;
    const uint32_t row = static_cast<uint32_t>(y) & 7U;
    const uint32_t col = static_cast<uint32_t>(x) & 7U;
    return t > table[row * 16U + col] ? 1 : 0;
}

KVZA_API int32_t kvza_nearpal(int32_t alphamode, const KvzaPixel *palette, uint32_t count,
                              const KvzaPixel *colour, float chromaweight, float whiteweight,
                              float alphaweight) {
    if (palette == nullptr || colour == nullptr || count == 0) return 0;
    const KvzaPixel p = kvza::nearpal_target(alphamode, *colour);
    return kvza::scan_vector(alphamode, false, palette, count, *colour, p, chromaweight,
                             whiteweight, alphaweight)
        .best_i;
}

KVZA_API int32_t kvza_nearpal_dit(int32_t alphamode, const KvzaPixel *palette, uint32_t count,
                                  const KvzaPixel *colour, float chromaweight, float whiteweight,
                                  float alphaweight, int32_t x, int32_t y, uint32_t levels,
                                  const uint8_t *table) {
    if (palette == nullptr || colour == nullptr || count == 0) return 0;
    const KvzaPixel p = kvza::dither_target(alphamode, *colour, x, y, levels, table);
    const Nearest n = kvza::scan_vector(alphamode, true, palette, count, *colour, p, chromaweight,
                                        whiteweight, alphaweight);
    return kvza::dither_choice(n, alphamode, palette, x, y, levels, table);
}

KVZA_API void kvza_nearpal_dit_row(int32_t alphamode, const KvzaPixel *palette, uint32_t count,
                                   const KvzaPixel *pixels, uint32_t n, float chromaweight,
                                   float whiteweight, float alphaweight, int32_t x, int32_t y,
                                   uint32_t levels, const uint8_t *table, int32_t *out) {
    if (pixels == nullptr || out == nullptr) return;
    const kvza::PaletteIndex finder(palette, count, chromaweight, whiteweight, alphaweight);
    kvza::NearestMemo *memo =
        finder.usable() && kvza::dither_target_is_colour(alphamode)
            ? row_memo(alphamode, palette, count, chromaweight, whiteweight, alphaweight, n)
            : nullptr;
    // The memo's slots are scattered over megabytes: each is asked for a
    // few pixels before it is read.
    constexpr uint32_t kAhead = 8;
    for (uint32_t j = 0; j < n; ++j) {
        if (memo != nullptr && j + kAhead < n) memo->prefetch(pixels[j + kAhead]);
        // x + j in 64 bits, then as the one-pixel call would see it.
        const auto px = static_cast<int32_t>(static_cast<uint32_t>(x) + j);
        if (!finder.usable()) {
            out[j] = kvza_nearpal_dit(alphamode, palette, count, &pixels[j], chromaweight,
                                      whiteweight, alphaweight, px, y, levels, table);
            continue;
        }
        const KvzaPixel p = kvza::dither_target(alphamode, pixels[j], px, y, levels, table);
        const Nearest near = memo != nullptr ? memo->nearest(finder, alphamode, true, pixels[j], p)
                                             : finder.nearest(alphamode, true, pixels[j], p);
        out[j] = kvza::dither_choice(near, alphamode, palette, px, y, levels, table);
    }
}

}  // extern "C"

namespace kvza {

KvzaPixel dither_target(int32_t alphamode, const KvzaPixel &colour, int32_t x, int32_t y,
                        uint32_t levels, const uint8_t *table) {
    KvzaPixel p = colour;
    if (alphamode == KVZA_ALPHA_BINARY) {
        // A partly transparent pixel becomes a dithered pattern of opaque and
        // transparent pixels.
        const float a = std::fabs(p.a);
        if (a >= 1.0f) {
            p.a = 1.0f;
        } else {
            float v = a * 255.0f;
            if (!(v > 0.0f)) v = 0.0f;
            if (v > 255.0f) v = 255.0f;
            const auto level = static_cast<uint32_t>(v);
            p.a = kvza_getdither(level, x, y, levels, table) == 1 ? 1.0f : 0.0f;
        }
    }
    return p;
}

int32_t dither_choice(const Nearest &n, int32_t alphamode, const KvzaPixel *palette, int32_t x,
                      int32_t y, uint32_t levels, const uint8_t *table) {
    if (n.exact) return n.best_i;
    const float best = n.best, second = n.second;
    const int32_t best_i = n.best_i, second_i = n.second_i;
    if (!(best > 0.0f)) return best_i;
    uint32_t r = 0;
    if (second_i >= 0 && second != std::numeric_limits<float>::infinity()) {
        // The ratio in double, like the library's other arithmetic: a float
        // quotient could round up onto the next whole number.
        double f = static_cast<double>(best) / (static_cast<double>(best) + second) * 256.0;
        if (!(f > 0.0)) f = 0.0;
        if (f > 255.0) f = 255.0;
        r = static_cast<uint32_t>(f);
    }
    if (alphamode != KVZA_ALPHA_OPAQUE && palette[best_i].a == 0.0f) return best_i;
    if (second_i >= 0 && kvza_getdither(r, x, y, levels, table) == 1) return second_i;
    return best_i;
}

}  // namespace kvza
