// Pixel addressing through wrap modes, fill, rectangle copy, clipping and the
// progress protocol.
#include <algorithm>
#include <cmath>

#include "clip_inline.h"
#include "internal.h"

namespace {

// Resolves coordinate v on an axis of n pixels; sets outside under Border.
uint32_t resolve(int32_t v, uint32_t n, uint8_t mode, bool &outside) {
    switch (mode) {
        case KVZA_WRAP_WRAP:
            if (v < 0) {
                const uint32_t m = static_cast<uint32_t>(-static_cast<int64_t>(v)) % n;
                return (n - m) % n;
            }
            return static_cast<uint32_t>(v) % n;
        case KVZA_WRAP_MIRROR: {
            const uint32_t u =
                v < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(v)) : static_cast<uint32_t>(v);
            const uint32_t q = u / n;
            return (q & 1U) != 0 ? n - (u % n) - 1 : u % n;
        }
        case KVZA_WRAP_BORDER:
            if (v < 0 || static_cast<uint32_t>(v) >= n) {
                outside = true;
                return 0;
            }
            return static_cast<uint32_t>(v);
        default:
            if (v < 0) return 0;
            if (static_cast<uint32_t>(v) >= n) return n - 1;
            return static_cast<uint32_t>(v);
    }
}

}  // namespace

