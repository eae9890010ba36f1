// Every layout the writer offers, interlaced and not, decoded by two other
// programs: ImageMagick at 16 bits per channel and Python's imaging library
// at 8. The pictures hold only values the layout can store, so the samples
// must come back exactly.
#include "png_fixture.h"

using namespace pngtest;

namespace {

constexpr int kW = 13;
constexpr int kH = 7;

// The RGBA bytes a decoder should give for pixel (x, y) of the picture.
Rgba expected(const LayoutCase &l, int x, int y) {
    Rgba c = sample_colour(l, x, y);
    if (l.channels == 1 || l.channels == 3) c[3] = 255;
    return c;
}

class PngPeers : public Png, public ::testing::WithParamInterface<bool> {};

TEST_P(PngPeers, EveryLayoutDecodesToItsSamples) {
    PNG_REQUIRE_CONVERT();
    const bool interlace = GetParam();
    const bool pil = have_pil();
    for (const LayoutCase &l : layouts()) {
        SCOPED_TRACE(::testing::Message() << "id " << l.id << (interlace ? " interlaced" : ""));
        auto image = picture(kW, kH, [&](int x, int y) { return sample_colour(l, x, y); });
        kottest::OutPath path(".png");
        ASSERT_EQ(save(image.get(), path, png_options(l.id, interlace ? kInterlace : 0)), KOT_OK);

        const auto im = magick_rgba16(path.str());
        ASSERT_TRUE(im.has_value());
        ASSERT_EQ(im->size(), static_cast<size_t>(4 * kW * kH));
        std::optional<Bytes> pl;
        if (pil) {
            pl = pil_rgba8(path.str());
            ASSERT_TRUE(pl.has_value());
            ASSERT_EQ(pl->size(), static_cast<size_t>(4 * kW * kH));
        }
        int wrong = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const Rgba e = expected(l, x, y);
                // A fully transparent pixel's colour is not part of the picture.
                const int compared = e[3] == 0 ? 1 : 4;
                for (int k = 4 - compared; k < 4; ++k) {
                    const size_t at = static_cast<size_t>(4 * (x + kW * y) + k);
                    if ((*im)[at] != e[k] * 257) ++wrong;
                    if (pl && (*pl)[at] != e[k]) ++wrong;
                }
            }
        EXPECT_EQ(wrong, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Interlacing, PngPeers, ::testing::Bool());

// 16-bit layouts keep every sample to 1/65535: samples v are given as
// v / 65535 (as a 16-bit file is read) and come back as v.
TEST_F(Png, SixteenBitSamplesAreExact) {
    PNG_REQUIRE_CONVERT();
    constexpr int w = 64, h = 32;
    auto sample = [](int x, int y, int k) {
        return static_cast<uint16_t>((x * 1031 + y * 65537 * 7 + k * 21845 + x * y * 613) & 0xffff);
    };
    const struct {
        int16_t id;
        bool grey, alpha;
    } cases[] = {{198, false, true}, {196, false, false}, {215, true, true}, {81, true, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.id);
        auto image = kottest::image_of(w, h, [&](int x, int y) {
            KvzaPixel rgb{};
            float *ch[3] = {&rgb.c, &rgb.s, &rgb.w};
            for (int k = 0; k < 3; ++k)
                *ch[k] = static_cast<float>(sample(x, y, c.grey ? 0 : k) / 65535.0);
            KvzaPixel out{};
            kvza_rgb2kvz(&out, &rgb);
            out.a = c.alpha ? static_cast<float>(sample(x, y, 3) / 65535.0) : 1.0f;
            return out;
        });
        kottest::OutPath path(".png");
        ASSERT_EQ(save(image.get(), path, png_options(c.id)), KOT_OK);
        const auto im = magick_rgba16(path.str());
        ASSERT_TRUE(im.has_value());
        ASSERT_EQ(im->size(), static_cast<size_t>(4 * w * h));
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 4; ++k) {
                    const int want =
                        k == 3 ? (c.alpha ? sample(x, y, 3) : 65535) : sample(x, y, c.grey ? 0 : k);
                    if ((*im)[static_cast<size_t>(4 * (x + w * y) + k)] != want) ++wrong;
                }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace
