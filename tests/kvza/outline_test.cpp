// Outline colour adjustment, edge antialiasing, grey and alpha maps.
#include <gtest/gtest.h>

#include <cstring>
#include <span>

#include "image_block.h"

using kvzatest::at;
using kvzatest::make_image;

namespace {

const KvzaPixel kRed{1, 0, 0, 1};
const KvzaPixel kBlue{-0.5f, -0.866f, 0, 1};
const KvzaPixel kClear{0.1f, 0.2f, 0.3f, 0};

int32_t count_calls(void *n, uint32_t, uint32_t) {
    ++*static_cast<int *>(n);
    return 0;
}

}  // namespace

TEST(AdjustOutline, OpaqueSinglePixelUnchanged) {
    auto image = make_image(1, 1);
    image->pixels[0] = kRed;
    ASSERT_EQ(kvza_adjustoutline(image.get(), 1e-5f, nullptr), KVZA_OK);
    EXPECT_EQ(std::memcmp(&image->pixels[0], &kRed, 16), 0);
}

TEST(AdjustOutline, HorizontalPairGivesMeanColour) {
    auto image = make_image(3, 3);
    for (auto &p : std::span(image->pixels, 9)) p = kClear;
    at(image.get(), 0, 1) = kRed;
    at(image.get(), 2, 1) = kBlue;
    // Border mode so the edges contribute nothing.
    image->wrapx = image->wrapy = KVZA_WRAP_BORDER;
    ASSERT_EQ(kvza_adjustoutline(image.get(), 1e-5f, nullptr), KVZA_OK);
    const KvzaPixel &m = at(image.get(), 1, 1);
    // Diagonal pairs: (0,0)-(2,2) and (2,0)-(0,2) are transparent. Vertical too.
    EXPECT_FLOAT_EQ(m.c, 0.25f);
    EXPECT_FLOAT_EQ(m.s, -0.433f);
    EXPECT_FLOAT_EQ(m.w, 0.0f);
    EXPECT_EQ(m.a, 0.0f);
}

TEST(AdjustOutline, DiagonalOnlyAndMixedEstimates) {
    auto image = make_image(3, 3);
    image->wrapx = image->wrapy = KVZA_WRAP_BORDER;
    for (auto &p : std::span(image->pixels, 9)) p = kClear;
    at(image.get(), 0, 0) = kRed;  // above-left of the centre
    ASSERT_EQ(kvza_adjustoutline(image.get(), 1e-5f, nullptr), KVZA_OK);
    EXPECT_EQ(at(image.get(), 1, 1).c, 1.0f);
    EXPECT_EQ(at(image.get(), 1, 1).a, 0.0f);

    auto mixed = make_image(3, 3);
    mixed->wrapx = mixed->wrapy = KVZA_WRAP_BORDER;
    for (auto &p : std::span(mixed->pixels, 9)) p = kClear;
    const KvzaPixel left{0, 0, -1, 1};
    const KvzaPixel diag{0, 0, 1, 1};
    at(mixed.get(), 0, 1) = left;
    at(mixed.get(), 0, 0) = diag;
    ASSERT_EQ(kvza_adjustoutline(mixed.get(), 1e-5f, nullptr), KVZA_OK);
    // O = -1, D = 1: O + (2 - sqrt 2) x (D - O).
    EXPECT_NEAR(at(mixed.get(), 1, 1).w, -1.0 + 0.58578643762689 * 2.0, 1e-6);
}

TEST(AdjustOutline, ThresholdSnapsNearZeroAlphaAndDoublesTotal) {
    auto image = make_image(2, 1);
    image->pixels[0] = {0, 0, 1, 5e-6f};
    image->pixels[1] = {0, 0, -1, 1};
    int calls = 0;
    KvzaProgress progress{&count_calls, &calls, 0, 0, 0, 0};
    ASSERT_EQ(kvza_adjustoutline(image.get(), 1e-5f, &progress), KVZA_OK);
    EXPECT_EQ(progress.total, 4u);
    EXPECT_EQ(calls, 5);  // two passes of two pixels, then the final report
    EXPECT_EQ(image->pixels[0].a, 0.0f);
    EXPECT_EQ(image->pixels[0].w, -1.0f);  // took its visible neighbour's colour

    // With threshold 0 the snapping pass is skipped and near-zero stays visible.
    auto second = make_image(2, 1);
    second->pixels[0] = {0, 0, 1, 5e-6f};
    second->pixels[1] = {0, 0, -1, 1};
    ASSERT_EQ(kvza_adjustoutline(second.get(), 0.0f, &progress), KVZA_OK);
    EXPECT_EQ(progress.total, 2u);
    EXPECT_EQ(second->pixels[0].w, 1.0f);
}

TEST(AdjustOutline, MissingImageAndCancel) {
    EXPECT_EQ(kvza_adjustoutline(nullptr, 1e-5f, nullptr), KVZA_FAILED);
    auto image = make_image(4, 4);
    KvzaProgress progress{[](void *, uint32_t, uint32_t) -> int32_t { return 1; }, nullptr, 0,
                          0, 0, 0};
    EXPECT_EQ(kvza_adjustoutline(image.get(), 1e-5f, &progress), KVZA_CANCELED);
    EXPECT_EQ(progress.done, 1u);
}

