// Edge-directed resampling (Shape): around the source pixel P0 nearest the
// position, with its vertical (PV), horizontal (PH) and diagonal (PD)
// neighbours towards the position, which of them look alike picks the
// interpolation: across a detected edge only the pixels on the position's
// side are mixed.
//
// The rows walk keeps the probes (a pixel with its chroma) of the source
// rows it reads, so a source pixel's chroma is worked out once per row
// instead of once for every destination pixel around it; the choice and the
// mixing are one out-of-line function that every walk runs, so every pixel
// is the same bit for bit, also where NaNs meet.
#include <cmath>
#include <vector>

#include "stretch_grid.h"

namespace kvza {

namespace {

// Two pixels look alike when alpha, whiteness, chroma and hue each differ by
// less than this (hue in turns).
constexpr float kAlike = 0.03f;

// A pixel with its chroma.
struct Probe {
    KvzaPixel p;
    float chroma;
};

inline Probe probe_of(const KvzaPixel &p) {
    Probe r;
    r.p = p;
    // The arithmetic of kvza_getpixchroma.
    const double c = r.p.c, s = r.p.s;
    r.chroma = static_cast<float>(std::sqrt(c * c + s * s));
    return r;
}

// Tangents of hue differences just inside and just outside the alikeness
// limit (0.03 turn, widened and narrowed by 1e-4 of itself); far wider than
// any rounding of the angle.
const double kHueTanInside = std::tan(6.283185307179586 * 0.03 * (1.0 - 1e-4));
const double kHueTanOutside = std::tan(6.283185307179586 * 0.03 * (1.0 + 1e-4));

// |kvza_subhue(p, q)| < kAlike. Two hue vectors whose angle is clearly
// inside or outside the limit are told apart by the tangent of the angle
// (cross over dot product), without the arc tangent; only angles within
// 1e-4 of the limit, or more than a quarter turn apart, take the exact way.
inline bool hue_alike(const KvzaPixel &p, const KvzaPixel &q) {
    if ((p.c == 0.0f && p.s == 0.0f) || (q.c == 0.0f && q.s == 0.0f)) return true;  // grey
    const double pc = p.c, ps = p.s, qc = q.c, qs = q.s;
    const double cross = std::fabs(ps * qc - pc * qs);
    const double dot = pc * qc + ps * qs;
    if (dot > 0.0) {
        if (cross < dot * kHueTanInside) return true;
        if (cross > dot * kHueTanOutside) return false;
    }
    return std::fabs(kvza_subhue(&p, &q)) < kAlike;
}

// Alikeness test; the hue, the costly part, is compared last.
inline bool alike(const Probe &a, const Probe &b) {
    if (!(std::fabs(a.p.a - b.p.a) < kAlike)) return false;
    if (!(std::fabs(a.p.w - b.p.w) < kAlike)) return false;
    if (!(std::fabs(a.chroma - b.chroma) < kAlike)) return false;
    return hue_alike(a.p, b.p);
}

// Edge-directed interpolation around the pixel P0 nearest the position, with
// its vertical (PV), horizontal (PH) and diagonal (PD) neighbours towards the
// position. Which of them look alike picks the interpolation: across a
// detected edge only the pixels on the position's side are mixed.
// The neighbour of a cell's pixel towards the position, and the weight of
// the position's distance past the pixel's centre, on one axis.
struct Toward {
    int32_t next;
    double weight;
};

inline Toward toward(int32_t cell, double f) {
    if (f >= 0.5) return {cell + 1, f - 0.5};
    return {cell - 1, 0.5 - f};
}

// The interpolation picked by which of the four probes look alike.
__attribute__((noinline)) KvzaPixel shape_mix(const Probe &p0, const Probe &pv, const Probe &ph,
                                              const Probe &pd, double wx, double wy) {
    int cls = (alike(p0, pv) ? 1 : 0) | (alike(p0, ph) ? 2 : 0) | (alike(p0, pd) ? 4 : 0);
    if (cls == 0) {
        if (alike(pv, ph)) {
            cls = 3;
        } else if (alike(pv, pd)) {
            cls = 2;
        } else if (alike(ph, pd)) {
            cls = 1;
        }
    }

    const KvzaPixel &c0 = p0.p, &cv = pv.p, &ch = ph.p, &cd = pd.p;
    switch (cls) {
        case 1:
            return mix(mix(c0, cv, wy), mix(ch, cd, wy), wx);
        case 2:
            return mix(mix(c0, ch, wx), mix(cv, cd, wx), wy);
        case 3: {
            const KvzaPixel m = mix(cv, ch, wx);
            const double t = wx + wy;
            return t >= 1.0 ? mix(m, cd, t - 1.0) : mix(c0, m, t);
        }
        case 4:
        case 5:
        case 6: {
            const KvzaPixel m = mix(c0, cd, (wx + wy) * 0.5);
            return wx < wy ? mix(m, cv, std::fabs(wx - wy)) : mix(m, ch, std::fabs(wx - wy));
        }
        default: {  // 0 and 7
            const KvzaPixel e1 = mix(mix(c0, cv, wy), mix(ch, cd, wy), wx);
            const KvzaPixel e2 = mix(mix(c0, ch, wx), mix(cv, cd, wx), wy);
            return blend(e1, e2);
        }
    }
}

// The second column of a Shape cell is the neighbour towards the position.
ColumnPair toward_column(int32_t cell, double f) {
    const Toward n = toward(cell, f);
    return {n.next, n.weight};
}

// One band of destination rows with the probes of the source rows it reads.
class ShapeBand {
  public:
    ShapeBand(const KvzaImage *src, const Columns &cols) : src_(src), cols_(cols) {
        // A slot per source column and the border.
        for (ProbeRow &r : rows_) r.probes.resize(size_t{static_cast<uint32_t>(src->width)} + 1);
    }

