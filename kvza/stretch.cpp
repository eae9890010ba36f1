// Resampling of one image into another of any size: nearest pixel (Near),
// bilinear with both axis orders (Line), two triangles seen from opposite
// corners (Slant), weights falling with distance (Arc) and an edge-directed
// choice by which neighbours look alike (Shape).
//
// Every mode walks the destination row by row. Source coordinates are
// running sums that start at the mode's origin and grow by the step
// (src size - 1) / (dst size - 1) after each pixel or row; source positions
// outside the image resolve through the source's wrap modes. Colours are
// mixed with the two-point rule of kvza_interp, so a fully transparent
// source pixel never lends its colour to a visible result.
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "internal.h"
#include "parallel.h"
#include "stretch_grid.h"

namespace {

using kvza::blend;
using kvza::Cell;
using kvza::cell;
using kvza::cell_of;
using kvza::Corners;
using kvza::corners;
using kvza::grid_step;
using kvza::mix;

// A mode's walk over whole rows, given the positions of the destination's
// columns and rows; false when it cannot run (the pixel walk then does).
using RowWalk = bool (*)(KvzaImage *dst, const KvzaImage *src, const double *xs, const double *ys);

// Without a progress record: the rows on all cores. Each pixel gets the
// source position the one-thread walk reaches it with (positions summed step
// by step from the origin), so the pixels are the same. False when the
// position tables cannot be made.
template <typename Kernel>
bool walk_on_cores(KvzaImage *dst, const KvzaImage *src, double origin, double sx, double sy,
                   const Kernel &kernel, RowWalk rows) {
    const auto width = static_cast<uint32_t>(dst->width);
    const auto height = static_cast<uint32_t>(dst->height);
    std::vector<double> xs, ys;
    try {
        xs.resize(width);
        ys.resize(height);
    } catch (const std::bad_alloc &) {
        return false;
    }
    double v = origin;
    for (uint32_t i = 0; i < width; ++i, v += sx) xs[i] = v;
    v = origin;
    for (uint32_t j = 0; j < height; ++j, v += sy) ys[j] = v;
    if (rows != nullptr && rows(dst, src, xs.data(), ys.data())) return true;
    kvza::run_parts(
        height,
        [&](uint64_t first, uint64_t last) {
            for (uint64_t j = first; j < last; ++j) {
                KvzaPixel *out = dst->pixels + j * width;
                for (uint32_t i = 0; i < width; ++i) kernel(out[i], xs[i], ys[j]);
            }
        },
        width == 0 ? kvza::kParallelMin : kvza::kParallelMin / width + 1);
    return true;
}

// Walks every destination pixel with its source position (x, y); kernel
// writes the pixel. One progress step per pixel; a stop request ends the
// walk at once and leaves what was written.
template <typename Kernel>
int32_t walk(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress, double origin,
             Kernel kernel, RowWalk rows = nullptr) {
    if (dst == nullptr || src == nullptr) return KVZA_FAILED;
    const auto width = static_cast<uint32_t>(dst->width);
    const auto height = static_cast<uint32_t>(dst->height);
    const double sx = grid_step(src->width, dst->width);
    const double sy = grid_step(src->height, dst->height);
    if (progress == nullptr && walk_on_cores(dst, src, origin, sx, sy, kernel, rows))
        return KVZA_OK;
    kvza_progress_setup(dst, progress);
    KvzaPixel *out = dst->pixels;
    double y = origin;
    for (uint32_t j = 0; j < height; ++j) {
        double x = origin;
        for (uint32_t i = 0; i < width; ++i, ++out) {
            kernel(*out, x, y);
            x += sx;
            if (kvza::step(progress)) return KVZA_CANCELED;
        }
        y += sy;
    }
    kvza_progress_final(dst, progress);
    return KVZA_OK;
}

// Tolerance below which a fraction counts as lying on the cell's edge.
constexpr double kSlantEdge = 1e-9;

// The cell cut into two triangles along the diagonal through the top-left
// corner (estimate U) and along the one through the top-right corner
// (estimate V); each estimate interpolates inside the triangle holding the
// point, the two are blended.
inline KvzaPixel slant_kernel(const Corners &p, double fx, double fy) {
    KvzaPixel u;
    if (fx < kSlantEdge) {
        u = mix(p.tl, p.bl, fy);
    } else if (fy < kSlantEdge) {
        u = mix(p.tl, p.tr, fx);
    } else if (fx < fy) {
        u = mix(p.tl, mix(p.bl, p.br, fx), fy);
    } else {
        u = mix(p.tl, mix(p.tr, p.br, fy), fx);
    }
    const double g = 1.0 - fx;
    KvzaPixel v;
    if (g < kSlantEdge) {
        v = mix(p.tr, p.br, fy);
    } else if (fy < kSlantEdge) {
        v = mix(p.tr, p.tl, g);
    } else if (g == fy) {
        v = mix(p.tr, p.bl, g);
    } else if (g < fy) {
        v = mix(p.tr, mix(p.br, p.bl, g), fy);
    } else {
        v = mix(p.tr, mix(p.tl, p.bl, fy), g);
    }
    return blend(u, v);
}

// Weight of a corner at distance sqrt(dx^2 + dy^2): 1 - distance, never
// below 0.
inline double arc_weight(double dx, double dy) {
    const double w = 1.0 - std::sqrt(dx * dx + dy * dy);
    return w > 0.0 ? w : 0.0;
}

// Mixes two optional estimates a (weight sa) and b (weight sb): a mix when
// both exist, else the one that exists. Returns false when neither does.
inline bool mix_present(KvzaPixel &out, const KvzaPixel &a, bool has_a, double sa,
                        const KvzaPixel &b, bool has_b, double sb) {
    if (has_a && has_b) {
        out = mix(a, b, sb / (sb + sa));
    } else if (has_a) {
        out = a;
    } else if (has_b) {
        out = b;
    } else {
        return false;
    }
    return true;
}

// Corner weights falling with Euclidean distance: the four edges of the cell
// give estimates, the horizontal pair and the vertical pair each give one,
// and these two are blended. A pixel with no estimate keeps its value.
inline void arc_kernel(KvzaPixel &out, const Corners &p, double fx, double fy) {
    const double gx = 1.0 - fx;
    const double gy = 1.0 - fy;
    const double wtl = arc_weight(fx, fy);
    const double wtr = arc_weight(gx, fy);
    const double wbl = arc_weight(fx, gy);
    const double wbr = arc_weight(gx, gy);

    const double st = wtl + wtr;  // top edge
    const double sb = wbl + wbr;  // bottom edge
    const double sl = wtl + wbl;  // left edge
    const double sr = wtr + wbr;  // right edge
    KvzaPixel top{}, bottom{}, left{}, right{};
    if (st > 0.0) top = mix(p.tl, p.tr, wtr / st);
    if (sb > 0.0) bottom = mix(p.bl, p.br, wbr / sb);
    if (sl > 0.0) left = mix(p.tl, p.bl, wbl / sl);
    if (sr > 0.0) right = mix(p.tr, p.br, wbr / sr);

    KvzaPixel e1{}, e2{};
    const bool has1 = mix_present(e1, top, st > 0.0, st, bottom, sb > 0.0, sb);
    const bool has2 = mix_present(e2, left, sl > 0.0, sl, right, sr > 0.0, sr);
    if (has1 && has2) {
        out = blend(e1, e2);
    } else if (has1) {
        out = e1;
    } else if (has2) {
        out = e2;
    }
}

// The Slant and Arc kernels out of line: the pixel walks and the row walk
// run the same instructions, so they agree bit for bit also where NaNs meet
// (which NaN a sum passes on depends on the operand order compiled).
__attribute__((noinline)) void slant_cell(KvzaPixel &out, const Corners &p, double fx, double fy) {
    out = slant_kernel(p, fx, fy);
}

__attribute__((noinline)) void arc_cell(KvzaPixel &out, const Corners &p, double fx, double fy) {
    arc_kernel(out, p, fx, fy);
}

// The walk of a corner kernel: pixel by pixel with a progress record, by
// rows on all cores without one.
template <kvza::CornerKernel kernel>
int32_t corner_walk(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress) {
    return walk(
        dst, src, progress, 0.0,
        [src](KvzaPixel &out, double x, double y) {
            const Cell k = cell(x, y);
            kernel(out, corners(src, k), k.fx, k.fy);
        },
        [](KvzaImage *d, const KvzaImage *s, const double *xs, const double *ys) {
            return kvza::corner_rows_on_cores(d, s, xs, ys, kernel);
        });
}

}  // namespace

extern "C" {

KVZA_API int32_t kvza_stretch_near(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress) {
    return walk(dst, src, progress, 0.5, [src](KvzaPixel &out, double x, double y) {
        out = *kvza::getpix(src, cell_of(x), cell_of(y));
    });
}

KVZA_API int32_t kvza_stretch_line(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress) {
    return walk(
        dst, src, progress, 0.0,
        [src](KvzaPixel &out, double x, double y) { out = kvza::line_pixel(src, x, y); },
        kvza::line_rows_on_cores);
}

KVZA_API int32_t kvza_stretch_slant(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress) {
    return corner_walk<slant_cell>(dst, src, progress);
}

KVZA_API int32_t kvza_stretch_arc(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress) {
    return corner_walk<arc_cell>(dst, src, progress);
}

KVZA_API int32_t kvza_stretch_shape(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress) {
    return walk(
        dst, src, progress, 0.5,
        [src](KvzaPixel &out, double x, double y) { out = kvza::shape_pixel(src, x, y); },
        kvza::shape_rows_on_cores);
}

}  // extern "C"
