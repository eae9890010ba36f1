// Every layout written by kotbmp.so and read back by kinbmp.so: the colours
// come back exactly for the lossless layouts and within one step of the
// layout's quantisation otherwise; the reader recognises the layout's type.
#include <cmath>

#include "kin_expect.h"
#include "kin_host.h"
#include "kotbmp_fixture.h"

using namespace kotbmptest;

namespace {

class RoundTrip : public WriterTest, public ::testing::WithParamInterface<Layout> {
  protected:
    void SetUp() override {
        WriterTest::SetUp();
        ASSERT_TRUE(reader().ok()) << reader().error();
    }
    static kintest::Reader &reader() {
        static kintest::Reader r(KOT_PLUGIN_DIR, "kinbmp");
        return r;
    }
    // Saves image in layout id and reads the file back.
    static kintest::Opened write_and_read(KvzaImage *image, const KotSaveOptions &o) {
        TempPath path("roundtrip");
        const int32_t status = writer().save(image, path.c_str(), &o, nullptr);
        EXPECT_EQ(status, 0);
        return kintest::open(reader(), path.c_str());
    }
};

// Deterministic bytes.
struct Lcg {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 24;
    }
};

KvzaPixel rgb_of(const KvzaPixel &kvz) {
    KvzaPixel rgb{0.0f, 0.0f, 0.0f, 0.0f};
    kvza_kvz2rgb(&rgb, &kvz);
    return rgb;
}

// The pixel type the reader reports for a file written in layout l.
int16_t read_type(const Layout &l) {
    if (l.kind == Kind::Rgb || l.kind == Kind::Index) return l.id;
    return l.bits == 8 ? 41 : (l.bits == 4 ? 212 : 202);
}

// The largest code of the layout's narrowest channel.
double step_of(const Layout &l) {
    int bits[3] = {static_cast<int>(l.bits), static_cast<int>(l.bits), static_cast<int>(l.bits)};
    if (l.kind == Kind::Rgb) channel_bits(l, bits);
    const int narrow = std::min(bits[0], std::min(bits[1], bits[2]));
    return 1.0 / static_cast<double>((1u << narrow) - 1);
}

TEST_P(RoundTrip, ExactColoursComeBackAsTheirCodes) {
    const Layout &l = GetParam();
    // At most 2 distinct colours for 1-bit indices.
    std::vector<Colour> colours = {kRed,   kCyan,  kChartreuse, kViolet,
                                   kWhite, kBlack, kGrey,       kLight};
    if (l.kind == Kind::Index && l.bits == 1) colours = {kViolet, kWhite};
    Rows rows(3);
    for (int y = 0; y < 3; ++y)
        for (size_t x = 0; x < colours.size(); ++x) {
            KvzaPixel p = colours[(x + static_cast<size_t>(y)) % colours.size()].kvz;
            // Alpha layouts read alpha: quarters 0..4 from the colour's blue.
            if (l.kind == Kind::Alpha)
                p.a = 0.25f * static_cast<float>(colours[(x + y) % colours.size()].b4);
            rows[static_cast<size_t>(y)].push_back(p);
        }
    auto image = image_from(rows);
    const kintest::Opened got = write_and_read(image.get(), options(l.id));
    ASSERT_EQ(got.status, 0);
    ASSERT_EQ(got.width, static_cast<int32_t>(colours.size()));
    ASSERT_EQ(got.height, 3);
    EXPECT_EQ(got.image->pixtype, read_type(l));
    for (int y = 0; y < 3; ++y) {
        for (size_t x = 0; x < colours.size(); ++x) {
            const Colour &c = colours[(x + static_cast<size_t>(y)) % colours.size()];
            const KvzaPixel &p = kintest::pix(got.image, static_cast<int>(x), y);
            EXPECT_EQ(p.a, 1.0f);
            const KvzaPixel rgb = rgb_of(p);
            double expected[3];
            if (l.kind == Kind::Rgb) {
                int bits[3];
                channel_bits(l, bits);
                uint32_t q[3];
                rgb_levels(l, c, q);
                for (int k = 0; k < 3; ++k)
                    expected[k] = q[k] / static_cast<double>((1u << bits[k]) - 1);
            } else if (l.kind == Kind::Index) {
                const uint32_t q4[3] = {c.r4, c.g4, c.b4};
                for (int k = 0; k < 3; ++k) expected[k] = palette_byte(q4[k]) / 255.0;
            } else {
                // Grey of (w + 1) / 2 (whiteness -1, 0, 0.5 or 1 here) or alpha
                // in quarters: the ramp entry of the code.
                uint32_t quarters = c.b4;
                if (l.kind == Kind::Grey) {
                    const float w = c.kvz.w;
                    quarters = w == -1.0f ? 0 : (w == 0.0f ? 2 : (w == 0.5f ? 3 : 4));
                }
                const uint32_t code = level(l.bits, quarters, 4);
                const uint32_t n = 1u << l.bits;
                const double v = (code * 255 / (n - 1)) / 255.0;
                expected[0] = expected[1] = expected[2] = v;
            }
            EXPECT_NEAR(rgb.c, expected[0], 1e-5) << x << "," << y;
            EXPECT_NEAR(rgb.s, expected[1], 1e-5) << x << "," << y;
            EXPECT_NEAR(rgb.w, expected[2], 1e-5) << x << "," << y;
        }
    }
}

