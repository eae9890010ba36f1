// The save frame of the PNG writer: refusals, progress, cancel, and what its
// options do to the file (compression, interlacing, merge, alpha threshold).
#include <filesystem>

#include "png_fixture.h"

using namespace pngtest;

namespace {

Rgba opaque_colours(int x, int y) {
    return {(x * 40) % 256, (y * 70) % 256, (x * y * 9) % 256, 255};
}

// Byte 28 of a PNG is the IHDR's interlace method.
constexpr size_t kInterlaceByte = 28;

TEST_F(Png, RefusesWhatItCannotWrite) {
    auto image = picture(3, 2, opaque_colours);
    const KotSaveOptions rgb = png_options(20);
    kintest::ProgressLog log;
    KvzaProgress p = log.record();
    EXPECT_EQ(writer().save(image.get(), "/nonexistent-folder/x.png", &rgb, &p), KOT_FAILED);
    EXPECT_EQ(log.calls.back(), std::make_pair(6u, 6u)) << "the final report comes anyway";
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(writer().save(image.get(), "/dev/full", &rgb, nullptr), KOT_FAILED);
    }
    // Layouts PNG cannot store honestly are not offered, and not written.
    for (int16_t id : {22, 25, 222, 213, 28, 254, 199}) {
        SCOPED_TRACE(::testing::Message() << "id " << id);
        KotUsableTable table{};
        ASSERT_EQ(writer().table_img(&table, KOT_USABLE_TABLE_SIZE, image.get()), KOT_OK);
        EXPECT_EQ((table.usable[id / 8] >> (id % 8)) & 1, 0);
        kottest::OutPath path(".png");
        EXPECT_EQ(save(image.get(), path, png_options(id)), KOT_FAILED);
    }
}

TEST_F(Png, ProgressCountsEveryPixelOnceAndCancelStops) {
    auto image = picture(4, 3, opaque_colours);
    for (const LayoutCase &l : layouts()) {
        for (bool interlace : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "id " << l.id << " interlace " << interlace);
            const KotSaveOptions o = png_options(l.id, interlace ? kInterlace : 0);
            {
                kintest::ProgressLog log;
                KvzaProgress p = log.record();
                kottest::OutPath path(".png");
                ASSERT_EQ(save(image.get(), path, o, &p), KOT_OK);
                ASSERT_EQ(log.calls.size(), 13u);  // one a pixel, then the final report
                for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(log.calls[i].first, i + 1);
            }
            kintest::ProgressLog log;
            log.stop_at_call = 5;
            KvzaProgress p = log.record();
            kottest::OutPath path(".png");
            EXPECT_EQ(save(image.get(), path, o, &p), KOT_CANCELED);
            ASSERT_EQ(log.calls.size(), 6u);
            EXPECT_EQ(log.calls.back(), std::make_pair(12u, 12u));
        }
    }
}

// Compression level and interlacing change the file, never the samples.
TEST_F(Png, CompressionAndInterlacingKeepTheSamples) {
    PNG_REQUIRE_CONVERT();
    auto image = picture(40, 30, opaque_colours);
    kottest::OutPath plain(".png");
    ASSERT_EQ(save(image.get(), plain, png_options(21)), KOT_OK);
    const auto reference = magick_rgba16(plain.str());
    ASSERT_TRUE(reference.has_value());
    EXPECT_EQ(plain.bytes()[kInterlaceByte], 0);

    std::vector<size_t> sizes;
    for (int16_t level : {0, 9}) {
        kottest::OutPath path(".png");
        ASSERT_EQ(save(image.get(), path, png_options(21, 0, 0, level)), KOT_OK);
        sizes.push_back(path.bytes().size());
        EXPECT_EQ(magick_rgba16(path.str()), reference) << "level " << level;
    }
    EXPECT_GT(sizes[0], sizes[1]) << "level 0 stores, level 9 compresses";
    EXPECT_GE(sizes[0], 40u * 30u * 4u);

    kottest::OutPath interlaced(".png");
    ASSERT_EQ(save(image.get(), interlaced, png_options(21, kInterlace)), KOT_OK);
    EXPECT_EQ(interlaced.bytes()[kInterlaceByte], 1);
    EXPECT_EQ(magick_rgba16(interlaced.str()), reference);
}

// Merge applies to layouts without alpha only; the threshold makes the
// stored alpha two-valued.
TEST_F(Png, MergeAndThreshold) {
    PNG_REQUIRE_CONVERT();
    // Red at alpha 0, 100/255 and 200/255 over a blue background.
    auto image = picture(3, 1, [](int x, int) {
        return Rgba{255, 0, 0, x == 0 ? 0 : x == 1 ? 100 : 200};
    });
    image->viewinfo[0] = 0;
    image->viewinfo[1] = 0;
    image->viewinfo[2] = 255;
    struct Case {
        int16_t id;
        uint16_t switches;
        std::array<Rgba, 3> want;  // 8-bit RGBA of each pixel
    };
    const Case cases[] = {
        // Merged with the pixel's own alpha.
        {20, kMerge, {{{0, 0, 255, 255}, {100, 0, 155, 255}, {200, 0, 55, 255}}}},
        // Merged with the thresholded alpha (128).
        {20, kMerge | kThreshold, {{{0, 0, 255, 255}, {0, 0, 255, 255}, {255, 0, 0, 255}}}},
        // Without merge the colour is stored as it is.
        {20, 0, {{{255, 0, 0, 255}, {255, 0, 0, 255}, {255, 0, 0, 255}}}},
        // A layout with alpha ignores merge; the threshold still applies.
        {21, kMerge, {{{255, 0, 0, 0}, {255, 0, 0, 100}, {255, 0, 0, 200}}}},
        {21, kThreshold, {{{255, 0, 0, 0}, {255, 0, 0, 0}, {255, 0, 0, 255}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.id << " switches " << c.switches);
        kottest::OutPath path(".png");
        ASSERT_EQ(save(image.get(), path, png_options(c.id, c.switches)), KOT_OK);
        const auto im = magick_rgba16(path.str());
        ASSERT_TRUE(im.has_value());
        ASSERT_EQ(im->size(), 12u);
        for (int x = 0; x < 3; ++x)
            for (int k = 0; k < 4; ++k) {
                if (c.want[x][3] == 0 && k < 3) continue;  // colour of a transparent pixel
                // Merging rounds once in the writer's quantiser: allow one step.
                EXPECT_NEAR((*im)[static_cast<size_t>(4 * x + k)] / 257.0, c.want[x][k], 1.0)
                    << "pixel " << x << " channel " << k;
            }
    }
}

}  // namespace
