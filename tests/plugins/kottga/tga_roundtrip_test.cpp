// Round trips through the TGA reader plug-in: true colour with and without
// alpha comes back exactly, 15-bit colour to 5 bits a channel with its alpha
// bit, palettes to their entry size, grey to its 8 or 16 bits.
#include <cmath>

#include "tga_fixture.h"

using namespace tgatest;
using kottest::pixel_of;

namespace {

// An 8-bit colour for pixel (x, y) from a small hash, at most `colours`
// distinct colours; alpha one of 0, 1 and (unless `binary`) the 8-bit steps
// 51 and 204.
kottest::Rgba8 colour_at(int x, int y, int colours, bool binary = false) {
    const uint32_t k = static_cast<uint32_t>(x * 5 + y * 17) % static_cast<uint32_t>(colours);
    kottest::Rgba8 c{static_cast<int>((k * 89 + 7) % 256), static_cast<int>((k * 57 + 100) % 256),
                     static_cast<int>((k * 201 + 30) % 256)};
    const float k255 = 1.0f / 255.0f;
    const float alphas[] = {1.0f, 0.0f, 51.0f * k255, 204.0f * k255};
    c.a = alphas[(x + 2 * y) % (binary ? 2 : 4)];
    return c;
}

// The reader's form of 8-bit blue, green, red and alpha bytes: each byte
// times the float nearest 1/255, through the colour model.
KvzaPixel from_bytes(int r, int g, int b, float a) {
    const float k = 1.0f / 255.0f;
    const KvzaPixel rgba{static_cast<float>(r) * k, static_cast<float>(g) * k,
                         static_cast<float>(b) * k, a};
    KvzaPixel out;
    kvza_rgba2kvza(&out, &rgba);
    return out;
}

KvzaPixel rgb_of(const KvzaPixel &p) {
    KvzaPixel rgb{0, 0, 0, p.a};
    kvza_kvz2rgb(&rgb, &p);
    return rgb;
}

// A channel byte reduced to 5 bits without dither: floor(b / 255 x 8191) >> 8.
int five_bits(int b) {
    return (b * 8191 / 255) >> 8;
}

}  // namespace

class TgaRoundTrip : public Tga {
  protected:
    void SetUp() override {
        Tga::SetUp();
        ASSERT_TRUE(reader().ok()) << reader().error();
    }
    kintest::Opened round_trip(KvzaImage *image, const KotSaveOptions &o) {
        kottest::OutPath path(".tga");
        EXPECT_EQ(writer().save(image, path.c_str(), &o, nullptr), KOT_OK);
        EXPECT_EQ(reader().imgs(path.c_str(), 0), 1);
        kintest::Opened opened = kintest::open(reader(), path.c_str());
        EXPECT_EQ(opened.status, 0);
        EXPECT_EQ(opened.width, image->width);
        EXPECT_EQ(opened.height, image->height);
        return opened;
    }
    kvzatest::ImagePtr test_image(int w, int h, int colours, bool binary = false) {
        return kottest::image_of(
            w, h, [=](int x, int y) { return pixel_of(colour_at(x, y, colours, binary)); });
    }
};

TEST_F(TgaRoundTrip, TrueColourReadsBackExactly) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{7, 3}, std::pair{64, 41}}) {
        SCOPED_TRACE(::testing::Message() << w << " x " << h);
        auto image = test_image(w, h, 5000);
        const kintest::Opened rgb = round_trip(image.get(), tga_options(20));
        const kintest::Opened rgba = round_trip(image.get(), tga_options(21));
        ASSERT_TRUE(rgb.image && rgba.image);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const kottest::Rgba8 c = colour_at(x, y, 5000);
                ASSERT_PIXEL(kintest::pix(rgb.image, x, y), from_bytes(c.r, c.g, c.b, 1.0f))
                    << x << ", " << y;
                ASSERT_PIXEL(kintest::pix(rgba.image, x, y), from_bytes(c.r, c.g, c.b, c.a))
                    << x << ", " << y;
            }
    }
}

TEST_F(TgaRoundTrip, Rgb15KeepsFiveBitsAndTheAlphaBit) {
    auto image = test_image(19, 11, 5000);
    const kintest::Opened o = round_trip(image.get(), tga_options(25, 0));
    ASSERT_TRUE(o.image);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 19; ++x) {
            const kottest::Rgba8 c = colour_at(x, y, 5000);
            const KvzaPixel got = rgb_of(kintest::pix(o.image, x, y));
            ASSERT_NEAR(got.c, five_bits(c.r) / 31.0f, 2e-6) << x << ", " << y;
            ASSERT_NEAR(got.s, five_bits(c.g) / 31.0f, 2e-6) << x << ", " << y;
            ASSERT_NEAR(got.w, five_bits(c.b) / 31.0f, 2e-6) << x << ", " << y;
            // One bit: 511 x a >> 8, so 204/255 is opaque and 51/255 transparent.
            ASSERT_EQ(got.a, c.a > 0.5f ? 1.0f : 0.0f) << x << ", " << y;
        }
}