TEST(EdgeAntialias, NeighbourCountsFadeAlpha) {
    auto lone = make_image(3, 3);
    lone->wrapx = lone->wrapy = KVZA_WRAP_BORDER;  // border alpha 0: transparent
    at(lone.get(), 1, 1) = kRed;
    ASSERT_EQ(kvza_edgeantialias(lone.get(), 1e-5f, nullptr), KVZA_OK);
    EXPECT_FLOAT_EQ(at(lone.get(), 1, 1).a, 0.25f);

    auto below = make_image(1, 2);
    below->wrapx = KVZA_WRAP_CLAMP;
    below->wrapy = KVZA_WRAP_CLAMP;
    below->pixels[0] = kRed;
    below->pixels[1] = kClear;
    ASSERT_EQ(kvza_edgeantialias(below.get(), 1e-5f, nullptr), KVZA_OK);
    // Clamp: left, right, above and their diagonals are the pixel itself; the
    // pixel below and the two lower diagonals clamp to the transparent pixel.
    EXPECT_FLOAT_EQ(below->pixels[0].a, 1.0f - 0.125f - 2 * 0.0625f);
}

TEST(EdgeAntialias, SinglePixelKeepsAlphaAndSnapsTransparent) {
    auto image = make_image(2, 1);
    image->pixels[0] = {0, 0, 0, 0.5f};
    image->pixels[1] = {0, 0, 0, -5e-6f};
    image->wrapx = KVZA_WRAP_WRAP;
    ASSERT_EQ(kvza_edgeantialias(image.get(), 1e-5f, nullptr), KVZA_OK);
    // Pixel 0: left and right both wrap to pixel 1, still -5e-6 (transparent):
    // orthogonal 2 x 0.125, diagonal left and right pairs 4 x 0.0625.
    EXPECT_FLOAT_EQ(image->pixels[0].a, 0.5f * 0.5f);
    EXPECT_EQ(image->pixels[1].a, 0.0f);

    auto one = make_image(1, 1);
    one->pixels[0] = {0, 0, 0, 0.7f};
    ASSERT_EQ(kvza_edgeantialias(one.get(), 1e-5f, nullptr), KVZA_OK);
    EXPECT_EQ(one->pixels[0].a, 0.7f);
}

TEST(EdgeAntialias, ReadsProcessedNeighboursAboveAndLeft) {
    // 1 x 2 image, transparent border on x, clamped y. The top pixel loses
    // 0.25 (left, right) and 0.25 (four diagonals): 1.2e-5 x 0.5 = 6e-6, which
    // is within the threshold, so the pixel below already sees it transparent.
    auto image = make_image(1, 2);
    image->wrapx = KVZA_WRAP_BORDER;
    image->wrapy = KVZA_WRAP_CLAMP;
    image->pixels[0] = {0, 0, 0, 1.2e-5f};
    image->pixels[1] = {0, 0, 0, 1};
    ASSERT_EQ(kvza_edgeantialias(image.get(), 1e-5f, nullptr), KVZA_OK);
    EXPECT_FLOAT_EQ(image->pixels[0].a, 6e-6f);
    EXPECT_FLOAT_EQ(image->pixels[1].a, 1.0f - 0.5f - 0.125f);
}

TEST(ChannelMaps, GrayAndAlphaMaps) {
    auto image = make_image(3, 1);
    image->pixels[0] = {0.5f, 0.5f, 0.25f, 0.5f};
    image->pixels[1] = {0.1f, -0.2f, -0.5f, 0.0f};
    image->pixels[2] = {0.1f, -0.2f, 0.9f, 1.0f};
    auto alpha = make_image(3, 1);
    std::memcpy(alpha->pixels, image->pixels, 3 * sizeof(KvzaPixel));
    ASSERT_EQ(kvza_graymap(image.get(), nullptr), KVZA_OK);
    EXPECT_EQ(image->pixels[0].c, 0.0f);
    EXPECT_EQ(image->pixels[0].s, 0.0f);
    EXPECT_EQ(image->pixels[0].w, 0.25f);
    EXPECT_EQ(image->pixels[0].a, 0.5f);
    ASSERT_EQ(kvza_alphamap(alpha.get(), nullptr), KVZA_OK);
    EXPECT_EQ(alpha->pixels[0].w, 0.0f);
    EXPECT_EQ(alpha->pixels[1].w, -1.0f);
    EXPECT_EQ(alpha->pixels[2].w, 1.0f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(alpha->pixels[i].a, 1.0f);
        EXPECT_EQ(alpha->pixels[i].c, 0.0f);
    }
    EXPECT_EQ(kvza_graymap(nullptr, nullptr), KVZA_FAILED);
    EXPECT_EQ(kvza_alphamap(nullptr, nullptr), KVZA_FAILED);
}