extern "C" {

KVZA_API KvzaPixel *kvza_getpixptr(KvzaImage *image, int32_t x, int32_t y) {
    const auto w = static_cast<uint32_t>(image->width);
    const auto h = static_cast<uint32_t>(image->height);
    // An empty axis has no pixel to resolve to; the border is the only safe answer.
    if (w == 0 || h == 0) return &image->border;
    bool outside = false;
    const uint32_t rx = resolve(x, w, image->wrapx, outside);
    const uint32_t ry = resolve(y, h, image->wrapy, outside);
    if (outside) return &image->border;
    return &image->pixels[rx + static_cast<uint64_t>(ry) * w];
}

KVZA_API int32_t kvza_clr(KvzaImage *image, const KvzaPixel *colour, KvzaProgress *progress) {
    if (image == nullptr || colour == nullptr) return KVZA_FAILED;
    const KvzaPixel fill = *colour;
    kvza_progress_setup(image, progress);
    const uint64_t n = kvza::pixel_count(image);
    for (uint64_t i = 0; i < n; ++i) {
        image->pixels[i] = fill;
        if (kvza::step(progress)) return KVZA_CANCELED;
    }
    kvza_progress_final(image, progress);
    return KVZA_OK;
}

KVZA_API int32_t kvza_copy(KvzaImage *dst, int32_t dx, int32_t dy, const KvzaImage *src, int32_t sx,
                           int32_t sy, int32_t width, int32_t height, int32_t mode, float factor,
                           KvzaProgress *progress) {
    if (dst == nullptr || src == nullptr) return KVZA_FAILED;
    const int32_t w = width > 0 ? width : 0;
    const int32_t h = height > 0 ? height : 0;
    kvza_progress_setup(dst, progress);
    if (progress != nullptr) progress->total = static_cast<uint32_t>(w) * static_cast<uint32_t>(h);
    // Walk away from the overlap so a shifted copy inside one image reads
    // every source pixel before it is overwritten.
    const bool rows_up = dy > sy;
    const bool cols_back = dx > sx;
    for (int32_t jj = 0; jj < h; ++jj) {
        const int32_t j = rows_up ? h - 1 - jj : jj;
        for (int32_t ii = 0; ii < w; ++ii) {
            const int32_t i = cols_back ? w - 1 - ii : ii;
            const KvzaPixel s = *kvza::getpix(src, sx + i, sy + j);
            KvzaPixel *d = kvza_getpixptr(dst, dx + i, dy + j);
            if (mode == 0) {
                *d = s;
            } else if (mode == 1) {
                const double t = static_cast<double>(s.a) * factor;
                kvza_interp(d, d, &s, t);
                d->a = static_cast<float>(t);
            }
            if (kvza::step(progress)) return KVZA_CANCELED;
        }
    }
    kvza_progress_final(dst, progress);
    return KVZA_OK;
}

KVZA_API void kvza_cliprgba(KvzaPixel *dst, const KvzaPixel *src) {
    if (dst == nullptr || src == nullptr) return;
    *dst = kvza::clip_rgba(*src);
}

KVZA_API void kvza_clipkvza(KvzaPixel *dst, const KvzaPixel *src) {
    if (dst == nullptr || src == nullptr) return;
    KvzaPixel p = *src;
    const double d = static_cast<double>(p.c) * p.c + static_cast<double>(p.s) * p.s +
                     static_cast<double>(p.w) * p.w;
    if (d > 1.0) {
        const double k = 1.0 / std::sqrt(d);
        p.c = static_cast<float>(p.c * k);
        p.s = static_cast<float>(p.s * k);
        p.w = static_cast<float>(p.w * k);
    }
    if (p.a > 1.0f) p.a = 1.0f;
    if (p.a <= -1.0f) p.a = -1.0f;
    *dst = p;
}

KVZA_API void kvza_progress_setup(const KvzaImage *image, KvzaProgress *progress) {
    if (progress == nullptr) return;
    progress->count = 0;
    progress->done = 0;
    progress->total = image != nullptr ? static_cast<uint32_t>(image->width) *
                                             static_cast<uint32_t>(image->height)
                                       : 0;
}

KVZA_API int32_t kvza_progress_count(const KvzaImage * /*image*/, KvzaProgress *progress) {
    if (progress == nullptr) return 0;
    if (progress->done < progress->total) ++progress->done;
    ++progress->count;
    if (progress->count <= progress->interval) return 0;
    if (progress->callback == nullptr) {
        progress->count = 0;
        return 0;
    }
    // The callback still sees the count that made it run.
    const int32_t result = progress->callback(progress->userdata, progress->done, progress->total);
    progress->count = 0;
    return result;
}

KVZA_API uint64_t kvza_progress_quiet(const KvzaProgress *progress) {
    if (progress == nullptr || progress->callback == nullptr) return UINT64_MAX;
    // Steps that leave count at or below interval run nothing.
    if (progress->count >= progress->interval) return 0;
    return uint64_t{progress->interval} - progress->count;
}

namespace {

// n steps of done, which stops at total.
void advance_done(KvzaProgress *progress, uint64_t n) {
    const uint64_t room =
        progress->done < progress->total ? uint64_t{progress->total} - progress->done : 0;
    progress->done += static_cast<uint32_t>(std::min(n, room));
}

}  // namespace

KVZA_API int32_t kvza_progress_count_n(const KvzaImage *image, KvzaProgress *progress, uint64_t n) {
    if (progress == nullptr) return 0;
    if (progress->callback == nullptr) {
        // Without a callback the count only cycles through 0 .. interval.
        advance_done(progress, n);
        const uint64_t cycle = uint64_t{progress->interval} + 1;
        uint64_t count = progress->count;
        if (count > progress->interval && n > 0) {  // the next step resets it
            count = 0;
            --n;
        }
        progress->count = static_cast<uint32_t>((count + n) % cycle);
        return 0;
    }
    while (n > 0) {
        // The quiet steps in one go, then one step that may run the callback.
        const uint64_t quiet = std::min(n, kvza_progress_quiet(progress));
        if (quiet > 0) {
            advance_done(progress, quiet);
            progress->count += static_cast<uint32_t>(quiet);
            n -= quiet;
            continue;
        }
        --n;
        if (const int32_t answer = kvza_progress_count(image, progress); answer != 0) return answer;
    }
    return 0;
}

KVZA_API void kvza_progress_final(const KvzaImage * /*image*/, KvzaProgress *progress) {
    if (progress == nullptr || progress->callback == nullptr) return;
    progress->callback(progress->userdata, progress->total, progress->total);
}

}  // extern "C"
