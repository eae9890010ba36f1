// The palette optimisation against a one-pixel-at-a-time clustering written
// out plainly here: seed, assignment, splits of the widest slot, means. The
// library finds nearest entries and a split's figures on all cores and makes
// the sums once at the end; its palette must be this one, byte for byte, on
// pictures large enough to be shared out (and to span blocks), with ties,
// signed zeros, values beyond every extreme, not-a-number channels and
// repeated colours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "image_block.h"
#include "seeds.h"  // built into this test program by reduce_test.cpp

using kvzatest::ImagePtr;
using kvzatest::make_image;

namespace {

constexpr int16_t kNone = -1;
constexpr uint64_t kNoPixel = ~uint64_t{0};

float BinaryAlpha(float a) {
    return a >= 0.001f ? 1.0f : 0.0f;
}

float NormalisedAlpha(int32_t mode, float a) {
    if (mode == KVZA_ALPHA_OPAQUE) return 1.0f;
    if (mode == KVZA_ALPHA_BINARY) return BinaryAlpha(a);
    return a;
}

float Channel(const KvzaPixel &p, int ch) {
    const float v[4] = {p.c, p.s, p.w, p.a};
    return v[ch];
}

class ReferenceClustering {
  public:
    ReferenceClustering(const KvzaImage *image, int32_t mode, uint32_t n)
        : px_(image->pixels),
          pixels_(static_cast<uint64_t>(image->width) * static_cast<uint64_t>(image->height)),
          mode_(mode),
          n_(n),
          channels_(mode == KVZA_ALPHA_OPAQUE ? 3 : 4),
          owner_(pixels_) {}

    std::vector<KvzaPixel> palette() {
        kvza::build_seed(kvza::seed_size_for(n_), centre_);
        for (uint32_t k = 0; k < n_; ++k) centre_[k].a = NormalisedAlpha(mode_, centre_[k].a);
        for (Slot &s : slot_) reset(s);
        for (uint64_t i = 0; i < pixels_; ++i) {
            owner_[i] =
                static_cast<uint8_t>(kvza_nearpal(mode_, centre_, n_, &px_[i], 1.0f, 1.0f, 1.0f));
            accumulate(owner_[i], i);
        }
        for (uint32_t k = 0; k < n_; ++k) place(static_cast<int16_t>(k));
        split_loop();
        std::vector<KvzaPixel> out(n_);
        for (uint32_t k = 0; k < n_; ++k) {
            KvzaPixel c = centre_[k];
            const Slot &s = slot_[k];
            if (s.count > 0) {
                const float r = 1.0f / static_cast<float>(s.count);
                c.c = static_cast<float>(c.c + s.sum[0] * r);
                c.s = static_cast<float>(c.s + s.sum[1] * r);
                c.w = static_cast<float>(c.w + s.sum[2] * r);
                if (mode_ != KVZA_ALPHA_OPAQUE) {
                    const auto a = static_cast<float>(c.a + s.sum[3] * r);
                    c.a = mode_ == KVZA_ALPHA_BINARY ? BinaryAlpha(a) : a;
                }
            }
            kvza_clipkvza(&out[k], &c);
        }
        return out;
    }

  private:
    struct Slot {
        double min[4], max[4], sum[4];
        uint64_t min_pixel[4], max_pixel[4];
        uint32_t count;
        float key;
        int16_t smaller = kNone, larger = kNone;
    };

    static void reset(Slot &s) {
        for (int ch = 0; ch < 4; ++ch) {
            s.min[ch] = 1e26;
            s.max[ch] = -1e28;
            s.sum[ch] = 0.0;
            s.min_pixel[ch] = s.max_pixel[ch] = kNoPixel;
        }
        s.count = 0;
    }

    void accumulate(int16_t k, uint64_t i) {
        Slot &s = slot_[k];
        ++s.count;
        for (int ch = 0; ch < channels_; ++ch) {
            const double d = static_cast<double>(Channel(px_[i], ch)) - Channel(centre_[k], ch);
            s.sum[ch] += d;
            if (d <= s.min[ch]) {
                s.min[ch] = d;
                s.min_pixel[ch] = i;
            }
            if (d >= s.max[ch]) {
                s.max[ch] = d;
                s.max_pixel[ch] = i;
            }
        }
    }

