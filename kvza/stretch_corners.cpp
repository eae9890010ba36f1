// The row walks' column tables, and resampling by rows for the kernels over
// a cell's four corners (Slant, Arc): the source rows of a destination row
// and the source columns of each destination column are resolved through the
// wrap modes once, not for every corner of every pixel.
#include <vector>

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

namespace {

// One band of destination rows of a corner kernel (no work rows).
class CornerBand {
  public:
    CornerBand(const KvzaImage *src, const Columns &cols, CornerKernel kernel)
        : src_(src), cols_(cols), kernel_(kernel) {}

    void row(KvzaPixel *out, double y) const {
        const int32_t iy = cell_of(y);
        const double fy = fraction(y, iy);
        const int64_t top = row_index(src_, iy), bottom = row_index(src_, iy + 1);
        const size_t width = cols_.weight.size();
        for (size_t i = 0; i < width; ++i) {
            const uint32_t l = cols_.first[i], r = cols_.second[i];
            kernel_(out[i], {at(top, l), at(top, r), at(bottom, l), at(bottom, r)}, cols_.weight[i],
                    fy);
        }
    }

  private:
    const KvzaPixel &at(int64_t row, uint32_t slot) const { return source_at(src_, row, slot); }

    const KvzaImage *src_;
    const Columns &cols_;
    CornerKernel kernel_;
};

}  // namespace

bool corner_rows_on_cores(KvzaImage *dst, const KvzaImage *src, const double *xs, const double *ys,
                          CornerKernel kernel) {
    return rows_on_cores(dst, src, xs, ys, right_column,
                         [&](const Columns &cols) { return CornerBand(src, cols, kernel); });
}

}  // namespace kvza
