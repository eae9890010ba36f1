// The index layouts match their pixels ahead of the writes, partly on a
// second thread. Whatever the image, the rows must be byte for byte what the
// shared one-pixel-at-a-time packer writes, with the same progress steps.
#include <algorithm>
#include <cstdio>

#include "kotbmp_fixture.h"
#include "writer_common.h"

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

    // The rows the shared packer writes for the image's current palette.
    static Bytes shared_rows(KvzaImage *image, const KotSaveOptions &o, uint32_t bits,
                             KvzaProgress *progress, int32_t &status) {
        std::FILE *stream = std::tmpfile();
        if (stream == nullptr) return {};
        kot::FileWriter out(stream);
        status = kot::pack_index_rows(out, image, &o, progress, bits);
        out.close();
        std::rewind(stream);
        Bytes bytes;
        int c;
        while ((c = std::fgetc(stream)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(stream);
        return bytes;
    }
};

TEST_P(IndexRows, SameBytesAsTheSharedPacker) {
    const IndexCase &c = GetParam();
    auto image = busy_image(c.width, c.height);
    const KotSaveOptions o = options(c.id, 0, c.dither);
    const Saved s = save(image.get(), o);
    ASSERT_EQ(s.status, 0);
    const uint32_t offset = 54 + 4 * (1u << c.bits);
    ASSERT_EQ(le32(s.bytes, 10), offset);
    // The save left its optimised palette in the image: pack again with it.
    int32_t status = -1;
    const Bytes expected = shared_rows(image.get(), o, c.bits, nullptr, status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(s.bytes.size(), offset + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), s.bytes.begin() + offset))
        << "rows differ from the shared packer's";
    // The dither made use of more than one entry.
    std::vector<bool> used(256, false);
    for (size_t i = offset; i < s.bytes.size(); ++i) used[s.bytes[i] >> (8 - c.bits)] = true;
    EXPECT_GT(std::count(used.begin(), used.end(), true), 1);
}

TEST_P(IndexRows, SameProgressStepsAndCancelPoint) {
    const IndexCase &c = GetParam();
    auto image = busy_image(c.width, c.height);
    const KotSaveOptions o = options(c.id, 0, c.dither);
    ProgressLog saved(997);
    ASSERT_EQ(save(image.get(), o, &saved.record).status, 0);
    ProgressLog direct(997);
    kvza_progress_setup(image.get(), &direct.record);
    int32_t status = -1;
    shared_rows(image.get(), o, c.bits, &direct.record, status);
    ASSERT_EQ(status, 0);
    ASSERT_FALSE(saved.calls.empty());
    // The save adds the final report.
    saved.calls.pop_back();
    EXPECT_EQ(saved.calls, direct.calls);

    // Cancelled at the third callback: 3 x 998 units were written.
    ProgressLog cancel(997);
    cancel.stop_at = 3;
    const Saved s = save(image.get(), o, &cancel.record);
    if (direct.calls.size() < 3) return;  // too small an image to reach it
    EXPECT_EQ(s.status, 2);
    const uint64_t units = 3 * 998;
    const uint64_t per_row = (uint64_t{c.bits} * static_cast<uint32_t>(c.width) + 7) / 8;
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
