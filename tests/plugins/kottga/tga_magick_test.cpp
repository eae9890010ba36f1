// ImageMagick as an independent decoder of the written TGA files.
//
// ImageMagick 6 keeps the stored row order and records the orientation, so
// the files are decoded with -auto-orient. It decodes the 24- and 32-bit
// true-colour, the 15-bit, the 8-bit grey and the colour-mapped layouts with
// 3- and 4-byte entries completely. Two it cannot check in full:
// - 16-bit grey (id 81): it reads every 16-bit pixel as 5-5-5 colour, also in
//   a grey file, so the words are checked byte for byte in tga_bytes_test.cpp
//   and through the reader plug-in instead.
// - colour map with 2-byte entries (palette depth 2): it reads the 5-5-5
//   colour of the entries but not their alpha bit; red, green and blue are
//   compared, the alpha bit is checked byte for byte and through the reader.
#include "tga_fixture.h"

using namespace tgatest;
using kottest::pixel_of;

namespace {

const kottest::Rgba8 kSimple[] = {kRed, kGreen, kBlue, kYellow, kCyan, kMagenta, kWhite, kBlack};

// Pixel (x, y): simple colour (x + 2y) mod 8; alpha 0 where x + y is a
// multiple of 3, else 1.
kottest::Rgba8 colour_at(int x, int y) {
    return with_alpha(kSimple[(x + 2 * y) % 8], (x + y) % 3 == 0 ? 0.0f : 1.0f);
}

class TgaMagick : public Tga {
  protected:
    // Saves a w x h image, decodes it with ImageMagick; want(x, y) gives the
    // expected RGBA bytes, and with `alpha` false the fourth is not compared.
    void check(const KotSaveOptions &o, int w, int h,
               const std::function<std::array<int, 4>(int, int)> &want, bool alpha = true,
               const std::function<KvzaPixel(int, int)> &colour = nullptr) {
        auto image = kottest::image_of(
            w, h, colour ? colour : [](int x, int y) { return pixel_of(colour_at(x, y)); });
        kottest::OutPath path(".tga");
        ASSERT_EQ(writer().save(image.get(), path.c_str(), &o, nullptr), KOT_OK);
        const auto decoded = kottest::magick_rgba("tga", path.str());
        ASSERT_TRUE(decoded.has_value()) << "ImageMagick could not decode id " << o.type;
        ASSERT_EQ(decoded->size(), static_cast<size_t>(4 * w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::array<int, 4> e = want(x, y);
                const uint8_t *got = decoded->data() + 4 * (x + w * y);
                SCOPED_TRACE(::testing::Message()
                             << "id " << o.type << " pixel " << x << ", " << y);
                EXPECT_EQ(got[0], e[0]);
                EXPECT_EQ(got[1], e[1]);
                EXPECT_EQ(got[2], e[2]);
                if (alpha) {
                    EXPECT_EQ(got[3], e[3]);
                }
            }
    }
};

std::array<int, 4> opaque(int x, int y) {
    const kottest::Rgba8 c = colour_at(x, y);
    return {c.r, c.g, c.b, 255};
}

std::array<int, 4> with_alpha_byte(int x, int y) {
    const kottest::Rgba8 c = colour_at(x, y);
    return {c.r, c.g, c.b, c.a > 0.5f ? 255 : 0};
}

}  // namespace

TEST_F(TgaMagick, Rgb24) {
    KOT_REQUIRE_CONVERT();
    check(tga_options(20), 9, 4, opaque);
}

TEST_F(TgaMagick, Rgba32) {
    KOT_REQUIRE_CONVERT();
    check(tga_options(21), 5, 7, with_alpha_byte);
}

TEST_F(TgaMagick, Rgba32HalfAlpha) {
    KOT_REQUIRE_CONVERT();
    // Alpha 0.5 is written as 127 and decoded as it stands.
    check(
        tga_options(21), 3, 2,
        [](int, int) {
            return std::array<int, 4>{255, 0, 255, 127};
        },
        true, [](int, int) { return pixel_of(with_alpha(kMagenta, 0.5f)); });
}

TEST_F(TgaMagick, Rgb15WithAlphaBit) {
    KOT_REQUIRE_CONVERT();
    check(tga_options(25), 6, 5, with_alpha_byte);
}

TEST_F(TgaMagick, Index8ThreeByteEntries) {
    KOT_REQUIRE_CONVERT();
    check(tga_options(41, 0, 3), 11, 3, opaque);
}

TEST_F(TgaMagick, Index8FourByteEntries) {
    KOT_REQUIRE_CONVERT();
    check(tga_options(41, 0, 4), 4, 9, with_alpha_byte);
}

TEST_F(TgaMagick, Index8TwoByteEntriesColoursOnly) {
    KOT_REQUIRE_CONVERT();
    check(tga_options(41, 0, 2), 7, 7, with_alpha_byte, false);
}

TEST_F(TgaMagick, Grey8) {
    KOT_REQUIRE_CONVERT();
    // Whiteness -1, -0.5, 0, 0.5, 1: grey 0, 0.25, 0.5, 0.75, 1 -> 0, 63, 127, 191, 255.
    const int levels[] = {0, 63, 127, 191, 255};
    check(
        tga_options(50), 5, 2,
        [&](int x, int) {
            return std::array<int, 4>{levels[x], levels[x], levels[x], 255};
        },
        true,
        [](int x, int) {
            return KvzaPixel{0, 0, static_cast<float>(x) * 0.5f - 1.0f, x % 2 ? 0.0f : 1.0f};
        });
}
