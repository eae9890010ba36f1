// ImageMagick as an independent decoder of the written icons.
//
// ImageMagick 6 decodes the 1-, 4-, 8- and 24-bit layouts (colour and mask)
// completely. Two layouts it cannot check in full:
// - 16-bit (id 223): it treats 16 bits per pixel as indices into a colour
//   table of 2^16 entries and refuses the file ("insufficient image data");
//   the pixel words are checked byte for byte in ico_bytes_test.cpp instead.
// - 32-bit (id 225): it takes the fourth byte of each pixel as alpha and does
//   not read the mask at 32 bits per pixel; that byte is 0 here (the mask
//   carries the transparency), so only red, green and blue are compared and
//   the mask is checked byte for byte and through the reader plug-in.
#include "ico_fixture.h"

using namespace icotest;
using kottest::options;
using kottest::pixel_of;

namespace {

// Colours of the test images: simple ones, plus mid grey (KVZ 0, 0, 0),
// which is RGB 0.5 and written as 127.
struct Swatch {
    KvzaPixel pixel;
    uint8_t r, g, b;
};

Swatch swatch(const kottest::Rgba8 &c) {
    return {pixel_of(c), static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g),
            static_cast<uint8_t>(c.b)};
}

std::vector<Swatch> swatches(int count) {
    std::vector<Swatch> all = {
        swatch(kRed),    swatch(kGreen), swatch(kBlue),
        swatch(kYellow), swatch(kCyan),  swatch(kMagenta),
        swatch(kWhite),  swatch(kBlack), {KvzaPixel{0, 0, 0, 1}, 127, 127, 127}};
    all.resize(static_cast<size_t>(count));
    return all;
}

// Pixel (x, y) takes swatch (x + 2y) mod n; pixels with x + y = 0 mod 3
// are fully transparent.
bool hole(int x, int y) {
    return (x + y) % 3 == 0;
}

class IcoMagick : public Ico {
  protected:
    // Saves, decodes with ImageMagick and compares with the swatches; with
    // `alpha` false only red, green and blue are compared.
    void check(int16_t id, int colours, int w, int h, bool alpha) {
        const std::vector<Swatch> s = swatches(colours);
        auto image = kottest::image_of(w, h, [&](int x, int y) {
            KvzaPixel p = s[static_cast<size_t>(x + 2 * y) % s.size()].pixel;
            p.a = hole(x, y) ? 0.0f : 1.0f;
            return p;
        });
        kottest::OutPath path(".ico");
        const KotSaveOptions o = options(id);
        ASSERT_EQ(writer().save(image.get(), path.c_str(), &o, nullptr), KOT_OK);
        const auto decoded = kottest::magick_rgba("ico", path.str());
        ASSERT_TRUE(decoded.has_value()) << "ImageMagick could not decode id " << id;
        ASSERT_EQ(decoded->size(), static_cast<size_t>(4 * w * h));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const Swatch &want = s[static_cast<size_t>(x + 2 * y) % s.size()];
                const uint8_t *got = decoded->data() + 4 * (x + w * y);
                SCOPED_TRACE(::testing::Message() << "id " << id << " pixel " << x << ", " << y);
                EXPECT_EQ(got[0], want.r);
                EXPECT_EQ(got[1], want.g);
                EXPECT_EQ(got[2], want.b);
                if (alpha) {
                    EXPECT_EQ(got[3], hole(x, y) ? 0 : 255);
                }
            }
        }
    }
};

}  // namespace

TEST_F(IcoMagick, Index1) {
    KOT_REQUIRE_CONVERT();
    check(204, 2, 11, 5, true);
}

TEST_F(IcoMagick, Index4) {
    KOT_REQUIRE_CONVERT();
    check(221, 9, 7, 6, true);
}

TEST_F(IcoMagick, Index8) {
    KOT_REQUIRE_CONVERT();
    check(222, 9, 40, 3, true);
}

TEST_F(IcoMagick, Rgb24) {
    KOT_REQUIRE_CONVERT();
    check(224, 9, 5, 7, true);
}

TEST_F(IcoMagick, Rgb32ColoursOnly) {
    KOT_REQUIRE_CONVERT();
    check(225, 9, 33, 4, false);
}

TEST_F(IcoMagick, MergedIconShowsTheBackground) {
    KOT_REQUIRE_CONVERT();
    // Transparent red over a green background becomes green, opaque.
    auto image = kottest::image_of(
        6, 2, [](int x, int) { return pixel_of(with_alpha(kRed, x % 2 ? 1.0f : 0.0f)); });
    image->viewinfo[0] = 0;
    image->viewinfo[1] = 255;
    image->viewinfo[2] = 0;
    kottest::OutPath path(".ico");
    const KotSaveOptions o = options(224, kottest::kMerge);
    ASSERT_EQ(writer().save(image.get(), path.c_str(), &o, nullptr), KOT_OK);
    const auto decoded = kottest::magick_rgba("ico", path.str());
    ASSERT_TRUE(decoded.has_value());
    Bytes want;
    for (int i = 0; i < 12; ++i) {
        const bool opaque = i % 2 == 1;
        want.insert(want.end(), {static_cast<uint8_t>(opaque ? 255 : 0),
                                 static_cast<uint8_t>(opaque ? 0 : 255), 0, 255});
    }
    EXPECT_EQ(*decoded, want);
}
