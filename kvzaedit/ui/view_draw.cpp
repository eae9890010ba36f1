// Drawing picture rows into view bytes. A pixel's bytes are a function of its
// 16 stored bytes (and the mode and background), so they are remembered per
// pixel: a picture read from a file repeats its colours within a few rows,
// and a remembered pixel costs one look-up instead of a conversion, a clip, a
// blend and three roundings. A pixel equal to its left neighbour repeats the
// neighbour's bytes; one shown as the background needs no conversion; the
// rest of a chunk of the row is converted at once.
#include "view_draw.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "byte_float.h"
#include "clip_inline.h"
#include "colour_cache.h"

namespace kvzaedit {
namespace {

// A float channel value as a view byte: the integer part of v x 255,
// truncated toward zero, keeping its low 8 bits. A value whose product is not
// a number or does not fit an integer gives 0.
uint32_t ViewByte(double v) {
    const double t = std::trunc(v * 255.0);
    if (!(std::fabs(t) < 9.2e18)) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(t)) & 0xFF);
}

// ViewByte for the common case of a product in 0..255, where truncation is a
// plain conversion to int; anything else takes the general path.
inline uint32_t FastViewByte(double v) {
    const double t = v * 255.0;
    if (t >= 0.0 && t < 256.0) return static_cast<uint32_t>(static_cast<int>(t));
    return ViewByte(v);
}

// Pixels handled together: converted in one call of the many-pixel conversion.
constexpr int32_t kChunk = static_cast<int32_t>(kvza::kChunkMax);

// A pixel's bytes packed as red | green << 8 | blue << 16; kFilled marks a
// slot in use, kPending a pixel whose bytes are its left neighbour's. While a
// chunk is drawn, kAlias | m marks a pixel whose bytes are those of the
// chunk's m-th converted pixel.
constexpr uint32_t kFilled = 1u << 24;
constexpr uint32_t kPending = 1u << 31;
constexpr uint32_t kAlias = 1u << 30;
constexpr uint32_t kMissIndex = 0xFFFF;

// The bytes of pixels by their 16 stored bytes, for one mode and background:
// one slot per hash of the pixel, a new pixel replacing the one in its slot.
// One per thread; it forgets everything when the mode or background changes.
class ViewByteCache {
  public:
    // The slots are emptied by the first set_look.
    ViewByteCache() : slots_(new (std::nothrow) Slot[kSlots]) {}

    bool usable() const { return slots_ != nullptr; }

    // Empties the cache unless it already holds bytes for mode over back.
    void set_look(ViewMode mode, const uint8_t back[3]) {
        const uint32_t look = static_cast<uint32_t>(mode) | uint32_t{back[0]} << 8 |
                              uint32_t{back[1]} << 16 | uint32_t{back[2]} << 24;
        if (look == look_ && seen_) return;
        look_ = look;
        seen_ = true;
        if (slots_) std::fill_n(slots_.get(), kSlots, Slot{});
    }

    // The bytes of pixel p (with kFilled), or 0 when not cached.
    uint32_t find(__m128i p) const {
        const Slot &s = slot(p);
        const __m128i key = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s.key));
        return _mm_movemask_epi8(_mm_cmpeq_epi8(key, p)) == 0xFFFF ? s.bytes : 0;
    }
    void put(__m128i p, uint32_t bytes) {
        Slot &s = slot(p);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(s.key), p);
        s.bytes = bytes;
    }

  private:
    struct Slot {
        uint32_t key[4];
        uint32_t bytes;  // 0: empty
    };
    static constexpr int kBits = 15;
    static constexpr size_t kSlots = size_t{1} << kBits;
    Slot &slot(__m128i p) const {
        const uint64_t lo = static_cast<uint64_t>(_mm_cvtsi128_si64(p));
        const uint64_t hi = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(p, p)));
        const uint64_t h = (lo ^ (hi * 0xC2B2AE3D27D4EB4FULL)) * 0x9E3779B97F4A7C15ULL;
        return slots_[static_cast<size_t>(h >> (64 - kBits))];
    }
    std::unique_ptr<Slot[]> slots_;
    uint32_t look_ = 0;
    bool seen_ = false;
};

// The bytes of a converted colour (red, green, blue and the pixel's alpha)
// by mode.
template <ViewMode Mode>
uint32_t ColourBytes(const KvzaPixel &converted, const double bg[3]) {
    const KvzaPixel rgb = kvza::clip_rgba(converted);
    uint32_t r, g, b;
    if constexpr (Mode == ViewMode::kBlend) {
        const double ad = converted.a;  // unclipped
        r = FastViewByte(bg[0] + ad * (static_cast<double>(rgb.c) - bg[0]));
        g = FastViewByte(bg[1] + ad * (static_cast<double>(rgb.s) - bg[1]));
        b = FastViewByte(bg[2] + ad * (static_cast<double>(rgb.w) - bg[2]));
    } else {
        r = FastViewByte(rgb.c);
        g = FastViewByte(rgb.s);
        b = FastViewByte(rgb.w);
    }
    return r | g << 8 | b << 16 | kFilled;
}

// ColourBytes with the channels side by side in SSE2 lanes: the same clip,
// the same double operations in the same order, the same truncation. A blend
// whose product leaves 0 .. 255 (an alpha outside 0 .. 1, not a number)
// takes ColourBytes.
template <ViewMode Mode>
uint32_t ColourBytesLanes(const KvzaPixel &converted, const double bg[3]) {
    const __m128 v = _mm_loadu_ps(&converted.c);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 ge1 = _mm_cmpge_ps(v, one);
    // Not greater than 0 (not a number included) gives +0; 1 and above give 1.
    const __m128 clipped = _mm_or_ps(
        _mm_andnot_ps(ge1, _mm_and_ps(_mm_cmpgt_ps(v, _mm_setzero_ps()), v)), _mm_and_ps(ge1, one));
    __m128d rg = _mm_cvtps_pd(clipped);
    __m128d b_ = _mm_cvtps_pd(_mm_movehl_ps(clipped, clipped));
    const __m128d k255 = _mm_set1_pd(255.0);
    if constexpr (Mode == ViewMode::kBlend) {
        const __m128d bg_rg = _mm_set_pd(bg[1], bg[0]);
        const __m128d bg_b = _mm_set_pd(0.0, bg[2]);
        const __m128d ad = _mm_set1_pd(static_cast<double>(converted.a));
        rg = _mm_mul_pd(_mm_add_pd(bg_rg, _mm_mul_pd(ad, _mm_sub_pd(rg, bg_rg))), k255);
        b_ = _mm_mul_pd(_mm_add_pd(bg_b, _mm_mul_pd(ad, _mm_sub_pd(b_, bg_b))), k255);
        const __m128d lo = _mm_setzero_pd(), hi = _mm_set1_pd(256.0);
        const int in_rg = _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(rg, lo), _mm_cmplt_pd(rg, hi)));
        const int in_b = _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(b_, lo), _mm_cmplt_pd(b_, hi)));
        if (in_rg != 3 || (in_b & 1) == 0) return ColourBytes<Mode>(converted, bg);
    } else {
        // A clipped channel times 255 lies in 0 .. 255.
        rg = _mm_mul_pd(rg, k255);
        b_ = _mm_mul_pd(b_, k255);
    }
    const __m128i ints = _mm_unpacklo_epi64(_mm_cvttpd_epi32(rg), _mm_cvttpd_epi32(b_));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(ints, ints), _mm_setzero_si128());
    return (static_cast<uint32_t>(_mm_cvtsi128_si32(bytes)) & 0xFFFFFF) | kFilled;
}

// Whether a pixel of alpha a shows the background.
template <ViewMode Mode>
bool ShowsBack(float a) {
    if constexpr (Mode == ViewMode::kZeroIsBack) return a == 0.0f || std::isnan(a);
    if constexpr (Mode == ViewMode::kBelowOneBack) return !(a >= 1.0f);
    return false;
}

template <ViewMode Mode>
void DrawRow(const KvzaPixel *src, uint8_t *row, int32_t width, uint32_t back_bytes,
             const double bg[3], ViewByteCache &cache, kvza::CacheUse &use) {
    uint32_t bytes[kChunk];
    int32_t at[kChunk], alias_at[kChunk];
    KvzaPixel colour[kChunk];
    uint32_t last = 0;  // the bytes of the pixel left of the chunk
    for (int32_t x0 = 0; x0 < width; x0 += kChunk) {
        const int32_t x1 = std::min(width, x0 + kChunk);
        const bool look_up = cache.usable() && use.wanted();
        int32_t misses = 0, aliases = 0, looked = 0;
        __m128i left = x0 > 0 ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(&src[x0 - 1]))
                              : _mm_setzero_si128();
        for (int32_t x = x0; x < x1; ++x) {
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(&src[x]));
            uint32_t &out = bytes[x - x0];
            const bool repeat = x > 0 && _mm_movemask_epi8(_mm_cmpeq_epi8(p, left)) == 0xFFFF;
            left = p;
            if (repeat) {
                out = kPending;
                continue;
            }
            if (ShowsBack<Mode>(src[x].a)) {
                out = back_bytes;
                continue;
            }
            if (look_up) {
                ++looked;
                out = cache.find(p);
                if (out & kAlias) alias_at[aliases++] = x - x0;
                if (out != 0) continue;
                // Later pixels of the chunk equal to this one wait for its
                // conversion instead of converting it again.
                cache.put(p, kAlias | static_cast<uint32_t>(misses));
            }
            at[misses] = x - x0;
            colour[misses++] = src[x];
        }
        if (look_up) use.record(static_cast<uint32_t>(misses), static_cast<uint32_t>(looked));
        if (misses > 0) {
            // In place: each colour keeps its pixel's alpha.
            kvza_kvz2rgb_n(colour, colour, static_cast<uint64_t>(misses));
            for (int32_t m = 0; m < misses; ++m) {
                const uint32_t b = ColourBytesLanes<Mode>(colour[m], bg);
                bytes[at[m]] = b;
                // Replaces this chunk's waiting mark (the slot of the pixel
                // holds it, or a later miss's, which that miss replaces in turn).
                if (look_up)
                    cache.put(_mm_loadu_si128(reinterpret_cast<const __m128i *>(&src[x0 + at[m]])),
                              b);
            }
            for (int32_t k = 0; k < aliases; ++k) {
                uint32_t &b = bytes[alias_at[k]];
                b = bytes[at[b & kMissIndex]];
            }
        }
        // Four bytes stored for three: the next pixel's store overwrites the
        // fourth; the chunk's last pixel stores exactly three.
        uint8_t *out = row + 3 * static_cast<int64_t>(x0);
        const int32_t n = x1 - x0;
        for (int32_t i = 0; i < n - 1; ++i, out += 3) {
            if (!(bytes[i] & kPending)) last = bytes[i];
            std::memcpy(out, &last, 4);
        }
        if (!(bytes[n - 1] & kPending)) last = bytes[n - 1];
        std::memcpy(out, &last, 3);
    }
}

// The drawing state a thread keeps from one redraw to the next: its bytes
// cache and the record of whether looking up pays.
struct ThreadCache {
    ViewByteCache bytes;
    kvza::CacheUse use;
};

}  // namespace

void DrawViewRows(const KvzaPixel *pixels, int32_t width, int64_t y0, int64_t y1, uint8_t *bits,
                  int64_t stride, ViewMode mode, const uint8_t back[3]) {
    thread_local ThreadCache state;
    state.bytes.set_look(mode, back);
    // The background floats, held in double for the blend.
    const double bg[3] = {static_cast<float>(back[0]) * kvza::kByteToFloat,
                          static_cast<float>(back[1]) * kvza::kByteToFloat,
                          static_cast<float>(back[2]) * kvza::kByteToFloat};
    const uint32_t back_bytes =
        uint32_t{back[0]} | uint32_t{back[1]} << 8 | uint32_t{back[2]} << 16 | kFilled;
    for (int64_t y = y0; y < y1; ++y) {
        const KvzaPixel *src = pixels + y * width;
        uint8_t *row = bits + y * stride;
        switch (mode) {
            case ViewMode::kZeroIsBack:
                DrawRow<ViewMode::kZeroIsBack>(src, row, width, back_bytes, bg, state.bytes,
                                               state.use);
                break;
            case ViewMode::kBelowOneBack:
                DrawRow<ViewMode::kBelowOneBack>(src, row, width, back_bytes, bg, state.bytes,
                                                 state.use);
                break;
            case ViewMode::kBlend:
                DrawRow<ViewMode::kBlend>(src, row, width, back_bytes, bg, state.bytes, state.use);
                break;
            default:
                DrawRow<ViewMode::kOpaque>(src, row, width, back_bytes, bg, state.bytes, state.use);
                break;
        }
    }
}

}  // namespace kvzaedit
