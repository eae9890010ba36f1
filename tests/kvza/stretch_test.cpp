// Resampling: the sampling grid, each mode's kernel on small images worked
// out by hand, transparency, wrap modes at the edges, arguments and progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "image_block.h"

using kvzatest::at;
using kvzatest::ImagePtr;
using kvzatest::make_image;

namespace {

using StretchFn = int32_t (*)(KvzaImage *, const KvzaImage *, KvzaProgress *);

struct Mode {
    const char *name;
    StretchFn fn;
};

const Mode kNear{"Near", kvza_stretch_near};
const Mode kLine{"Line", kvza_stretch_line};
const Mode kSlant{"Slant", kvza_stretch_slant};
const Mode kArc{"Arc", kvza_stretch_arc};
const Mode kShape{"Shape", kvza_stretch_shape};
const Mode kAllModes[] = {kNear, kLine, kSlant, kArc, kShape};

KvzaPixel grey(float w, float a = 1.0f) {
    return {0.0f, 0.0f, w, a};
}

// An image of width x height from pixels given row by row.
ImagePtr image_of(int width, int height, std::initializer_list<KvzaPixel> pixels) {
    auto image = make_image(width, height);
    int i = 0;
    for (const KvzaPixel &p : pixels) image->pixels[i++] = p;
    EXPECT_EQ(i, width * height);
    return image;
}

// An image of opaque greys with the given whiteness values, row by row.
ImagePtr greys(int width, int height, std::initializer_list<float> ws) {
    auto image = make_image(width, height);
    int i = 0;
    for (float w : ws) image->pixels[i++] = grey(w);
    EXPECT_EQ(i, width * height);
    return image;
}

bool same(const KvzaPixel &a, const KvzaPixel &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string show(const KvzaPixel &p) {
    char text[128];
    std::snprintf(text, sizeof text, "(%.9g, %.9g, %.9g, %.9g)", p.c, p.s, p.w, p.a);
    return text;
}

#define EXPECT_PIXEL(actual, expected)      \
    EXPECT_TRUE(same((actual), (expected))) \
        << "got " << show(actual) << ", expected " << show(expected)

// Whiteness of every pixel of a row.
std::vector<float> row_w(KvzaImage *image, int y) {
    std::vector<float> r;
    for (int x = 0; x < image->width; ++x) r.push_back(at(image, x, y).w);
    return r;
}

// A destination of the given size, every pixel a recognisable sentinel.
const KvzaPixel kSentinel{9.0f, -9.0f, 9.0f, 0.25f};

ImagePtr target(int width, int height) {
    auto image = make_image(width, height);
    for (int i = 0; i < width * height; ++i) image->pixels[i] = kSentinel;
    return image;
}

struct Recorder {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    size_t stop_at = 0;  // stop on this call (1-based); 0 never
    static int32_t callback(void *self, uint32_t done, uint32_t total) {
        auto *r = static_cast<Recorder *>(self);
        r->calls.emplace_back(done, total);
        return r->stop_at != 0 && r->calls.size() >= r->stop_at ? 1 : 0;
    }
    KvzaProgress record(uint32_t interval = 0) { return {&callback, this, interval, 0, 0, 0}; }
};

// Three distinct opaque colours per row, nine in all.
ImagePtr distinct3x3() {
    auto image = make_image(3, 3);
    for (int i = 0; i < 9; ++i) {
        // No zero components: a negative zero would not survive mixing bit for bit.
        image->pixels[i] = {0.0625f * (i + 1), -0.03125f * (i + 1), 0.125f * i - 0.4375f, 1.0f};
    }
    return image;
}

}  // namespace

// ---------------------------------------------------------------------------
// Behaviour shared by all five modes.

class EveryMode : public ::testing::TestWithParam<Mode> {};

INSTANTIATE_TEST_SUITE_P(Stretch, EveryMode, ::testing::ValuesIn(kAllModes),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_P(EveryMode, MissingImageFailsAndWritesNothing) {
    auto src = distinct3x3();
    auto dst = target(2, 2);
    Recorder rec;
    KvzaProgress progress = rec.record();
    EXPECT_EQ(GetParam().fn(nullptr, src.get(), &progress), KVZA_FAILED);
    EXPECT_EQ(GetParam().fn(dst.get(), nullptr, &progress), KVZA_FAILED);
    EXPECT_EQ(GetParam().fn(nullptr, nullptr, nullptr), KVZA_FAILED);
    EXPECT_TRUE(rec.calls.empty());
    for (int i = 0; i < 4; ++i) EXPECT_PIXEL(dst->pixels[i], kSentinel);
}

TEST_P(EveryMode, EmptyDestinationIsDone) {
    auto src = distinct3x3();
    auto dst = make_image(0, 0);
    Recorder rec;
    KvzaProgress progress = rec.record();
    EXPECT_EQ(GetParam().fn(dst.get(), src.get(), &progress), KVZA_OK);
    ASSERT_EQ(rec.calls.size(), 1U);  // only the final report
    EXPECT_EQ(rec.calls[0], std::make_pair(0U, 0U));
}

// A 1 x 1 destination uses position 0 only: Near samples (0.5, 0.5), the
// other modes the cell at (0, 0) with both fractions 0 (Shape: both weights 0).
TEST_P(EveryMode, SinglePixelDestinationSamplesTopLeft) {
    auto src = distinct3x3();
    auto dst = target(1, 1);
    EXPECT_EQ(GetParam().fn(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_PIXEL(at(dst.get(), 0, 0), at(src.get(), 0, 0));
}

// Mixing a colour with itself gives it back exactly, so a flat source stays
// flat at any size (for Shape every neighbour is alike: class 7).
TEST_P(EveryMode, FlatSourceStaysFlat) {
    const KvzaPixel colour{0.3f, -0.2f, 0.1f, 0.75f};
    auto src = make_image(3, 2);
    for (int i = 0; i < 6; ++i) src->pixels[i] = colour;
    for (auto [w, h] : {std::pair{7, 5}, {2, 1}, {1, 4}, {5, 3}, {3, 2}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        auto dst = target(w, h);
        ASSERT_EQ(GetParam().fn(dst.get(), src.get(), nullptr), KVZA_OK);
        for (int i = 0; i < w * h; ++i) EXPECT_PIXEL(dst->pixels[i], colour);
    }
}

// Every mixing weight lies in 0 .. 1 and a fully transparent end is dropped,
// so a visible result is a mix of visible source colours only: it stays
// inside their range, and the far-off colour of transparent pixels never
// shows. Alpha stays in 0 .. 1.
TEST_P(EveryMode, TransparentPixelsNeverLendColour) {
    const KvzaPixel hidden{5.0f, -5.0f, 5.0f, 0.0f};
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> unit(-0.5f, 0.5f);
    std::uniform_real_distribution<float> alpha(0.05f, 1.0f);
    for (uint8_t wrap : {KVZA_WRAP_CLAMP, KVZA_WRAP_WRAP, KVZA_WRAP_MIRROR, KVZA_WRAP_BORDER}) {
        auto src = make_image(6, 5);
        src->wrapx = src->wrapy = wrap;
        src->border = hidden;
        float lo[3] = {1, 1, 1}, hi[3] = {-1, -1, -1};
        for (int i = 0; i < 30; ++i) {
            if (rng() % 3 == 0) {
                src->pixels[i] = hidden;
                continue;
            }
            KvzaPixel p{unit(rng), unit(rng), unit(rng), alpha(rng)};
            src->pixels[i] = p;
            const float v[3] = {p.c, p.s, p.w};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], v[k]);
                hi[k] = std::max(hi[k], v[k]);
            }
        }
        for (auto [w, h] : {std::pair{13, 11}, {4, 3}, {17, 2}, {6, 5}}) {
            SCOPED_TRACE("wrap " + std::to_string(wrap) + ", " + std::to_string(w) + "x" +
                         std::to_string(h));
            auto dst = target(w, h);
            ASSERT_EQ(GetParam().fn(dst.get(), src.get(), nullptr), KVZA_OK);
            for (int i = 0; i < w * h; ++i) {
                const KvzaPixel &p = dst->pixels[i];
                EXPECT_GE(p.a, 0.0f);
                EXPECT_LE(p.a, 1.0f);
                if (p.a == 0.0f) continue;
                const float v[3] = {p.c, p.s, p.w};
                for (int k = 0; k < 3; ++k) {
                    EXPECT_GE(v[k], lo[k]) << "pixel " << i << " " << show(p);
                    EXPECT_LE(v[k], hi[k]) << "pixel " << i << " " << show(p);
                }
            }
        }
    }
}

// An image without pixels resolves every position to its border colour; the
// step from an empty axis is huge and must not overflow the coordinates.
TEST_P(EveryMode, EmptySourceGivesItsBorderColour) {
    const KvzaPixel border{0.125f, 0.25f, -0.5f, 0.5f};
    for (auto [w, h] : {std::pair{0, 0}, {0, 3}, {4, 0}}) {
        auto src = make_image(w, h);
        src->wrapx = src->wrapy = KVZA_WRAP_BORDER;
        src->border = border;
        auto dst = target(5, 4);
        ASSERT_EQ(GetParam().fn(dst.get(), src.get(), nullptr), KVZA_OK);
        for (int i = 0; i < 20; ++i) EXPECT_PIXEL(dst->pixels[i], border);
    }
}

// Without a progress record the rows are resampled on all cores; the pixels
// are those of the one-thread walk that a progress record gets, for sizes
// up and down, odd and even, under every wrap mode.
TEST_P(EveryMode, AllCoresGiveTheOneThreadPixels) {
    std::mt19937 rng(GetParam().fn == kvza_stretch_near ? 1 : 2);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    auto src = make_image(37, 23);
    for (int i = 0; i < 37 * 23; ++i)
        src->pixels[i] = {unit(rng) * 0.7f, unit(rng) * 0.7f, unit(rng),
                          i % 7 == 0 ? 0.0f : (unit(rng) + 1.0f) * 0.5f};
    src->border = {0.1f, -0.2f, 0.3f, 0.5f};
    const int sizes[][2] = {{300, 200}, {91, 64}, {13, 17}, {5, 1}};
    for (uint8_t wrap = 0; wrap < 4; ++wrap) {
        src->wrapx = wrap;
        src->wrapy = static_cast<uint8_t>(3 - wrap);
        for (const auto &size : sizes) {
            auto cores = target(size[0], size[1]), one = target(size[0], size[1]);
            Recorder rec;
            KvzaProgress progress = rec.record(1000);
            ASSERT_EQ(GetParam().fn(cores.get(), src.get(), nullptr), KVZA_OK);
            ASSERT_EQ(GetParam().fn(one.get(), src.get(), &progress), KVZA_OK);
            EXPECT_EQ(std::memcmp(cores->pixels, one->pixels,
                                  sizeof(KvzaPixel) * static_cast<size_t>(size[0] * size[1])),
                      0)
                << size[0] << " x " << size[1] << " wrap " << int(wrap);
        }
    }
}

// The same with the values that trip arithmetic shortcuts: NaN, infinities,
// denormals, signed zeros, alphas of exactly 0 and 1, a transparent or NaN
// border, and a source wider than the destination (the row walks read only
// some columns).
TEST_P(EveryMode, AllCoresGiveTheOneThreadPixelsOnAdversarialValues) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float tiny = std::numeric_limits<float>::denorm_min();
    const float specials[] = {0.0f, -0.0f, 1.0f, -1.0f, tiny, -tiny, inf, -inf, nan, 0.5f};
    std::mt19937 rng(7);
    auto pick = [&](float usual) {
        const uint32_t r = rng() % 16;
        return r < 10 ? specials[r] : usual;
    };
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    auto src = make_image(64, 48);
    for (int i = 0; i < 64 * 48; ++i) {
        const float a = rng() % 3 == 0 ? 0.0f : (rng() % 2 == 0 ? 1.0f : pick(0.5f));
        src->pixels[i] = {pick(unit(rng)), pick(unit(rng)), pick(unit(rng)), a};
    }
    const KvzaPixel borders[] = {{0.0f, 0.0f, 0.0f, 0.0f}, {nan, 0.5f, -0.0f, 1.0f}};
    const int sizes[][2] = {{200, 150}, {33, 7}, {1, 40}, {64, 48}, {127, 3}};
    for (const KvzaPixel &border : borders) {
        src->border = border;
        for (uint8_t wrap = 0; wrap < 4; ++wrap) {
            src->wrapx = wrap;
            src->wrapy = static_cast<uint8_t>((wrap + 1) % 4);
            for (const auto &size : sizes) {
                auto cores = target(size[0], size[1]), one = target(size[0], size[1]);
                KvzaProgress progress{nullptr, nullptr, 0, 0, 0, 0};
                ASSERT_EQ(GetParam().fn(cores.get(), src.get(), nullptr), KVZA_OK);
                ASSERT_EQ(GetParam().fn(one.get(), src.get(), &progress), KVZA_OK);
                EXPECT_EQ(std::memcmp(cores->pixels, one->pixels,
                                      sizeof(KvzaPixel) * static_cast<size_t>(size[0] * size[1])),
                          0)
                    << size[0] << " x " << size[1] << " wrap " << int(wrap);
            }
        }
    }
}

TEST_P(EveryMode, ProgressCountsOneStepPerDestinationPixel) {
    auto src = distinct3x3();
    auto dst = target(4, 3);
    Recorder rec;
    KvzaProgress progress = rec.record(0);
    EXPECT_EQ(GetParam().fn(dst.get(), src.get(), &progress), KVZA_OK);
    ASSERT_EQ(rec.calls.size(), 13U);  // 12 steps and the final report
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(rec.calls[i], std::make_pair(i + 1, 12U));
    EXPECT_EQ(rec.calls[12], std::make_pair(12U, 12U));
    EXPECT_EQ(progress.done, 12U);
}

TEST_P(EveryMode, StopAtFirstCallbackKeepsFirstPixel) {
    auto src = distinct3x3();
    auto dst = target(4, 3);
    Recorder rec;
    rec.stop_at = 1;
    KvzaProgress progress = rec.record(0);
    EXPECT_EQ(GetParam().fn(dst.get(), src.get(), &progress), KVZA_CANCELED);
    EXPECT_EQ(rec.calls.size(), 1U);  // no final report after a stop
    // The first destination pixel sits on source (0, 0) in every mode.
    EXPECT_PIXEL(dst->pixels[0], at(src.get(), 0, 0));
    for (int i = 1; i < 12; ++i) EXPECT_PIXEL(dst->pixels[i], kSentinel);
}

TEST_P(EveryMode, StopMidwayKeepsTheRowsWritten) {
    auto src = distinct3x3();
    src->pixels[4].a = 0.0f;
    auto full = target(5, 4);
    ASSERT_EQ(GetParam().fn(full.get(), src.get(), nullptr), KVZA_OK);

    auto dst = target(5, 4);
    Recorder rec;
    rec.stop_at = 1;
    KvzaProgress progress = rec.record(6);  // first callback after 7 steps
    EXPECT_EQ(GetParam().fn(dst.get(), src.get(), &progress), KVZA_CANCELED);
    ASSERT_EQ(rec.calls.size(), 1U);
    EXPECT_EQ(rec.calls[0], std::make_pair(7U, 20U));
    for (int i = 0; i < 7; ++i) EXPECT_PIXEL(dst->pixels[i], full->pixels[i]);
    for (int i = 7; i < 20; ++i) EXPECT_PIXEL(dst->pixels[i], kSentinel);
}

// ---------------------------------------------------------------------------
// Near: copies of source pixels at floor(X), floor(Y), X and Y from 0.5.

TEST(StretchNear, ThreeToFiveSamplesColumns01122) {
    auto src = greys(3, 1, {-0.5f, 0.0f, 0.5f});
    auto dst = target(5, 1);
    ASSERT_EQ(kvza_stretch_near(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_EQ(row_w(dst.get(), 0), (std::vector<float>{-0.5f, 0.0f, 0.0f, 0.5f, 0.5f}));
}

TEST(StretchNear, FiveToThreeSamplesColumns024) {
    auto src = greys(5, 1, {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f});
    auto dst = target(3, 1);
    ASSERT_EQ(kvza_stretch_near(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_EQ(row_w(dst.get(), 0), (std::vector<float>{-1.0f, 0.0f, 1.0f}));
}

// Step 1/3: X = 0.5, 0.83, 1.17, 1.5.
TEST(StretchNear, TwoToFourSamplesColumns0011) {
    auto src = greys(2, 1, {-0.5f, 0.5f});
    auto dst = target(4, 1);
    ASSERT_EQ(kvza_stretch_near(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_EQ(row_w(dst.get(), 0), (std::vector<float>{-0.5f, -0.5f, 0.5f, 0.5f}));
}

TEST(StretchNear, BothAxesAndWholePixelsCopied) {
    auto src = distinct3x3();
    at(src.get(), 2, 1) = {0.75f, -0.25f, 0.5f, 0.0f};  // transparent: copied as it is
    auto dst = target(5, 5);
    ASSERT_EQ(kvza_stretch_near(dst.get(), src.get(), nullptr), KVZA_OK);
    const int map[5] = {0, 1, 1, 2, 2};
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            EXPECT_PIXEL(at(dst.get(), x, y), at(src.get(), map[x], map[y]));
        }
    }
}

// A destination one pixel wide keeps X at 0.5; its rows still step.
TEST(StretchNear, SingleColumnDestination) {
    auto src = greys(4, 3, {-1, 0.1f, 0.2f, 0.3f, 0, 0.4f, 0.5f, 0.6f, 1, 0.7f, 0.8f, 0.9f});
    auto dst = target(1, 3);
    ASSERT_EQ(kvza_stretch_near(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_EQ(at(dst.get(), 0, 0).w, -1.0f);
    EXPECT_EQ(at(dst.get(), 0, 1).w, 0.0f);
    EXPECT_EQ(at(dst.get(), 0, 2).w, 1.0f);
}

// ---------------------------------------------------------------------------
// Line: bilinear from origin 0, horizontal-first and vertical-first blended.

TEST(StretchLine, TwoToThreeMiddleIsMeanLastIsClamped) {
    auto src = greys(2, 1, {0.25f, 0.75f});
    auto dst = target(3, 1);
    ASSERT_EQ(kvza_stretch_line(dst.get(), src.get(), nullptr), KVZA_OK);
    // X = 0, 0.5, 1; the last reads column 2, clamped to column 1, with fx = 0.
    EXPECT_EQ(row_w(dst.get(), 0), (std::vector<float>{0.25f, 0.5f, 0.75f}));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(at(dst.get(), x, 0).a, 1.0f);
}

TEST(StretchLine, TwoByTwoToThreeByThreeIsBilinear) {
    auto src = greys(2, 2, {0.0f, 0.5f, 0.25f, 1.0f});
    auto dst = target(3, 3);
    ASSERT_EQ(kvza_stretch_line(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_EQ(row_w(dst.get(), 0), (std::vector<float>{0.0f, 0.25f, 0.5f}));
    EXPECT_EQ(row_w(dst.get(), 1), (std::vector<float>{0.125f, 0.4375f, 0.75f}));
    EXPECT_EQ(row_w(dst.get(), 2), (std::vector<float>{0.25f, 0.625f, 1.0f}));
}

TEST(StretchLine, ShrinkingFiveToThreeHitsColumns024) {
    auto src = greys(5, 1, {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f});
    auto dst = target(3, 1);
    ASSERT_EQ(kvza_stretch_line(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_EQ(row_w(dst.get(), 0), (std::vector<float>{-1.0f, 0.0f, 1.0f}));
}

// At the last column fx = 0 and at the last row fy = 0: the corners beyond
// the image (here the border colour) get weight 0, so visible edge pixels
// are only interpolated along the edge.
TEST(StretchLine, LastColumnAndRowInterpolateAlongTheEdgeOnly) {
    auto src = image_of(2, 2,
                        {{0.125f, 0.0f, -0.5f, 1.0f},
                         {0.25f, 0.0f, 0.25f, 1.0f},
                         {0.375f, 0.0f, 0.5f, 1.0f},
                         {0.5f, 0.0f, 0.75f, 0.5f}});
    src->wrapx = src->wrapy = KVZA_WRAP_BORDER;
    src->border = {-0.9f, 0.9f, -0.9f, 1.0f};
    auto dst = target(3, 3);
    ASSERT_EQ(kvza_stretch_line(dst.get(), src.get(), nullptr), KVZA_OK);
    // Last column: src column 1 and the midpoint of its two pixels.
    EXPECT_PIXEL(at(dst.get(), 2, 0), at(src.get(), 1, 0));
    EXPECT_PIXEL(at(dst.get(), 2, 1), (KvzaPixel{0.375f, 0.0f, 0.5f, 0.75f}));
    EXPECT_PIXEL(at(dst.get(), 2, 2), at(src.get(), 1, 1));
    // Last row: src row 1 and the midpoint of its two pixels.
    EXPECT_PIXEL(at(dst.get(), 0, 2), at(src.get(), 0, 1));
    EXPECT_PIXEL(at(dst.get(), 1, 2), (KvzaPixel{0.4375f, 0.0f, 0.625f, 0.75f}));
}

// TL w 0, TR transparent, BL w 0, BR w 1 at the cell centre:
// horizontal first: top = TL's colour at alpha 0.5, bottom = w 0.5, E1 = w 0.25, a 0.75;
// vertical first: left = w 0, right = BR's colour at alpha 0.5, E2 = w 0.5, a 0.75;
// blend2 with equal alphas: w 0.375, a 0.75.
TEST(StretchLine, AxisOrdersDifferNextToTransparency) {
    auto src = image_of(2, 2, {grey(0.0f), {0.5f, -0.5f, 0.75f, 0.0f}, grey(0.0f), grey(1.0f)});
    auto dst = target(3, 3);
    ASSERT_EQ(kvza_stretch_line(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_PIXEL(at(dst.get(), 1, 1), (KvzaPixel{0.0f, 0.0f, 0.375f, 0.75f}));
    // Top middle: TL and the transparent TR, fy = 0: TL's colour at alpha 0.5.
    EXPECT_PIXEL(at(dst.get(), 1, 0), (KvzaPixel{0.0f, 0.0f, 0.0f, 0.5f}));
}

// ---------------------------------------------------------------------------
// Wrap modes at the edges. The last column (or row) reads corners beyond the
// image at weight 0; they still decide the colour a fully transparent edge
// pixel passes on (at alpha 0), which shows which pixel the wrap mode chose.

namespace {

const KvzaPixel kOpaque{0.25f, 0.0f, -0.5f, 1.0f};       // first source pixel
const KvzaPixel kClear{-0.25f, 0.125f, 0.5f, 0.0f};      // last source pixel, transparent
const KvzaPixel kBorderColour{0.0f, 0.5f, 0.25f, 1.0f};  // border, opaque

struct EdgeCase {
    const char *name;
    Mode mode;
    bool vertical;    // source 1 x 2 instead of 2 x 1
    int dst_len;      // destination length along that axis
    bool wrap_lends;  // the colour comes from the pixel past the edge
};

class EdgeWrap : public ::testing::TestWithParam<EdgeCase> {};

}  // namespace

TEST_P(EdgeWrap, LastPixelTakesItsColourFromTheWrappedPosition) {
    const EdgeCase &e = GetParam();
    struct {
        uint8_t wrap;
        KvzaPixel beyond;  // what the position past the edge resolves to
    } const cases[] = {{KVZA_WRAP_CLAMP, kClear},
                       {KVZA_WRAP_MIRROR, kClear},
                       {KVZA_WRAP_WRAP, kOpaque},
                       {KVZA_WRAP_BORDER, kBorderColour}};
    for (const auto &c : cases) {
        SCOPED_TRACE("wrap " + std::to_string(c.wrap));
        auto src =
            e.vertical ? image_of(1, 2, {kOpaque, kClear}) : image_of(2, 1, {kOpaque, kClear});
        (e.vertical ? src->wrapy : src->wrapx) = c.wrap;
        src->border = kBorderColour;
        auto dst = e.vertical ? target(1, e.dst_len) : target(e.dst_len, 1);
        ASSERT_EQ(e.mode.fn(dst.get(), src.get(), nullptr), KVZA_OK);
        const KvzaPixel &last = dst->pixels[e.dst_len - 1];
        KvzaPixel expected = e.wrap_lends ? c.beyond : kClear;
        expected.a = 0.0f;
        EXPECT_PIXEL(last, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Stretch, EdgeWrap,
                         ::testing::Values(EdgeCase{"LineX", kLine, false, 3, true},
                                           EdgeCase{"LineY", kLine, true, 3, true},
                                           EdgeCase{"ArcX", kArc, false, 3, true},
                                           // From TL the first test is fx = 0: U mixes
                                           // TL with BL, both the clear pixel.
                                           EdgeCase{"SlantX", kSlant, false, 3, false},
                                           EdgeCase{"SlantY", kSlant, true, 3, true},
                                           EdgeCase{"ShapeX", kShape, false, 2, true},
                                           EdgeCase{"ShapeY", kShape, true, 2, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Slant: triangles from TL and from TR, blended. Source w: TL 0, TR 0.5,
// BL 0.25, BR 0.75; 5 x 5 gives fractions 0, 0.25, 0.5, 0.75 exactly.

TEST(StretchSlant, TrianglesWorkedByHand) {
    auto src = greys(2, 2, {0.0f, 0.5f, 0.25f, 0.75f});
    auto dst = target(5, 5);
    ASSERT_EQ(kvza_stretch_slant(dst.get(), src.get(), nullptr), KVZA_OK);
    // fx = fy = 0.25: U = TL..(TR..BR at 0.25) at 0.25 = 0.140625;
    // g = 0.75 > fy: V = TR..(TL..BL at 0.25) at 0.75 = 0.171875.
    EXPECT_EQ(at(dst.get(), 1, 1).w, 0.15625f);
    // fx = 0.75, fy = 0.25: U = TL..(TR..BR at 0.25) at 0.75 = 0.421875;
    // g = 0.25 equals fy: V = TR..BL at 0.25 = 0.4375.
    EXPECT_EQ(at(dst.get(), 3, 1).w, 0.4296875f);
    // fx = 0.25 < fy = 0.75: U = TL..(BL..BR at 0.25) at 0.75 = 0.28125;
    // g = 0.75 equals fy: V = TR..BL at 0.75 = 0.3125.
    EXPECT_EQ(at(dst.get(), 1, 3).w, 0.296875f);
    // fx = fy = 0.75: U = TL..(TR..BR at 0.75) at 0.75 = 0.515625;
    // g = 0.25 < fy: V = TR..(BR..BL at 0.25) at 0.75 = 0.59375.
    EXPECT_EQ(at(dst.get(), 3, 3).w, 0.5546875f);
    // Centre: U = TL..(TR..BR at 0.5) at 0.5 = 0.3125; V = TR..BL at 0.5 = 0.375.
    EXPECT_EQ(at(dst.get(), 2, 2).w, 0.34375f);
    // Top edge (fy = 0): both estimates are TL..TR.
    EXPECT_EQ(at(dst.get(), 2, 0).w, 0.25f);
    // Left edge (fx = 0): U = TL..BL; V (g = 1) = TR..(TL..BL) at 1, the same.
    EXPECT_EQ(at(dst.get(), 0, 2).w, 0.125f);
    // Last column (fx = 0 in the cell at column 1): src column 1 interpolated.
    EXPECT_EQ(at(dst.get(), 4, 2).w, 0.625f);
    EXPECT_EQ(at(dst.get(), 4, 4).w, 0.75f);
}

TEST(StretchSlant, TransparentCornerLendsNoColour) {
    auto src = image_of(2, 2, {grey(-0.5f), {0.5f, 0.5f, 0.5f, 0.0f}, grey(0.0f), grey(0.5f)});
    auto dst = target(3, 3);
    ASSERT_EQ(kvza_stretch_slant(dst.get(), src.get(), nullptr), KVZA_OK);
    // fy = 0, fx = 0.5: U = TL..TR, V = TR..TL at 0.5: TL's colour, alpha 0.5.
    EXPECT_PIXEL(at(dst.get(), 1, 0), grey(-0.5f, 0.5f));
}

// ---------------------------------------------------------------------------
// Arc: corner weights 1 - distance.

TEST(StretchArc, CentreAndEdgeMidpoints) {
    auto src = greys(2, 2, {0.0f, 0.5f, 0.25f, 1.0f});
    auto dst = target(3, 3);
    ASSERT_EQ(kvza_stretch_arc(dst.get(), src.get(), nullptr), KVZA_OK);
    // Centre: four equal weights, every ratio exactly 0.5: the mean.
    EXPECT_EQ(at(dst.get(), 1, 1).w, 0.4375f);
    // Top midpoint: wTL = wTR = 0.5, bottom corners at distance > 1 count 0;
    // T = mean(TL, TR), L = TL, R = TR, E2 = mean(L, R).
    EXPECT_EQ(at(dst.get(), 1, 0).w, 0.25f);
    // Left midpoint likewise: mean(TL, BL).
    EXPECT_EQ(at(dst.get(), 0, 1).w, 0.125f);
}

// fx = fy = 0.25 with TL = 0: wBR = 0 (distance sqrt(1.125)), so B = BL and
// R = TR. With wTR = wBL = 1 - sqrt(0.625) and wTL = 1 - sqrt(0.125),
// both edge estimates reduce to q (TR + BL), q = wTR / (wTL + 2 wTR).
TEST(StretchArc, QuarterPositionByDistanceWeights) {
    auto src = greys(2, 2, {0.0f, 0.5f, 0.25f, 1.0f});
    auto dst = target(5, 5);
    ASSERT_EQ(kvza_stretch_arc(dst.get(), src.get(), nullptr), KVZA_OK);
    const double wtl = 1.0 - std::sqrt(0.125);
    const double wtr = 1.0 - std::sqrt(0.625);
    const double q = wtr / (wtl + 2.0 * wtr);
    EXPECT_NEAR(at(dst.get(), 1, 1).w, q * 0.75, 1e-6);
    EXPECT_NEAR(at(dst.get(), 1, 1).w, 0.147444, 1e-5);
    // Along the top edge the weights are 1 - fx and fx: plain linear.
    EXPECT_EQ(at(dst.get(), 1, 0).w, 0.125f);
    EXPECT_EQ(at(dst.get(), 3, 0).w, 0.375f);
}

TEST(StretchArc, TransparentCornerLendsNoColour) {
    auto src = image_of(2, 2, {grey(-0.5f), {0.5f, 0.5f, 0.5f, 0.0f}, grey(0.0f), grey(0.5f)});
    auto dst = target(3, 3);
    ASSERT_EQ(kvza_stretch_arc(dst.get(), src.get(), nullptr), KVZA_OK);
    // T = TL..TR at 0.5 -> TL at alpha 0.5; R = TR..BR at 0 -> alpha 0;
    // E2 = L..R at 0.5 -> TL at alpha 0.5.
    EXPECT_PIXEL(at(dst.get(), 1, 0), grey(-0.5f, 0.5f));
}

// ---------------------------------------------------------------------------
// Shape: edge-directed, from origin 0.5.

// One row: the vertical neighbours clamp onto the row itself (alike), the
// two sources differ: class 1, which mixes P0 and PH by wx.
// Step 0.25: X = 0.5, 0.75, 1, 1.25, 1.5.
TEST(StretchShape, SingleRowIsLinearBetweenDifferentPixels) {
    auto src = greys(2, 1, {-0.5f, 0.5f});
    auto dst = target(5, 1);
    ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_EQ(row_w(dst.get(), 0), (std::vector<float>{-0.5f, -0.25f, 0.0f, 0.25f, 0.5f}));
}

TEST(StretchShape, TransparentNeighbourOnlyFades) {
    const KvzaPixel red{1.0f, 0.0f, 0.0f, 1.0f};
    const KvzaPixel clear{-0.5f, -0.5f, 0.5f, 0.0f};
    auto src = image_of(2, 1, {red, clear});
    auto dst = target(5, 1);
    ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
    // Class 1 throughout (the clamped row above and below is alike): P0..PH by
    // wx, which keeps red's colour and only moves alpha.
    EXPECT_PIXEL(at(dst.get(), 0, 0), red);
    EXPECT_PIXEL(at(dst.get(), 1, 0), (KvzaPixel{1.0f, 0.0f, 0.0f, 0.75f}));
    EXPECT_PIXEL(at(dst.get(), 2, 0), (KvzaPixel{1.0f, 0.0f, 0.0f, 0.5f}));
    EXPECT_PIXEL(at(dst.get(), 3, 0), (KvzaPixel{1.0f, 0.0f, 0.0f, 0.25f}));
    EXPECT_PIXEL(at(dst.get(), 4, 0), clear);
}

// 2 x 2 -> 3 x 3: the centre (X = Y = 1) has P0 = (1,1), PV = (1,0),
// PH = (0,1), PD = (0,0) and wx = wy = 0.5.
TEST(StretchShape, DiagonalThroughCentreIsKept) {
    auto src = greys(2, 2, {0.5f, -0.5f, -0.5f, 0.5f});
    auto dst = target(3, 3);
    ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
    // P0 alike PD only (class 4): mean of P0 and PD, where bilinear gives 0.
    EXPECT_EQ(at(dst.get(), 1, 1).w, 0.5f);
}

TEST(StretchShape, CornerOfThreeIgnoresTheOddPixel) {
    auto src = greys(2, 2, {-0.5f, 0.5f, 0.5f, 0.5f});
    auto dst = target(3, 3);
    ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
    // P0 alike PV and PH (class 3), t = 1: M = mean(PV, PH), PD at weight 0.
    EXPECT_EQ(at(dst.get(), 1, 1).w, 0.5f);
}

// Class 3 with t = wx + wy = 1 mixes M = PV..PH with PD at weight 0, so when
// P0, PV and PH are all transparent (and alike) the result is transparent in
// PD's colour rather than P0's.
TEST(StretchShape, CornerOfThreeAtFullWeightEndsOnTheDiagonal) {
    auto src = image_of(
        2, 2, {grey(-0.5f), grey(0.515625f, 0.0f), grey(0.484375f, 0.0f), grey(0.5f, 0.0f)});
    auto dst = target(3, 3);
    ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
    EXPECT_PIXEL(at(dst.get(), 1, 1), grey(-0.5f, 0.0f));
}

// 2 x 2 -> 5 x 5, dst (1, 2): X = 0.75, Y = 1: P0 = (0,1), PV = (0,0),
// PH = (1,1), PD = (1,0), wx = 0.25, wy = 0.5.
TEST(StretchShape, ClassThreeOffCentre) {
    // P0 0.5, PV 0.515625, PH 0.484375 (both within 0.03 of P0), PD -0.5.
    auto src = greys(2, 2, {0.515625f, -0.5f, 0.5f, 0.484375f});
    auto dst = target(5, 5);
    ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
    // M = PV..PH at 0.25 = 0.5078125; t = 0.75: P0..M at 0.75.
    EXPECT_EQ(at(dst.get(), 1, 2).w, 0.505859375f);
}

TEST(StretchShape, ClassSevenIsBilinear) {
    // All four within 0.03 of P0 (0.5): PV 0.515625, PH 0.484375, PD 0.5.
    auto src = greys(2, 2, {0.515625f, 0.5f, 0.5f, 0.484375f});
    auto dst = target(5, 5);
    ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
    // E1 = (P0..PV at 0.5)..(PH..PD at 0.5) at 0.25; E2 = (P0..PH at 0.25)..(PV..PD at 0.25)
    // at 0.5; both 0.50390625.
    EXPECT_EQ(at(dst.get(), 1, 2).w, 0.50390625f);
}

// Class 4 (P0 alike PD only): M = P0..PD at (wx + wy) / 2, then towards PV
// when wx < wy, else towards PH, by |wx - wy|. Source (0,0) -0.5,
// (1,0) 0.5, (0,1) 0.5, (1,1) -0.25.
TEST(StretchShape, DiagonalClassLeansTowardsTheNearerSide) {
    auto src = greys(2, 2, {-0.5f, 0.5f, 0.5f, -0.25f});
    auto dst = target(5, 5);
    ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
    // dst (1,2): P0 (0,1), PD (1,0), wx 0.25 < wy 0.5: towards PV = (0,0).
    EXPECT_EQ(at(dst.get(), 1, 2).w, 0.25f);
    // dst (2,1): X = 1, Y = 0.75: P0 (1,0), PD (0,1), PV (1,1), PH (0,0),
    // wx 0.5 > wy 0.25: towards PH = (0,0).
    EXPECT_EQ(at(dst.get(), 2, 1).w, 0.25f);
}

// Alikeness decides between class 4 (centre = mean of P0 and PD) and, when
// P0 and PD differ, class 3 through PV alike PH (centre = mean of PV and PH,
// whiteness -0.5 here). P0 is (1,1), PD is (0,0) of a 2 x 2 source.
TEST(StretchShape, AlikeMeansEveryDifferenceBelowThreshold) {
    const KvzaPixel base{0.25f, 0.0f, 0.5f, 1.0f};
    const double turn = 6.283185307179586;
    auto hue_turned = [&](double turns) {
        return KvzaPixel{static_cast<float>(0.25 * std::cos(turn * turns)),
                         static_cast<float>(0.25 * std::sin(turn * turns)), 0.5f, 1.0f};
    };
    struct {
        const char *what;
        KvzaPixel p0, pd;
        bool alike;
    } const cases[] = {
        {"alpha 1/64 apart", base, {0.25f, 0.0f, 0.5f, 0.984375f}, true},
        {"alpha 1/32 apart", base, {0.25f, 0.0f, 0.5f, 0.96875f}, false},
        {"whiteness 1/64 apart", base, {0.25f, 0.0f, 0.515625f, 1.0f}, true},
        {"whiteness 1/32 apart", base, {0.25f, 0.0f, 0.53125f, 1.0f}, false},
        {"chroma 1/64 apart", base, {0.265625f, 0.0f, 0.5f, 1.0f}, true},
        {"chroma 1/32 apart", base, {0.28125f, 0.0f, 0.5f, 1.0f}, false},
        {"hue 0.02 turn apart", base, hue_turned(0.02), true},
        {"hue 0.04 turn apart", base, hue_turned(0.04), false},
        {"hue -0.04 turn apart", base, hue_turned(-0.04), false},
        {"grey matches any hue", {0.0f, 0.0f, 0.5f, 1.0f}, {0.0f, 0.02f, 0.5f, 1.0f}, true},
    };
    const KvzaPixel far = grey(-0.5f);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto src = image_of(2, 2, {c.pd, far, far, c.p0});
        auto dst = target(3, 3);
        ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
        const KvzaPixel &centre = at(dst.get(), 1, 1);
        if (c.alike) {
            EXPECT_NEAR(centre.w, 0.5 * (c.p0.w + c.pd.w), 1e-6);
            EXPECT_NEAR(centre.c, 0.5 * (c.p0.c + c.pd.c), 1e-6);
        } else {
            EXPECT_PIXEL(centre, far);
        }
    }
}

// ---------------------------------------------------------------------------
// The interpolating modes against a direct reading of their rules built from
// the exported primitives (kvza_getpixptr, kvza_interp, kvza_blend2,
// kvza_getpixchroma, kvza_subhue), bit for bit, on random images with
// transparency, every wrap mode and a range of sizes.

namespace {

struct Ref {
    const KvzaImage *src;
    KvzaPixel at(int32_t x, int32_t y) const {
        return *kvza_getpixptr(const_cast<KvzaImage *>(src), x, y);
    }
    static KvzaPixel interp(KvzaPixel p, KvzaPixel q, double t) {
        KvzaPixel r{};
        kvza_interp(&r, &p, &q, t);
        return r;
    }
    static KvzaPixel blend2(KvzaPixel p, KvzaPixel q) {
        KvzaPixel r{};
        kvza_blend2(&r, &p, &q);
        return r;
    }
};

void cell(double v, int32_t &i, double &f) {
    i = static_cast<int32_t>(std::floor(v));
    f = std::clamp(v - i, 0.0, 1.0);
}

KvzaPixel ref_line(const Ref &r, double x, double y) {
    int32_t ix, iy;
    double fx, fy;
    cell(x, ix, fx);
    cell(y, iy, fy);
    KvzaPixel tl = r.at(ix, iy), tr = r.at(ix + 1, iy), bl = r.at(ix, iy + 1),
              br = r.at(ix + 1, iy + 1);
    KvzaPixel e1 = Ref::interp(Ref::interp(tl, tr, fx), Ref::interp(bl, br, fx), fy);
    KvzaPixel e2 = Ref::interp(Ref::interp(tl, bl, fy), Ref::interp(tr, br, fy), fx);
    return Ref::blend2(e1, e2);
}

KvzaPixel ref_slant(const Ref &r, double x, double y) {
    int32_t ix, iy;
    double fx, fy;
    cell(x, ix, fx);
    cell(y, iy, fy);
    KvzaPixel tl = r.at(ix, iy), tr = r.at(ix + 1, iy), bl = r.at(ix, iy + 1),
              br = r.at(ix + 1, iy + 1);
    const double e = 1e-9, g = 1.0 - fx;
    KvzaPixel u = fx < e    ? Ref::interp(tl, bl, fy)
                  : fy < e  ? Ref::interp(tl, tr, fx)
                  : fx < fy ? Ref::interp(tl, Ref::interp(bl, br, fx), fy)
                            : Ref::interp(tl, Ref::interp(tr, br, fy), fx);
    KvzaPixel v = g < e     ? Ref::interp(tr, br, fy)
                  : fy < e  ? Ref::interp(tr, tl, g)
                  : g == fy ? Ref::interp(tr, bl, g)
                  : g < fy  ? Ref::interp(tr, Ref::interp(br, bl, g), fy)
                            : Ref::interp(tr, Ref::interp(tl, bl, fy), g);
    return Ref::blend2(u, v);
}

KvzaPixel ref_arc(const Ref &r, double x, double y, KvzaPixel old) {
    int32_t ix, iy;
    double fx, fy;
    cell(x, ix, fx);
    cell(y, iy, fy);
    KvzaPixel tl = r.at(ix, iy), tr = r.at(ix + 1, iy), bl = r.at(ix, iy + 1),
              br = r.at(ix + 1, iy + 1);
    auto wt = [](double a, double b) { return std::max(0.0, 1.0 - std::sqrt(a * a + b * b)); };
    double wtl = wt(fx, fy), wtr = wt(1 - fx, fy), wbl = wt(fx, 1 - fy), wbr = wt(1 - fx, 1 - fy);
    // Each estimate: present flag and value.
    struct Est {
        bool ok = false;
        KvzaPixel p{};
    };
    auto edge = [](KvzaPixel a, KvzaPixel b, double wa, double wb) {
        Est e;
        if (wa + wb > 0) e = {true, Ref::interp(a, b, wb / (wa + wb))};
        return e;
    };
    auto pair = [](Est a, Est b, double sa, double sb) {
        if (a.ok && b.ok) return Est{true, Ref::interp(a.p, b.p, sb / (sb + sa))};
        return a.ok ? a : b;
    };
    Est t = edge(tl, tr, wtl, wtr), b = edge(bl, br, wbl, wbr);
    Est l = edge(tl, bl, wtl, wbl), rr = edge(tr, br, wtr, wbr);
    Est e1 = pair(t, b, wtl + wtr, wbl + wbr), e2 = pair(l, rr, wtl + wbl, wtr + wbr);
    if (e1.ok && e2.ok) return Ref::blend2(e1.p, e2.p);
    if (e1.ok) return e1.p;
    if (e2.ok) return e2.p;
    return old;
}

bool ref_alike(const KvzaPixel &p, const KvzaPixel &q) {
    return std::fabs(p.a - q.a) < 0.03f && std::fabs(p.w - q.w) < 0.03f &&
           std::fabs(kvza_getpixchroma(&p) - kvza_getpixchroma(&q)) < 0.03f &&
           std::fabs(kvza_subhue(&p, &q)) < 0.03f;
}

KvzaPixel ref_shape(const Ref &r, double x, double y) {
    int32_t ix, iy;
    double fx, fy;
    cell(x, ix, fx);
    cell(y, iy, fy);
    const double wy = fy >= 0.5 ? fy - 0.5 : 0.5 - fy;
    const double wx = fx >= 0.5 ? fx - 0.5 : 0.5 - fx;
    const int32_t ny = fy >= 0.5 ? iy + 1 : iy - 1;
    const int32_t nx = fx >= 0.5 ? ix + 1 : ix - 1;
    KvzaPixel p0 = r.at(ix, iy), pv = r.at(ix, ny), ph = r.at(nx, iy), pd = r.at(nx, ny);
    int k = (ref_alike(p0, pv) ? 1 : 0) + (ref_alike(p0, ph) ? 2 : 0) + (ref_alike(p0, pd) ? 4 : 0);
    if (k == 0) {
        k = ref_alike(pv, ph) ? 3 : ref_alike(pv, pd) ? 2 : ref_alike(ph, pd) ? 1 : 0;
    }
    auto I = Ref::interp;
    if (k == 0 || k == 7) {
        return Ref::blend2(I(I(p0, pv, wy), I(ph, pd, wy), wx),
                           I(I(p0, ph, wx), I(pv, pd, wx), wy));
    }
    if (k == 1) return I(I(p0, pv, wy), I(ph, pd, wy), wx);
    if (k == 2) return I(I(p0, ph, wx), I(pv, pd, wx), wy);
    if (k == 3) {
        KvzaPixel m = I(pv, ph, wx);
        const double t = wx + wy;
        return t >= 1 ? I(m, pd, t - 1) : I(p0, m, t);
    }
    KvzaPixel m = I(p0, pd, (wx + wy) * 0.5);
    return wx < wy ? I(m, pv, std::fabs(wx - wy)) : I(m, ph, std::fabs(wx - wy));
}

// Random source whose values come from small sets, so that alike and
// unlike neighbours, grey pixels and transparent ones all occur.
ImagePtr random_source(std::mt19937 &rng, int w, int h) {
    auto image = make_image(w, h);
    const float cs[] = {0.0f, 0.0f, 0.3f, -0.31f, 0.5f};
    const float ws[] = {-0.5f, 0.0f, 0.01f, 0.5f, 0.52f};
    const float as[] = {0.0f, 0.5f, 0.99f, 1.0f, 1.0f};
    for (int i = 0; i < w * h; ++i) {
        image->pixels[i] = {cs[rng() % 5], cs[rng() % 5], ws[rng() % 5], as[rng() % 5]};
    }
    image->wrapx = static_cast<uint8_t>(rng() % 5);  // 4 behaves as Clamp
    image->wrapy = static_cast<uint8_t>(rng() % 5);
    image->border = {0.1f, 0.2f, 0.3f, static_cast<float>(rng() % 2)};
    return image;
}

}  // namespace

TEST(StretchReference, InterpolatingModesFollowTheirRulesExactly) {
    std::mt19937 rng(77);
    const std::pair<int, int> src_sizes[] = {{5, 4}, {3, 3}, {1, 1}, {2, 6}, {7, 2}};
    const std::pair<int, int> dst_sizes[] = {{9, 7}, {3, 2}, {4, 4}, {1, 5}, {13, 3}, {6, 11}};
    for (int round = 0; round < 8; ++round) {
        for (auto [sw, sh] : src_sizes) {
            auto src = random_source(rng, sw, sh);
            const Ref ref{src.get()};
            for (auto [dw, dh] : dst_sizes) {
                SCOPED_TRACE(std::to_string(sw) + "x" + std::to_string(sh) + " -> " +
                             std::to_string(dw) + "x" + std::to_string(dh));
                const double sx = dw > 1 ? double(sw - 1) / (dw - 1) : 0.0;
                const double sy = dh > 1 ? double(sh - 1) / (dh - 1) : 0.0;
                auto check = [&](const char *name, StretchFn fn, double origin, auto reference) {
                    auto dst = target(dw, dh);
                    ASSERT_EQ(fn(dst.get(), src.get(), nullptr), KVZA_OK);
                    double y = origin;
                    for (int j = 0; j < dh; ++j, y += sy) {
                        double x = origin;
                        for (int i = 0; i < dw; ++i, x += sx) {
                            const KvzaPixel want = reference(x, y);
                            ASSERT_TRUE(same(at(dst.get(), i, j), want))
                                << name << " at " << i << "," << j << ": got "
                                << show(at(dst.get(), i, j)) << ", expected " << show(want);
                        }
                    }
                };
                check("Line", kvza_stretch_line, 0.0,
                      [&](double x, double y) { return ref_line(ref, x, y); });
                check("Slant", kvza_stretch_slant, 0.0,
                      [&](double x, double y) { return ref_slant(ref, x, y); });
                check("Arc", kvza_stretch_arc, 0.0,
                      [&](double x, double y) { return ref_arc(ref, x, y, kSentinel); });
                check("Shape", kvza_stretch_shape, 0.5,
                      [&](double x, double y) { return ref_shape(ref, x, y); });
            }
        }
    }
}

// Hue differences around the alikeness limit of 0.03 turn, at several base
// hues and chromas: the Shape result must follow |kvza_subhue| < 0.03 exactly,
// also within a hair of the limit. With P0 and PD alike the centre of a 2 x 2
// -> 3 x 3 stretch is their mean (class 4); otherwise it is the unlike
// PV = PH colour (class 3).
TEST(StretchReference, ShapeHueLimitFollowsTheExactHueDifference) {
    const double turn = 6.283185307179586;
    const KvzaPixel far = grey(-0.5f);
    int alike_seen = 0, unlike_seen = 0;
    for (double base : {0.0, 0.13, 0.25, 0.5, 0.77, 0.999}) {
        for (double chroma : {0.05, 0.4, 0.9}) {
            for (int step = -300; step <= 300; ++step) {
                const double offset = (step < 0 ? -1 : 1) * (0.0297 + std::abs(step) * 2e-6);
                const KvzaPixel p0{static_cast<float>(chroma * std::cos(turn * base)),
                                   static_cast<float>(chroma * std::sin(turn * base)), 0.25f, 1.0f};
                const KvzaPixel pd{static_cast<float>(chroma * std::cos(turn * (base + offset))),
                                   static_cast<float>(chroma * std::sin(turn * (base + offset))),
                                   0.25f, 1.0f};
                auto src = image_of(2, 2, {pd, far, far, p0});
                auto dst = target(3, 3);
                ASSERT_EQ(kvza_stretch_shape(dst.get(), src.get(), nullptr), KVZA_OK);
                const bool alike =
                    std::fabs(kvza_getpixchroma(&p0) - kvza_getpixchroma(&pd)) < 0.03f &&
                    std::fabs(kvza_subhue(&pd, &p0)) < 0.03f;
                KvzaPixel want = far;
                if (alike) kvza_interp(&want, &p0, &pd, 0.5);
                ASSERT_TRUE(same(at(dst.get(), 1, 1), want))
                    << "base " << base << " chroma " << chroma << " offset " << offset;
                ++(alike ? alike_seen : unlike_seen);
            }
        }
    }
    // The sweep straddles the limit.
    EXPECT_GT(alike_seen, 1000);
    EXPECT_GT(unlike_seen, 1000);
}