    void row(KvzaPixel *out, double y) {
        const int32_t iy = cell_of(y);
        const Toward n = toward(iy, fraction(y, iy));
        const ProbeRow &own = probes(row_index(src_, iy), nullptr);
        const ProbeRow &next = probes(row_index(src_, n.next), &own);
        const size_t width = cols_.weight.size();
        for (size_t i = 0; i < width; ++i) {
            const uint32_t a = cols_.first[i], b = cols_.second[i];
            out[i] = shape_mix(own.probes[a], next.probes[a], own.probes[b], next.probes[b],
                               cols_.weight[i], n.weight);
        }
    }

  private:
    struct ProbeRow {
        int64_t row = kOutside - 1;  // none yet
        std::vector<Probe> probes;   // by slot; only the used slots are made
    };

    // The probes of source row `row`, made unless held; `keep` stays.
    const ProbeRow &probes(int64_t row, const ProbeRow *keep) {
        for (const ProbeRow &r : rows_)
            if (r.row == row) return r;
        ProbeRow *victim = nullptr;
        for (ProbeRow &r : rows_) {
            if (&r == keep || &r == last_) continue;
            victim = &r;
            break;
        }
        victim->row = row;
        for (const uint32_t s : cols_.used) victim->probes[s] = probe_of(source_at(src_, row, s));
        last_ = victim;
        return *victim;
    }

    const KvzaImage *src_;
    const Columns &cols_;
    ProbeRow rows_[3];
    const ProbeRow *last_ = nullptr;  // made last: the next row likely reads it again
};

}  // namespace

KvzaPixel shape_pixel(const KvzaImage *src, double x, double y) {
    const Cell k = cell(x, y);
    const Toward nx = toward(k.ix, k.fx), ny = toward(k.iy, k.fy);
    return shape_mix(probe_of(*getpix(src, k.ix, k.iy)), probe_of(*getpix(src, k.ix, ny.next)),
                     probe_of(*getpix(src, nx.next, k.iy)),
                     probe_of(*getpix(src, nx.next, ny.next)), nx.weight, ny.weight);
}

bool shape_rows_on_cores(KvzaImage *dst, const KvzaImage *src, const double *xs, const double *ys) {
    return rows_on_cores(dst, src, xs, ys, toward_column,
                         [&](const Columns &cols) { return ShapeBand(src, cols); });
}

}  // namespace kvza