    double extent(int16_t k, int ch) const { return slot_[k].max[ch] - slot_[k].min[ch]; }

    // Sorted list of slots with pixels (largest key first, the latest of
    // equal keys first) and a stack of free slots.
    void place(int16_t k) {
        Slot &s = slot_[k];
        if (s.count == 0) {
            s.smaller = free_top_;
            s.larger = kNone;
            if (free_top_ != kNone) slot_[free_top_].larger = k;
            free_top_ = k;
            return;
        }
        const double a = centre_[k].a;
        const double ec = extent(k, 0), es = extent(k, 1), ew = extent(k, 2);
        s.key = static_cast<float>(a * a * (ec * ec + es * es + ew * ew));
        int16_t prev = kNone, cur = head_;
        while (cur != kNone && slot_[cur].key > s.key) {
            prev = cur;
            cur = slot_[cur].smaller;
        }
        s.larger = prev;
        s.smaller = cur;
        (prev == kNone ? head_ : slot_[prev].smaller) = k;
        if (cur != kNone) slot_[cur].larger = k;
    }

    KvzaPixel end_pixel(int16_t h, uint64_t ref) const {
        return ref == kNoPixel ? centre_[h] : px_[ref];
    }

    void split_loop() {
        uint32_t fruitless = 0;
        while (free_top_ != kNone) {
            const int16_t h = head_;
            if (h == kNone || !(slot_[h].key > 0.0f)) break;
            head_ = slot_[h].smaller;
            if (head_ != kNone) slot_[head_].larger = kNone;
            const int16_t f = free_top_;
            free_top_ = slot_[f].smaller;
            const KvzaPixel old_centre = centre_[h];
            split(h, f);
            place(f);
            const bool stuck = slot_[f].count == 0;
            if (stuck && std::memcmp(&old_centre, &centre_[h], sizeof old_centre) == 0) {
                slot_[h].smaller = slot_[h].larger = kNone;
            } else {
                place(h);
            }
            fruitless = stuck ? fruitless + 1 : 0;
            if (fruitless > 16 * KVZA_PALETTE_ENTRIES) break;
        }
    }

    void split(int16_t h, int16_t f) {
        const Slot &s = slot_[h];
        const double ec = extent(h, 0), es = extent(h, 1), ew = extent(h, 2);
        int axis = es > ec ? 1 : 0;
        if (ew > (axis == 1 ? es : ec)) axis = 2;
        KvzaPixel ch = end_pixel(h, s.min_pixel[axis]);
        KvzaPixel cf = end_pixel(h, s.max_pixel[axis]);
        float a = 1.0f;
        if (mode_ != KVZA_ALPHA_OPAQUE) {
            a = end_pixel(h, s.max_pixel[3]).a;
            if (mode_ == KVZA_ALPHA_BINARY) a = BinaryAlpha(a);
        }
        ch.a = cf.a = a;
        centre_[h] = ch;
        centre_[f] = cf;
        reset(slot_[h]);
        reset(slot_[f]);
        const KvzaPixel pair[2] = {ch, cf};
        for (uint64_t i = 0; i < pixels_; ++i) {
            if (owner_[i] != h) continue;
            if (kvza_nearpal(mode_, pair, 2, &px_[i], 1.0f, 1.0f, 1.0f) == 1) owner_[i] = f;
            accumulate(owner_[i], i);
        }
    }

    const KvzaPixel *px_;
    uint64_t pixels_;
    int32_t mode_;
    uint32_t n_;
    int channels_;
    std::vector<uint8_t> owner_;
    KvzaPixel centre_[KVZA_PALETTE_ENTRIES] = {};
    Slot slot_[KVZA_PALETTE_ENTRIES];
    int16_t head_ = kNone, free_top_ = kNone;
};

// A picture of w x h pixels: random colours in and around the colour solid,
// with runs of one colour, a few recurring colours (ties of the extremes),
// and, when odd, signed zeros, values far beyond the extremes' starting
// values, infinities and not-a-number channels.
ImagePtr Picture(int w, int h, bool odd, uint32_t seed) {
    auto img = make_image(w, h);
    uint32_t rng = seed;
    auto next = [&rng] {
        rng = rng * 1103515245U + 12345U;
        return rng >> 8;
    };
    auto unit = [&] { return static_cast<float>(next() & 0xFFFF) / 65535.0f; };
    const float specials[] = {0.0f,
                              -0.0f,
                              1e30f,
                              -1e30f,
                              std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(),
                              1e-40f,
                              1.0f};
    const KvzaPixel recurring[3] = {
        {0.25f, -0.25f, 0.5f, 1.0f}, {-0.5f, 0.125f, -0.75f, 0.5f}, {0.0f, 0.0f, 1.0f, 0.0f}};
    const uint64_t count = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    for (uint64_t i = 0; i < count; ++i) {
        KvzaPixel &p = img->pixels[i];
        const uint32_t kind = next() % 16;
        if (i > 0 && kind < 4) {
            p = img->pixels[i - 1];
        } else if (kind < 6) {
            p = recurring[next() % 3];
        } else {
            p = {unit() * 1.2f - 0.6f, unit() * 1.2f - 0.6f, unit() * 2.0f - 1.0f, unit()};
            if (kind == 6) p.a = static_cast<float>(next() % 2);
            if (odd && kind == 7) {
                float *v = &p.c;
                v[next() % 4] = specials[next() % 8];
            }
        }
    }
    return img;
}

struct Case {
    int w, h;
    bool odd;
    uint32_t n;
};

TEST(ClusteringReference, PaletteIsTheOnePixelClusteringsByteForByte) {
    const Case cases[] = {
        {97, 61, false, 256},  // shared out among the cores
        {97, 61, true, 256},   {113, 47, true, 37},
        {64, 64, true, 2},     {300, 240, false, 256},  // two blocks of the assignment
#ifndef KVZA_SAMPLE_ONLY
        {300, 240, true, 100},
#endif
    };
    for (const Case &c : cases) {
        for (int32_t mode : {KVZA_ALPHA_OPAQUE, KVZA_ALPHA_BINARY, KVZA_ALPHA_FULL}) {
            auto img = Picture(c.w, c.h, c.odd, static_cast<uint32_t>(c.w * 31 + c.n));
            const std::vector<KvzaPixel> want = ReferenceClustering(img.get(), mode, c.n).palette();
            ASSERT_EQ(kvza_optimpal(img.get(), mode, c.n, nullptr), KVZA_OK);
            for (uint32_t k = 0; k < c.n; ++k)
                ASSERT_EQ(std::memcmp(&img->palette[k], &want[k], sizeof(KvzaPixel)), 0)
                    << c.w << "x" << c.h << (c.odd ? " odd" : "") << " n " << c.n << " mode "
                    << mode << " entry " << k;
        }
    }
}

// A slot whose differences include two far beyond the others, of opposite
// signs: which of the other pixels' differences survive in its sum depends
// on the order they were added in. Two entries, both with pixels (no split):
// the two far ones are equally far from both and join the first, with the
// light pixels; every tenth pixel is dark.
TEST(ClusteringReference, SumsAreAddedInStorageOrder) {
    auto img = make_image(80, 64);
    for (int i = 0; i < 80 * 64; ++i) {
        const float v = static_cast<float>(i % 97) / 970.0f;
        img->pixels[i] = {v, 0.05f - v, i % 10 == 0 ? -0.9f : 0.5f + v, 1.0f};
    }
    img->pixels[1000].c = 1e18f;
    img->pixels[4000].c = -1e18f;
    for (int32_t mode : {KVZA_ALPHA_OPAQUE, KVZA_ALPHA_FULL}) {
        const std::vector<KvzaPixel> want = ReferenceClustering(img.get(), mode, 2).palette();
        ASSERT_EQ(kvza_optimpal(img.get(), mode, 2, nullptr), KVZA_OK);
        for (uint32_t k = 0; k < 2; ++k)
            EXPECT_EQ(std::memcmp(&img->palette[k], &want[k], sizeof(KvzaPixel)), 0)
                << "mode " << mode << " entry " << k;
    }
}

}  // namespace
