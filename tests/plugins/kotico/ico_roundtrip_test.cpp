// Round trips through the BMP/ICO reader plug-in: what the writer stores is
// read back as the same colours (exactly for 24- and 32-bit pixels and for
// palettes that hold every colour, to 5 bits a channel for 16-bit pixels),
// with the mask turned into alpha 0 or 1.
#include <cmath>

#include "ico_fixture.h"

using namespace icotest;
using kottest::options;
using kottest::pixel_of;

namespace {

// An 8-bit colour for pixel (x, y) from a small hash, `colours` distinct
// colours at most; odd positions of a checkerboard transparent when `holes`.
kottest::Rgba8 colour_at(int x, int y, int colours, bool holes) {
    const uint32_t k = static_cast<uint32_t>(x * 7 + y * 13) % static_cast<uint32_t>(colours);
    kottest::Rgba8 c{static_cast<int>((k * 97 + 11) % 256), static_cast<int>((k * 41 + 200) % 256),
                     static_cast<int>((k * 151 + 3) % 256)};
    c.a = holes && (x + y) % 2 == 1 ? 0.0f : 1.0f;
    return c;
}

kvzatest::ImagePtr test_image(int w, int h, int colours, bool holes) {
    return kottest::image_of(
        w, h, [=](int x, int y) { return pixel_of(colour_at(x, y, colours, holes)); });
}

// RGB of a KVZA pixel through the library's colour model.
KvzaPixel rgb_of(const KvzaPixel &p) {
    KvzaPixel rgb{0, 0, 0, p.a};
    kvza_kvz2rgb(&rgb, &p);
    return rgb;
}

// A channel byte after 5-bit quantisation without dither, as the reader
// scales it back: floor(b / 255 x 8191) >> 8, over 31.
float five_bit(int b) {
    return static_cast<float>((b * 8191 / 255) >> 8) / 31.0f;
}

// The reader's form of a colour read from 8-bit pixel channels: each byte
// divided by 255.
KvzaPixel divided(const kottest::Rgba8 &c) {
    return kintest::kvz(static_cast<float>(c.r) / 255.0f, static_cast<float>(c.g) / 255.0f,
                        static_cast<float>(c.b) / 255.0f, c.a);
}

}  // namespace

class IcoRoundTrip : public Ico {
  protected:
    void SetUp() override {
        Ico::SetUp();
        ASSERT_TRUE(reader().ok()) << reader().error();
    }
    kintest::Opened round_trip(KvzaImage *image, const KotSaveOptions &o) {
        kottest::OutPath path(".ico");
        EXPECT_EQ(writer().save(image, path.c_str(), &o, nullptr), KOT_OK);
        EXPECT_EQ(reader().imgs(path.c_str(), 0), 1);
        kintest::Opened opened = kintest::open(reader(), path.c_str());
        EXPECT_EQ(opened.status, 0);
        EXPECT_EQ(opened.width, image->width);
        EXPECT_EQ(opened.height, image->height);
        return opened;
    }
};

TEST_F(IcoRoundTrip, DirectLayoutsReadBackExactly) {
    const int sizes[][2] = {{1, 1}, {5, 3}, {31, 17}, {40, 33}};
    for (int16_t id : {224, 225}) {
        for (const auto &wh : sizes) {
            SCOPED_TRACE(::testing::Message() << "id " << id << ", " << wh[0] << " x " << wh[1]);
            auto image = test_image(wh[0], wh[1], 1000, true);
            const kintest::Opened o = round_trip(image.get(), options(id));
            ASSERT_TRUE(o.image);
            for (int y = 0; y < wh[1]; ++y)
                for (int x = 0; x < wh[0]; ++x)
                    ASSERT_PIXEL(kintest::pix(o.image, x, y), divided(colour_at(x, y, 1000, true)))
                        << x << ", " << y;
        }
    }
}

