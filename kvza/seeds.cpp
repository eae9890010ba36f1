// Seed palettes of the colour clustering: greys and rings of hues at a few
// whiteness levels, opaque, half transparent and transparent.
#include "seeds.h"

#include <cmath>
#include <iterator>
#include <numbers>

namespace kvza {

namespace {

// Appends seed entries to a buffer of 256 pixels.
class SeedWriter {
  public:
    explicit SeedWriter(KvzaPixel *out) : out_(out) {}

    uint32_t size() const { return n_; }

    void entry(double c, double s, double w, double a) {
        if (n_ >= KVZA_PALETTE_ENTRIES) return;
        out_[n_++] = KvzaPixel{static_cast<float>(c), static_cast<float>(s), static_cast<float>(w),
                               static_cast<float>(a)};
    }

    // One entry of chroma 0.
    void grey(double w, double a) { entry(0.0, 0.0, w, a); }

    // One entry of the given chroma at a hue in degrees. Quarter turns give
    // exact zeros rather than the rounding residue of cos and sin.
    void hue(double w, double chroma, double a, double degrees) {
        const double rad = degrees * std::numbers::pi / 180.0;
        entry(chroma * exact(std::cos(rad)), chroma * exact(std::sin(rad)), w, a);
    }

    // n entries of the same whiteness, chroma and alpha at hues 0, step, 2 step, ...
    void ring(double w, double chroma, double a, int n, double step) {
        for (int i = 0; i < n; ++i) hue(w, chroma, a, i * step);
    }

  private:
    static double exact(double v) { return std::fabs(v) < 1e-12 ? 0.0 : v; }

