// Bilinear resampling by rows. The one-pixel kernel mixes the four corners
// of a cell along each axis first and blends the two estimates:
//   e1 = mix(mix(tl, tr, fx), mix(bl, br, fx), fy)
//   e2 = mix(mix(tl, bl, fy), mix(tr, br, fy), fx)
// The horizontal mixes of a destination column depend only on the source row
// and the column, so a source row's mixes serve every destination row that
// reads it; the vertical mixes of a destination row depend only on the
// source column, so each is made once per row. Each mix has the same inputs
// as in the one-pixel kernel, so every pixel is the same; a pixel with a NaN
// is made again by the one-pixel kernel, which decides which NaN it keeps.
#include <vector>

#include "stretch_grid.h"

namespace kvza {

namespace {

inline bool has_nan(const KvzaPixel &p) {
    return p.c != p.c || p.s != p.s || p.w != p.w || p.a != p.a;
}

// One band of destination rows with its work rows.
class Band {
  public:
    Band(const KvzaImage *src, const Columns &cols, const double *xs)
        : src_(src), cols_(cols), xs_(xs) {
        const size_t width = cols.weight.size();
        for (Mixed &h : across_) h.pixels.resize(width);
        down_.resize(size_t{static_cast<uint32_t>(src->width)} +
                     1);  // a slot per column and the border
    }

    // Destination row out at source position y.
    void row(KvzaPixel *out, double y) {
        const int32_t iy = cell_of(y);
        const double fy = fraction(y, iy);
        const int64_t top = row_index(src_, iy), bottom = row_index(src_, iy + 1);
        const Mixed &upper = across(top, nullptr);
        const Mixed &lower = across(bottom, &upper);
        for (const uint32_t s : cols_.used) down_[s] = mix(at(top, s), at(bottom, s), fy);
        const size_t width = cols_.weight.size();
        for (size_t i = 0; i < width; ++i) {
            const KvzaPixel e1 = mix(upper.pixels[i], lower.pixels[i], fy);
            const KvzaPixel e2 =
                mix(down_[cols_.first[i]], down_[cols_.second[i]], cols_.weight[i]);
            out[i] = blend(e1, e2);
            if (has_nan(out[i])) out[i] = line_pixel(src_, xs_[i], y);
        }
    }

  private:
    // The horizontal mixes of one source row for every destination column.
    struct Mixed {
        int64_t row = kOutside - 1;  // none yet
        std::vector<KvzaPixel> pixels;
    };

    const KvzaPixel &at(int64_t row, uint32_t slot) const { return source_at(src_, row, slot); }

    // The mixes of source row `row`, made unless held; `keep` stays.
    const Mixed &across(int64_t row, const Mixed *keep) {
        for (const Mixed &h : across_)
            if (h.row == row) return h;
        Mixed &h = &across_[0] == keep ? across_[1] : across_[0];
        h.row = row;
        const size_t width = cols_.weight.size();
        for (size_t i = 0; i < width; ++i)
            h.pixels[i] = mix(at(row, cols_.first[i]), at(row, cols_.second[i]), cols_.weight[i]);
        return h;
    }

    const KvzaImage *src_;
    const Columns &cols_;
    const double *xs_;
    Mixed across_[2];
    std::vector<KvzaPixel> down_;  // vertical mixes by slot
};

}  // namespace

__attribute__((noinline)) KvzaPixel line_pixel(const KvzaImage *src, double x, double y) {
    const Cell k = cell(x, y);
    return line_kernel(corners(src, k), k.fx, k.fy);
}

bool line_rows_on_cores(KvzaImage *dst, const KvzaImage *src, const double *xs, const double *ys) {
    return rows_on_cores(dst, src, xs, ys, right_column,
                         [&](const Columns &cols) { return Band(src, cols, xs); });
}

}  // namespace kvza
