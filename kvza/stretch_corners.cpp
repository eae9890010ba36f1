// The row walks' column tables, and resampling by rows for the kernels over
// a cell's four corners (Slant, Arc): the source rows of a destination row
// and the source columns of each destination column are resolved through the
// wrap modes once, not for every corner of every pixel.
#include <atomic>
#include <new>
#include <vector>

#include "parallel.h"
#include "stretch_grid.h"

namespace kvza {

Columns columns_of(const KvzaImage *src, const double *xs, uint32_t width,
                   ColumnPair (*pair)(int32_t cell, double f)) {
    Columns t;
    t.weight.resize(width);
    t.first.resize(width);
    t.second.resize(width);
    std::vector<bool> seen(uint64_t{static_cast<uint32_t>(src->width)} + 1);
    for (uint32_t i = 0; i < width; ++i) {
        const int32_t ix = cell_of(xs[i]);
        const ColumnPair p = pair(ix, fraction(xs[i], ix));
        t.weight[i] = p.weight;
        t.first[i] = column_slot(src, ix);
        t.second[i] = column_slot(src, p.second);
        for (const uint32_t s : {t.first[i], t.second[i]}) {
            if (!seen[s]) {
                seen[s] = true;
                t.used.push_back(s);
            }
        }
    }
    return t;
}

bool corner_rows_on_cores(KvzaImage *dst, const KvzaImage *src, const double *xs, const double *ys,
                          CornerKernel kernel) {
    const auto width = static_cast<uint32_t>(dst->width);
    const auto height = static_cast<uint32_t>(dst->height);
    if (width == 0 || height == 0 || src->width <= 0 || src->height <= 0) return false;
    Columns cols;
    try {
        cols = columns_of(src, xs, width, right_column);
    } catch (const std::bad_alloc &) {
        return false;
    }
    const auto border_slot = static_cast<uint32_t>(src->width);
    auto at = [&](int64_t row, uint32_t slot) -> const KvzaPixel & {
        if (row == kOutside || slot == border_slot) return src->border;
        return src->pixels[static_cast<uint64_t>(row) * border_slot + slot];
    };
    run_parts(
        height,
        [&](uint64_t first, uint64_t last) {
            for (uint64_t j = first; j < last; ++j) {
                const int32_t iy = cell_of(ys[j]);
                const double fy = fraction(ys[j], iy);
                const int64_t top = row_index(src, iy), bottom = row_index(src, iy + 1);
                KvzaPixel *out = dst->pixels + j * width;
                for (uint32_t i = 0; i < width; ++i) {
                    const uint32_t l = cols.first[i], r = cols.second[i];
                    kernel(out[i], {at(top, l), at(top, r), at(bottom, l), at(bottom, r)},
                           cols.weight[i], fy);
                }
            }
        },
        kParallelMin / width + 1);
    return true;
}

}  // namespace kvza