// Palette entries are scaled by 255 and truncated, so a colour may come back
// one step lower on a channel; simple colours come back exactly.
TEST_F(IcoRoundTrip, PaletteLayoutsHoldEveryColourToATruncatedStep) {
    const std::pair<int16_t, int> cases[] = {{204, 2}, {221, 16}, {222, 256}};
    const int sizes[][2] = {{1, 1}, {5, 3}, {31, 17}, {40, 33}};
    for (const auto &[id, colours] : cases) {
        for (const auto &wh : sizes) {
            SCOPED_TRACE(::testing::Message() << "id " << id << ", " << wh[0] << " x " << wh[1]);
            auto image = test_image(wh[0], wh[1], colours, true);
            const kintest::Opened o = round_trip(image.get(), options(id));
            ASSERT_TRUE(o.image);
            for (int y = 0; y < wh[1]; ++y) {
                for (int x = 0; x < wh[0]; ++x) {
                    const kottest::Rgba8 c = colour_at(x, y, colours, true);
                    const KvzaPixel got = rgb_of(kintest::pix(o.image, x, y));
                    const int want[3] = {c.r, c.g, c.b};
                    const float channel[3] = {got.c, got.s, got.w};
                    for (int k = 0; k < 3; ++k) {
                        const int byte = static_cast<int>(std::lround(channel[k] * 255.0f));
                        ASSERT_TRUE(byte == want[k] || byte == want[k] - 1)
                            << x << ", " << y << " channel " << k << ": " << byte << " for "
                            << want[k];
                    }
                    ASSERT_EQ(got.a, c.a) << x << ", " << y;
                }
            }
        }
    }
}

TEST_F(IcoRoundTrip, PaletteLayoutsKeepSimpleColoursExactly) {
    const kottest::Rgba8 simple[] = {kRed, kGreen, kBlue, kYellow, kCyan, kMagenta, kWhite, kBlack};
    for (const auto &[id, colours] : {std::pair<int16_t, int>{204, 2}, {221, 8}, {222, 8}}) {
        SCOPED_TRACE(id);
        auto image = kottest::image_of(13, 6, [&](int x, int y) {
            return pixel_of(with_alpha(simple[(x + 3 * y) % colours], (x * y) % 4 ? 1.0f : 0.0f));
        });
        const kintest::Opened o = round_trip(image.get(), options(id));
        ASSERT_TRUE(o.image);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_PIXEL(kintest::pix(o.image, x, y), kvzatest::at(image.get(), x, y))
                    << x << ", " << y;
    }
}

TEST_F(IcoRoundTrip, Rgb555KeepsFiveBitsAChannel) {
    auto image = test_image(23, 9, 1000, true);
    const kintest::Opened o = round_trip(image.get(), options(223));
    ASSERT_TRUE(o.image);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 23; ++x) {
            const kottest::Rgba8 c = colour_at(x, y, 1000, true);
            const KvzaPixel got = rgb_of(kintest::pix(o.image, x, y));
            ASSERT_NEAR(got.c, five_bit(c.r), 2e-6) << x << ", " << y;
            ASSERT_NEAR(got.s, five_bit(c.g), 2e-6) << x << ", " << y;
            ASSERT_NEAR(got.w, five_bit(c.b), 2e-6) << x << ", " << y;
            ASSERT_EQ(got.a, c.a);
        }
    }
}

TEST_F(IcoRoundTrip, ThresholdMaskBecomesAlpha) {
    auto image = kottest::image_of(9, 4, [](int x, int y) {
        return pixel_of(with_alpha(kMagenta, static_cast<float>(x + 9 * y) / 35.0f));
    });
    const kintest::Opened o = round_trip(image.get(), options(224, kottest::kThreshold, 0, 64));
    ASSERT_TRUE(o.image);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x) {
            const float a = static_cast<float>(x + 9 * y) / 35.0f;
            const float want = static_cast<int>(a * 255.0f) < 64 ? 0.0f : 1.0f;
            EXPECT_EQ(kintest::pix(o.image, x, y).a, want) << x << ", " << y;
        }
}

TEST_F(IcoRoundTrip, CrowdedPaletteGivesEveryPixelAPaletteColour) {
    // 600 colours into 256 entries: each pixel reads back as one of the
    // palette's entries, and the file's palette is the image's optimised one.
    auto image = test_image(30, 20, 600, false);
    const kintest::Opened o = round_trip(image.get(), options(222, 0, 128));
    ASSERT_TRUE(o.image);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const KvzaPixel &p = kintest::pix(o.image, x, y);
            bool found = false;
            for (int i = 0; i < 256 && !found; ++i)
                found = kintest::same_pixel(p, o.image->palette[i]);
            ASSERT_TRUE(found) << x << ", " << y;
        }
    for (int i = 0; i < 256; ++i) {
        KvzaPixel rgb = rgb_of(image->palette[i]);
        kvza_cliprgba(&rgb, &rgb);
        const KvzaPixel want =
            kintest::kvz8(static_cast<int>(rgb.c * 255.0f), static_cast<int>(rgb.s * 255.0f),
                          static_cast<int>(rgb.w * 255.0f));
        ASSERT_PIXEL(o.image->palette[i], want) << "entry " << i;
    }
}
