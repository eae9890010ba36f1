// The sampling grid shared by the resampling walks: the step between
// destination pixels in source units, a source position split into cell and
// fraction, the four corners of a cell read through the wrap modes, and the
// bilinear kernel.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "internal.h"
#include "parallel.h"

namespace kvza {

// Step between neighbouring destination pixels in source units. The source
// difference is unsigned (an empty source axis gives a huge step that the
// cell saturation below absorbs); a destination of 0 or 1 pixels uses
// position 0 only.
inline double grid_step(int32_t src_size, int32_t dst_size) {
    const int64_t span = static_cast<int64_t>(dst_size) - 1;
    if (span <= 0) return 0.0;
    return static_cast<double>(static_cast<uint32_t>(src_size) - 1U) / static_cast<double>(span);
}

// Largest cell index handed out, so that the neighbours index + 1 and
// index - 1 still fit the 32-bit coordinates of pixel access.
constexpr double kMaxCell = 2147483646.0;

// floor(v) as a pixel coordinate, saturated to +-kMaxCell.
inline int32_t cell_of(double v) {
    if (v >= 0.0) return static_cast<int32_t>(v < kMaxCell ? v : kMaxCell);
    const double f = std::floor(v);
    return static_cast<int32_t>(f > -kMaxCell ? f : -kMaxCell);
}

// Position inside a cell, limited to 0 .. 1.
inline double fraction(double v, int32_t cell) {
    const double f = v - cell;
    if (!(f > 0.0)) return 0.0;
    return f < 1.0 ? f : 1.0;
}

// Source coordinates of one destination pixel split into cell and fraction.
struct Cell {
    int32_t ix, iy;
    double fx, fy;
};

inline Cell cell(double x, double y) {
    Cell k;
    k.ix = cell_of(x);
    k.iy = cell_of(y);
    k.fx = fraction(x, k.ix);
    k.fy = fraction(y, k.iy);
    return k;
}

// Source access of the row walks, after the wrap modes: a row index, or
// kOutside for a row that reads the border; a column slot, the column index
// or the source width for a column that reads the border. Resolving through
// the pixel access keeps one rule for the wrap modes.
constexpr int64_t kOutside = -1;

inline int64_t row_index(const KvzaImage *src, int32_t y) {
    const KvzaPixel *p = getpix(src, 0, y);
    return p == &src->border ? kOutside : (p - src->pixels) / src->width;
}

inline uint32_t column_slot(const KvzaImage *src, int32_t x) {
    const KvzaPixel *p = getpix(src, x, 0);
    return p == &src->border ? static_cast<uint32_t>(src->width)
                             : static_cast<uint32_t>(p - src->pixels);
}

// The source pixel at a row index and column slot (the border for either
// outside).
inline const KvzaPixel &source_at(const KvzaImage *src, int64_t row, uint32_t slot) {
    const auto width = static_cast<uint32_t>(src->width);
    if (row == kOutside || slot == width) return src->border;
    return src->pixels[static_cast<uint64_t>(row) * width + slot];
}

// Per destination column of a row walk: a weight and the slots of the two
// source columns it reads (see column_slot), and every slot some column
// reads, once.
struct Columns {
    std::vector<double> weight;
    std::vector<uint32_t> first, second;
    std::vector<uint32_t> used;
};

// For a column whose position lies in cell `cell` at fraction f: the cell of
// the second source column it reads and the column's weight.
struct ColumnPair {
    int32_t second;
    double weight;
};

// The pairing of the corner kernels: the cell's right neighbour, weighted by
// the fraction.
inline ColumnPair right_column(int32_t cell, double f) {
    return {cell + 1, f};
}

// The columns of a walk at positions xs; may throw std::bad_alloc.
Columns columns_of(const KvzaImage *src, const double *xs, uint32_t width,
                   ColumnPair (*pair)(int32_t cell, double f));

// The four corners of a cell, each read through the wrap modes.
struct Corners {
    KvzaPixel tl, tr, bl, br;
};

inline Corners corners(const KvzaImage *src, const Cell &k) {
    return {*getpix(src, k.ix, k.iy), *getpix(src, k.ix + 1, k.iy), *getpix(src, k.ix, k.iy + 1),
            *getpix(src, k.ix + 1, k.iy + 1)};
}

// Bilinear: horizontal-first and vertical-first estimates, blended. They
// differ only next to transparent corners, whose colour each order drops.
inline KvzaPixel line_kernel(const Corners &p, double fx, double fy) {
    const KvzaPixel e1 = mix(mix(p.tl, p.tr, fx), mix(p.bl, p.br, fx), fy);
    const KvzaPixel e2 = mix(mix(p.tl, p.bl, fy), mix(p.tr, p.br, fy), fx);
    return blend(e1, e2);
}

// Resampling of src into dst by rows on all cores: the column tables of
// pair once, then for each range of rows a band made by make_band(columns)
// (its work rows) whose row(out, y) writes the destination row at source
// row position y. False when the tables or a band cannot be made; the caller
// then walks every pixel.
template <class MakeBand>
bool rows_on_cores(KvzaImage *dst, const KvzaImage *src, const double *xs, const double *ys,
                   ColumnPair (*pair)(int32_t cell, double f), const MakeBand &make_band) {
    const auto width = static_cast<uint32_t>(dst->width);
    const auto height = static_cast<uint32_t>(dst->height);
    if (width == 0 || height == 0 || src->width <= 0 || src->height <= 0) return false;
    Columns cols;
    try {
        cols = columns_of(src, xs, width, pair);
    } catch (const std::bad_alloc &) {
        return false;
    }
    std::atomic<bool> failed{false};
    run_parts(
        height,
        [&](uint64_t first, uint64_t last) {
            try {
                auto band = make_band(static_cast<const Columns &>(cols));
                for (uint64_t j = first; j < last; ++j) band.row(dst->pixels + j * width, ys[j]);
            } catch (const std::bad_alloc &) {
                failed = true;
            }
        },
        kParallelMin / width + 1);
    return !failed;
}

// A kernel over a cell's four corners at fractions (fx, fy); it may leave
// out as it was (Arc, where no corner has weight).
using CornerKernel = void (*)(KvzaPixel &out, const Corners &p, double fx, double fy);

// Resampling of src into dst by rows on all cores with kernel, the corners
// read without the per-pixel wrap lookup: the pixels of the one-thread walk
// at positions xs and ys when that walk calls the same (out-of-line) kernel.
// False when the work tables cannot be made; the caller then walks every
// pixel.
bool corner_rows_on_cores(KvzaImage *dst, const KvzaImage *src, const double *xs, const double *ys,
                          CornerKernel kernel);

// One pixel of the bilinear kernel at source position (x, y). Out of line,
// so every walk that needs it runs the same instructions: where NaNs meet,
// which one a sum passes on depends on the operand order the compiler chose.
KvzaPixel line_pixel(const KvzaImage *src, double x, double y);

// Bilinear resampling of src into dst by rows on all cores, each mix of the
// one-pixel kernel computed once where neighbouring pixels share it: the
// pixels are those of line_kernel at the positions the one-thread walk
// reaches (xs and ys, one per destination column and row). False when its
// work tables cannot be made; the caller then walks every pixel.
bool line_rows_on_cores(KvzaImage *dst, const KvzaImage *src, const double *xs, const double *ys);

// One pixel of the edge-directed resampling (Shape) at source position
// (x, y), and the same for whole rows on all cores with the probes of a
// source row made once; as for Line.
KvzaPixel shape_pixel(const KvzaImage *src, double x, double y);
bool shape_rows_on_cores(KvzaImage *dst, const KvzaImage *src, const double *xs, const double *ys);

}  // namespace kvza