TEST_F(TgaRoundTrip, PalettesHoldEveryColourToTheirEntrySize) {
    // Fewer colour and alpha pairs than entries: two-valued alpha (depth 2)
    // makes every partly transparent pixel an entry of its own, full alpha
    // (depth 4) keeps each alpha of a colour apart, depth 3 ignores alpha.
    struct Case {
        int16_t depth;
        int colours;
        bool binary;
    };
    for (const Case &d : {Case{2, 100, true}, Case{3, 200, false}, Case{4, 40, false}}) {
        const int16_t depth = d.depth;
        SCOPED_TRACE(depth);
        auto image = test_image(23, 13, d.colours, d.binary);
        const kintest::Opened o = round_trip(image.get(), tga_options(41, 0, depth));
        ASSERT_TRUE(o.image);
        for (int y = 0; y < 13; ++y)
            for (int x = 0; x < 23; ++x) {
                const kottest::Rgba8 c = colour_at(x, y, d.colours, d.binary);
                const KvzaPixel got = rgb_of(kintest::pix(o.image, x, y));
                const int want[3] = {c.r, c.g, c.b};
                const float channel[3] = {got.c, got.s, got.w};
                for (int k = 0; k < 3; ++k) {
                    if (depth == 2) {
                        // Entries of 5 bits a channel, scaled by 31 and truncated.
                        const float step = 1.0f / 31.0f;
                        ASSERT_LE(channel[k], static_cast<float>(want[k]) / 255.0f + 1e-5f);
                        ASSERT_GT(channel[k], static_cast<float>(want[k]) / 255.0f - step - 1e-5f);
                    } else {
                        // Entries scaled by 255 and truncated: the byte or one below.
                        const int byte = static_cast<int>(std::lround(channel[k] * 255.0f));
                        ASSERT_TRUE(byte == want[k] || byte == want[k] - 1)
                            << x << ", " << y << " channel " << k << ": " << byte;
                    }
                }
                // Two-byte entries carry one alpha bit, three-byte entries none,
                // four-byte entries the alpha byte (truncated).
                if (depth == 2) {
                    ASSERT_EQ(got.a, c.a >= 0.001f ? 1.0f : 0.0f) << x << ", " << y;
                } else if (depth == 3) {
                    ASSERT_EQ(got.a, 1.0f);
                } else {
                    ASSERT_NEAR(got.a, c.a, 1.0f / 255.0f + 1e-6f) << x << ", " << y;
                    ASSERT_LE(got.a, c.a + 1e-6f);
                }
            }
    }
}

TEST_F(TgaRoundTrip, PalettesKeepSimpleColoursExactly) {
    const kottest::Rgba8 simple[] = {kRed, kGreen, kBlue, kYellow, kCyan, kMagenta, kWhite, kBlack};
    auto image = kottest::image_of(11, 7, [&](int x, int y) {
        return pixel_of(with_alpha(simple[(x + 3 * y) % 8], (x * y) % 5 ? 1.0f : 0.0f));
    });
    for (int16_t depth : {2, 4}) {
        SCOPED_TRACE(depth);
        const kintest::Opened o = round_trip(image.get(), tga_options(41, 0, depth));
        ASSERT_TRUE(o.image);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 11; ++x) {
                const kottest::Rgba8 c = simple[(x + 3 * y) % 8];
                ASSERT_PIXEL(kintest::pix(o.image, x, y),
                             from_bytes(c.r, c.g, c.b, (x * y) % 5 ? 1.0f : 0.0f))
                    << x << ", " << y;
            }
    }
}

TEST_F(TgaRoundTrip, Grey8ReadsBackItsLevels) {
    // The reader's whiteness of grey byte v: v x (2/255) - 1.
    const float k = 2.0f / 255.0f;
    auto image = kottest::image_of(16, 16, [k](int x, int y) {
        return KvzaPixel{0.1f, -0.2f, static_cast<float>(x + 16 * y) * k - 1.0f, 0.5f};
    });
    const kintest::Opened o = round_trip(image.get(), tga_options(50));
    ASSERT_TRUE(o.image);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_PIXEL(kintest::pix(o.image, x, y),
                         (KvzaPixel{0, 0, static_cast<float>(x + 16 * y) * k - 1.0f, 1.0f}))
                << x << ", " << y;
}

TEST_F(TgaRoundTrip, Grey16KeepsSixteenBits) {
    auto image = kottest::image_of(64, 16, [](int x, int y) {
        return KvzaPixel{0, 0, static_cast<float>(x + 64 * y) / 1023.0f * 2.0f - 1.0f, 1.0f};
    });
    const kintest::Opened o = round_trip(image.get(), tga_options(81, 0));
    ASSERT_TRUE(o.image);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) {
            const KvzaPixel &got = kintest::pix(o.image, x, y);
            ASSERT_NEAR(got.w, kvzatest::at(image.get(), x, y).w, 3.0f / 65535.0f)
                << x << ", " << y;
            ASSERT_EQ(got.c, 0.0f);
            ASSERT_EQ(got.a, 1.0f);
        }
}