    KvzaPixel *out_;
    uint32_t n_ = 0;
};

// Chroma of the colour solid's surface at whiteness w.
double r(double w) {
    return std::sqrt(1.0 - w * w);
}

void seed4(SeedWriter &s) {
    s.grey(0, 0);
    s.grey(1, 1);
    s.grey(0, 1);
    s.grey(-1, 1);
}

void seed8(SeedWriter &s) {
    seed4(s);
    s.entry(1, 0, 0, 1);
    s.entry(0, 1, 0, 1);
    s.entry(-1, 0, 0, 1);
    s.entry(0, -1, 0, 1);
}

// Transparent and opaque white, grey and black.
void six_greys(SeedWriter &s) {
    s.grey(1, 0);
    s.grey(0, 0);
    s.grey(-1, 0);
    s.grey(1, 1);
    s.grey(0, 1);
    s.grey(-1, 1);
}

void seed12(SeedWriter &s) {
    six_greys(s);
    s.entry(1, 0, 0, 1);
    s.entry(0, 1, 0, 1);
    s.entry(-1, 0, 0, 1);
    s.entry(0, -1, 0, 1);
    s.grey(0, 0);
    s.grey(0, 0);
}

void seed16(SeedWriter &s) {
    six_greys(s);
    s.ring(0, 0.5, 1, 4, 90);
    s.ring(0, 1, 1, 6, 60);
}

void seed32(SeedWriter &s) {
    s.grey(1, 0);
    s.grey(0, 0);
    s.grey(-1, 0);
    for (double w : {1.0, 0.5, 0.0, -0.5, -1.0}) s.grey(w, 1);
    s.ring(0.5, r(0.5), 1, 6, 60);
    s.ring(0, 1, 1, 6, 60);
    s.ring(0, 1, 1, 6, 60);
    s.ring(-0.5, r(-0.5), 1, 6, 60);
}

void seed64(SeedWriter &s) {
    for (double w : {1.0, 0.5, 0.0, -0.5, -1.0}) s.grey(w, 0);
    s.ring(0, 1, 0, 6, 60);
    for (double w : {1.0, 0.5, 0.0, -0.5, -1.0}) s.grey(w, 1);
    s.ring(0.5, r(0.5) / 2, 1, 6, 60);
    s.ring(0.5, r(0.5), 1, 6, 60);
    s.ring(0, 0.5, 1, 12, 30);
    s.ring(0, 1, 1, 12, 30);
    s.ring(-0.5, r(-0.5) / 2, 1, 6, 60);
    s.ring(-0.5, r(-0.5), 1, 6, 60);
}

void seed128(SeedWriter &s) {
    const double third = 1.0 / 3.0;
    const double two_thirds = 2.0 / 3.0;
    s.grey(1, 0);
    s.grey(0, 0);
    s.grey(-1, 0);
    s.ring(0, 1, 0, 6, 60);
    for (double w : {1.0, 0.5, 0.0, -0.5, -1.0}) s.grey(w, 0.5);
    for (int i = 0; i < 8; ++i) {
        if (i == 1) {
            s.hue(third, 1, 1, 45);
        } else {
            s.hue(0, 1, 0.5, i * 45.0);
        }
    }
    for (double w : {1.0, two_thirds, third, 0.0, -third, -two_thirds, -1.0}) s.grey(w, 1);
    s.ring(two_thirds, r(two_thirds), 1, 12, 30);
    s.ring(third, r(third) / 2, 1, 8, 45);
    s.ring(third, r(third), 1, 12, 30);
    for (double h : {0.0, 90.0, 180.0, 270.0, 180.0, 210.0, 240.0, 270.0, 300.0, 330.0}) {
        s.hue(0, third, 1, h);
    }
    s.ring(0, two_thirds, 1, 12, 30);
    s.ring(0, 1, 1, 12, 30);
    s.ring(-third, r(-third) / 2, 1, 8, 45);
    s.ring(-third, r(-third), 1, 12, 30);
    s.ring(-two_thirds, r(-two_thirds), 1, 12, 30);
    s.grey(0, 0);
}

// The rings of one whiteness level of the 256-entry seed.
void rings256(SeedWriter &s, double w) {
    const double aw = std::fabs(w);
    if (aw == 0.75) {
        s.ring(w, r(w) / 2, 1, 6, 60);
        s.ring(w, r(w), 1, 12, 30);
    } else if (aw == 0.5) {
        s.ring(w, r(w) / 2, 1, 12, 30);
        s.ring(w, r(w), 1, 12, 30);
    } else if (aw == 0.25) {
        s.ring(w, r(w) / 3, 1, 6, 60);
        s.ring(w, 2 * r(w) / 3, 1, 12, 30);
        s.ring(w, r(w), 1, 18, 20);
    } else {
        s.ring(0, 0.25, 1, 6, 60);
        s.ring(0, 0.5, 1, 12, 30);
        s.ring(0, 0.75, 1, 18, 20);
        s.ring(0, 1, 1, 24, 15);
    }
}

void seed256(SeedWriter &s) {
    for (double w : {1.0, 0.75, 0.5, 0.25, 0.0, -0.25, -0.5, -0.75, -1.0}) s.grey(w, 1);
    for (double w : {0.75, 0.5, 0.25, 0.0, -0.25, -0.5, -0.75}) rings256(s, w);
    s.grey(1, 0.5);
    s.grey(0, 0.5);
    s.grey(-1, 0.5);
    s.ring(0.5, r(0.5), 0.5, 6, 60);
    s.ring(0, 1, 0.5, 6, 60);
    s.ring(-0.5, r(-0.5), 0.5, 6, 60);
    s.grey(1, 0);
    s.grey(0, 0);
    s.grey(-1, 0);
    s.ring(0, 1, 0, 6, 60);
    s.grey(0, 0);
}

}  // namespace

uint32_t seed_size_for(uint32_t n) {
    for (int i = static_cast<int>(std::size(kSeedSizes)) - 1; i > 0; --i) {
        if (n >= kSeedSizes[i]) return kSeedSizes[i];
    }
    return 2;
}

uint32_t build_seed(uint32_t size, KvzaPixel *out) {
    SeedWriter s(out);
    switch (size) {
        case 2:
            s.grey(1, 1);
            s.grey(-1, 0);
            break;
        case 4:
            seed4(s);
            break;
        case 8:
            seed8(s);
            break;
        case 12:
            seed12(s);
            break;
        case 16:
            seed16(s);
            break;
        case 32:
            seed32(s);
            break;
        case 64:
            seed64(s);
            break;
        case 128:
            seed128(s);
            break;
        case 256:
            seed256(s);
            break;
        default:
            break;
    }
    return s.size();
}

}  // namespace kvza
