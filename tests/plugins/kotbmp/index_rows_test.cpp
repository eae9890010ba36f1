// The index layouts match their pixels a batch ahead of the writes, partly on
// a second thread. Whatever the image, the rows must be byte for byte what a
// plain one-pixel-at-a-time match gives, with one progress step per unit.
#include <algorithm>
#include <cstdio>

#include "kotbmp_fixture.h"

using namespace kotbmptest;

namespace {

struct IndexCase {
    int16_t id;
    uint32_t bits;
    int width, height;
    int16_t dither;
};

class IndexRows : public WriterTest, public ::testing::WithParamInterface<IndexCase> {
  protected:
    // Many distinct colours (more than any palette holds), so the palette is
    // clustered and the dither decides between the two nearest entries.
    static kvzatest::ImagePtr busy_image(int w, int h) {
        auto image = kvzatest::make_image(w, h);
        uint32_t seed = static_cast<uint32_t>(w * 31 + h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const float noise = static_cast<float>(seed >> 24) / 255.0f * 0.2f;
                const KvzaPixel rgb{static_cast<float>(x) / static_cast<float>(w) * 0.8f + noise,
                                    static_cast<float>(y) / static_cast<float>(h) * 0.8f,
                                    0.9f - noise, 1.0f};
                kvza_rgba2kvza(&kvzatest::at(image.get(), x, y), &rgb);
            }
        }
        return image;
    }

    // The rows a plain per-pixel match gives for the image's current palette:
    // bottom row first, leftmost pixel in the high bits, rows padded to 4.
    static Bytes reference_rows(KvzaImage *image, uint32_t bits, uint32_t level) {
        Bytes bytes;
        const uint32_t entries = 1u << bits, per_byte = 8 / bits;
        for (int y = image->height - 1; y >= 0; --y) {
            const size_t row_start = bytes.size();
            for (int x = 0; x < image->width;) {
                uint32_t byte = 0;
                for (uint32_t k = 0; k < per_byte; ++k) {
                    byte <<= bits;
                    if (x < image->width) {
                        byte |= static_cast<uint32_t>(kvza_nearpal_dit(
                            KVZA_ALPHA_OPAQUE, image->palette, entries, &kvzatest::at(image, x, y),
                            1, 1, 1, x, y, level, nullptr));
                        ++x;
                    }
                }
                bytes.push_back(static_cast<uint8_t>(byte));
            }
            while ((bytes.size() - row_start) % 4 != 0) bytes.push_back(0);
        }
        return bytes;
    }
};

TEST_P(IndexRows, SameBytesAsAPlainMatch) {
    const IndexCase &c = GetParam();
    auto image = busy_image(c.width, c.height);
    const KotSaveOptions o = options(c.id, 0, c.dither);
    const Saved s = save(image.get(), o);
    ASSERT_EQ(s.status, 0);
    const uint32_t offset = 54 + 4 * (1u << c.bits);
    ASSERT_EQ(le32(s.bytes, 10), offset);
    // The save left its optimised palette in the image: pack again with it.
    const Bytes expected = reference_rows(image.get(), c.bits, static_cast<uint32_t>(c.dither));
    ASSERT_EQ(s.bytes.size(), offset + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), s.bytes.begin() + offset))
        << "rows differ from a plain per-pixel match";
    // The dither made use of more than one entry.
    std::vector<bool> used(256, false);
    for (size_t i = offset; i < s.bytes.size(); ++i) used[s.bytes[i] >> (8 - c.bits)] = true;
    EXPECT_GT(std::count(used.begin(), used.end(), true), 1);
}

TEST_P(IndexRows, ProgressStepsAndCancelPoint) {
    const IndexCase &c = GetParam();
    auto image = busy_image(c.width, c.height);
    const KotSaveOptions o = options(c.id, 0, c.dither);
    ProgressLog saved(997);
    ASSERT_EQ(save(image.get(), o, &saved.record).status, 0);
    // One step per written unit (a byte of pixels), the callback after every
    // 998 of them with done never above the pixel total, then the final report.
    const uint64_t per_row = (uint64_t{c.bits} * static_cast<uint32_t>(c.width) + 7) / 8;
    const uint64_t units_total = per_row * static_cast<uint32_t>(c.height);
    const uint32_t total = static_cast<uint32_t>(c.width * c.height);
    std::vector<std::pair<uint32_t, uint32_t>> expected;
    for (uint64_t u = 998; u <= units_total; u += 998)
        expected.emplace_back(static_cast<uint32_t>(std::min<uint64_t>(u, total)), total);
    expected.emplace_back(total, total);
    EXPECT_EQ(saved.calls, expected);

    // Cancelled at the third callback: 3 x 998 units were written.
    ProgressLog cancel(997);
    cancel.stop_at = 3;
    const Saved s = save(image.get(), o, &cancel.record);
    if (expected.size() < 4) return;  // too small an image to reach it
    EXPECT_EQ(s.status, 2);
    const uint64_t units = 3 * 998;
    const uint64_t pad = (4 - per_row % 4) % 4;
    // Rows before the row of the last unit are complete with their padding;
    // the cancel comes right after the last unit, before any padding.
    const uint64_t rows = (units - 1) / per_row;
    EXPECT_EQ(s.bytes.size(),
              54 + 4 * (1u << c.bits) + rows * (per_row + pad) + (units - rows * per_row));
}

// Sizes spanning several batches of 65536 pixels and rows that end inside a
// byte; dither off and at full strength.
INSTANTIATE_TEST_SUITE_P(
    Layouts, IndexRows,
    ::testing::Values(IndexCase{41, 8, 301, 250, 128}, IndexCase{41, 8, 257, 3, 256},
                      IndexCase{212, 4, 333, 211, 256}, IndexCase{212, 4, 7, 5, 128},
                      IndexCase{202, 1, 349, 230, 256}, IndexCase{202, 1, 1, 3000, 256},
                      IndexCase{41, 8, 640, 480, 0}),
    [](const ::testing::TestParamInfo<IndexCase> &info) {
        return "id" + std::to_string(info.param.id) + "_" + std::to_string(info.param.width) + "x" +
               std::to_string(info.param.height) + "_dither" + std::to_string(info.param.dither);
    });

}  // namespace
