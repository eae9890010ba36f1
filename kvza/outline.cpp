// Whole-image operations on the alpha boundary and on the channels.
#include "internal.h"

namespace {

constexpr double kDiagonalWeight = 0.58578643762689;  // 2 - sqrt(2)

struct Estimate {
    double c = 0, s = 0, w = 0;
    bool present = false;
};

Estimate mean(const Estimate &p, const Estimate &q) {
    if (!p.present) return q;
    if (!q.present) return p;
    return {(p.c + q.c) * 0.5, (p.s + q.s) * 0.5, (p.w + q.w) * 0.5, true};
}

// Colour a neighbour pair lends: the mean of its visible members.
Estimate pair_estimate(const KvzaPixel *p, const KvzaPixel *q) {
    Estimate a, b;
    if (p->a != 0.0f) a = {p->c, p->s, p->w, true};
    if (q->a != 0.0f) b = {q->c, q->s, q->w, true};
    return mean(a, b);
}

// Gives the fully transparent pixel (x, y) the colour of its visible neighbours.
void fill_from_neighbours(KvzaImage *image, int32_t x, int32_t y, KvzaPixel *pixel) {
    auto at = [image](int32_t px, int32_t py) { return kvza_getpixptr(image, px, py); };
    const Estimate horizontal = pair_estimate(at(x - 1, y), at(x + 1, y));
    const Estimate vertical = pair_estimate(at(x, y - 1), at(x, y + 1));
    const Estimate falling = pair_estimate(at(x - 1, y - 1), at(x + 1, y + 1));
    const Estimate rising = pair_estimate(at(x + 1, y - 1), at(x - 1, y + 1));
    const Estimate o = mean(horizontal, vertical);
    const Estimate d = mean(falling, rising);
    Estimate r;
    if (o.present && d.present) {
        r = {o.c + kDiagonalWeight * (d.c - o.c), o.s + kDiagonalWeight * (d.s - o.s),
             o.w + kDiagonalWeight * (d.w - o.w), true};
    } else {
        r = o.present ? o : d;
    }
    if (!r.present) return;
    pixel->c = static_cast<float>(r.c);
    pixel->s = static_cast<float>(r.s);
    pixel->w = static_cast<float>(r.w);
}

bool is_transparent(float a, float threshold) { return a >= -threshold && a <= threshold; }

}  // namespace

extern "C" {

KVZA_API int32_t kvza_adjustoutline(KvzaImage *image, float threshold, KvzaProgress *progress) {
    if (image == nullptr) return KVZA_FAILED;
    kvza_progress_setup(image, progress);
    const uint64_t n = kvza::pixel_count(image);
    if (threshold > 0.0f) {
        if (progress != nullptr) progress->total *= 2;
        for (uint64_t i = 0; i < n; ++i) {
            if (is_transparent(image->pixels[i].a, threshold)) image->pixels[i].a = 0.0f;
            if (kvza::step(progress)) return KVZA_CANCELED;
        }
    }
    const auto w = static_cast<uint32_t>(image->width);
    const auto h = static_cast<uint32_t>(image->height);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            KvzaPixel *p = &image->pixels[x + static_cast<uint64_t>(y) * w];
            if (p->a == 0.0f)
                fill_from_neighbours(image, static_cast<int32_t>(x), static_cast<int32_t>(y), p);
            if (kvza::step(progress)) return KVZA_CANCELED;
        }
    }
    kvza_progress_final(image, progress);
    return KVZA_OK;
}

KVZA_API int32_t kvza_edgeantialias(KvzaImage *image, float threshold, KvzaProgress *progress) {
    if (image == nullptr) return KVZA_FAILED;
    kvza_progress_setup(image, progress);
    const auto w = static_cast<uint32_t>(image->width);
    const auto h = static_cast<uint32_t>(image->height);
    auto transparent_at = [image, threshold](int64_t px, int64_t py) {
        return is_transparent(
            kvza_getpixptr(image, static_cast<int32_t>(px), static_cast<int32_t>(py))->a,
            threshold);
    };
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            KvzaPixel *p = &image->pixels[x + static_cast<uint64_t>(y) * w];
            if (is_transparent(p->a, threshold)) {
                p->a = 0.0f;
            } else {
                // Neighbours above and to the left are read as already processed.
                const int64_t xi = x, yi = y;
                double d = 1.0;
                if (transparent_at(xi, yi - 1)) d -= 0.125;
                if (transparent_at(xi - 1, yi)) d -= 0.125;
                if (transparent_at(xi + 1, yi)) d -= 0.125;
                if (transparent_at(xi, yi + 1)) d -= 0.125;
                if (transparent_at(xi - 1, yi - 1)) d -= 0.0625;
                if (transparent_at(xi + 1, yi - 1)) d -= 0.0625;
                if (transparent_at(xi - 1, yi + 1)) d -= 0.0625;
                if (transparent_at(xi + 1, yi + 1)) d -= 0.0625;
                if (d < 1.0) p->a = static_cast<float>(p->a * d);
            }
            if (kvza::step(progress)) return KVZA_CANCELED;
        }
    }
    kvza_progress_final(image, progress);
    return KVZA_OK;
}

KVZA_API int32_t kvza_graymap(KvzaImage *image, KvzaProgress *progress) {
    if (image == nullptr) return KVZA_FAILED;
    kvza_progress_setup(image, progress);
    const uint64_t n = kvza::pixel_count(image);
    for (uint64_t i = 0; i < n; ++i) {
        image->pixels[i].c = 0.0f;
        image->pixels[i].s = 0.0f;
        if (kvza::step(progress)) return KVZA_CANCELED;
    }
    kvza_progress_final(image, progress);
    return KVZA_OK;
}

KVZA_API int32_t kvza_alphamap(KvzaImage *image, KvzaProgress *progress) {
    if (image == nullptr) return KVZA_FAILED;
    kvza_progress_setup(image, progress);
    const uint64_t n = kvza::pixel_count(image);
    for (uint64_t i = 0; i < n; ++i) {
        KvzaPixel &p = image->pixels[i];
        p.c = 0.0f;
        p.s = 0.0f;
        p.w = static_cast<float>(2.0 * p.a - 1.0);
        p.a = 1.0f;
        if (kvza::step(progress)) return KVZA_CANCELED;
    }
    kvza_progress_final(image, progress);
    return KVZA_OK;
}

}  // extern "C"