TEST_P(RoundTrip, ArbitraryColoursWithinOneStep) {
    const Layout &l = GetParam();
    Lcg rng{static_cast<uint32_t>(l.id) * 7919u};
    const int w = 13, h = 5;
    auto image = kvzatest::make_image(w, h);
    std::vector<uint32_t>
        bytes;  // 0xRRGGBB of every pixel (alpha in the low byte for alpha layouts)
    // Index layouts: no more colours than the palette holds, so each colour
    // gets its own entry.
    const uint32_t distinct = l.kind == Kind::Index ? std::min<uint32_t>(l.entries, w * h) : w * h;
    std::vector<uint32_t> pool;
    for (uint32_t i = 0; i < distinct; ++i)
        pool.push_back((rng.next() << 16) | (rng.next() << 8) | rng.next());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = pool[static_cast<size_t>(y * w + x) % pool.size()];
            bytes.push_back(c);
            const float alpha = static_cast<float>(c & 0xff) / 255.0f;
            kvzatest::at(image.get(), x, y) =
                kintest::kvz8(static_cast<int>(c >> 16), static_cast<int>((c >> 8) & 0xff),
                              static_cast<int>(c & 0xff), l.kind == Kind::Alpha ? alpha : 1.0f);
        }
    const kintest::Opened got = write_and_read(image.get(), options(l.id));
    ASSERT_EQ(got.status, 0);
    ASSERT_EQ(got.width, w);
    ASSERT_EQ(got.height, h);
    EXPECT_EQ(got.image->pixtype, read_type(l));
    // 8 bits per channel keep every byte.
    const bool lossless = l.id == 20 || l.id == 22;
    // Index entries are bytes truncated from the colour: one 8-bit step at most.
    const double tolerance = (l.kind == Kind::Index ? 1.0 / 255.0 : step_of(l)) + 1e-5;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t c = bytes[static_cast<size_t>(y * w + x)];
            const KvzaPixel &p = kintest::pix(got.image, x, y);
            const KvzaPixel rgb = rgb_of(p);
            if (lossless) {
                // Every byte comes back: the decoded colour rounds to it.
                EXPECT_EQ(std::lround(rgb.c * 255.0), static_cast<long>(c >> 16)) << x << "," << y;
                EXPECT_EQ(std::lround(rgb.s * 255.0), static_cast<long>((c >> 8) & 0xff));
                EXPECT_EQ(std::lround(rgb.w * 255.0), static_cast<long>(c & 0xff));
                EXPECT_NEAR(rgb.c, (c >> 16) / 255.0, 1e-5);
                continue;
            }
            double want[3] = {(c >> 16) / 255.0, ((c >> 8) & 0xff) / 255.0, (c & 0xff) / 255.0};
            if (l.kind == Kind::Grey) {
                // The whiteness mapped to 0..1 is the lightness: (max + min) / 2.
                const double hi = std::max(want[0], std::max(want[1], want[2]));
                const double lo = std::min(want[0], std::min(want[1], want[2]));
                want[0] = want[1] = want[2] = (hi + lo) / 2;
            } else if (l.kind == Kind::Alpha) {
                want[0] = want[1] = want[2] = (c & 0xff) / 255.0;
            }
            EXPECT_NEAR(rgb.c, want[0], tolerance) << x << "," << y;
            EXPECT_NEAR(rgb.s, want[1], tolerance) << x << "," << y;
            EXPECT_NEAR(rgb.w, want[2], tolerance) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, RoundTrip, ::testing::ValuesIn(kAllLayouts), layout_name);

}  // namespace
