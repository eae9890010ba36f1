// Run-length data that ends early or runs past the image, and the progress
// protocol.
#include "wide_tga_fixture.h"

using namespace kintest;

namespace {

// 7 x 4 true colour, bottom-up: runs of 5 between raw stretches, some
// packets crossing row ends.
Bytes seven_by_four() {
    TgaSpec s;
    s.width = 7;
    s.height = 4;
    for (uint32_t i = 0; i < 28; ++i)
        put16(s.pixels, (i / 5) % 2 != 0 ? 0x4050 : i), put8(s.pixels, 9);
    return encoded(build_tga(s));
}

int stored(const kvzatest::ImagePtr &image) {
    int n = 0;
    for (int i = 0; i < image->width * image->height; ++i) n += is_clear(image->pixels[i]) ? 0 : 1;
    return n;
}

}  // namespace

TEST_F(WideTga, EveryTruncationStopsWithThePixelsDecodedSoFar) {
    const Bytes full = seven_by_four();
    const Opened whole = open(wide(), full);
    ASSERT_EQ(stored(whole.image), 28);
    int before = 0;
    for (size_t len = 0; len < full.size(); ++len) {
        kvzatest::ImagePtr image;
        ASSERT_EQ(load_into(wide(), Bytes(full.begin(), full.begin() + long(len)), 7, 4, image), 1);
        for (int i = 0; i < 28; ++i) {
            if (!is_clear(image->pixels[i])) {
                EXPECT_PIXEL(image->pixels[i], whole.image->pixels[i]) << len;
            }
        }
        EXPECT_GE(stored(image), before) << len;
        before = stored(image);
    }
    EXPECT_EQ(before, 25);  // the last packet, a run of 3, lacks its value
}

TEST_F(WideTga, PacketsPastTheImageFillItAndFail) {
    const struct {
        Bytes packets;  // for 2 x 2 grey
        int32_t status;
        int kept;
    } cases[] = {{{0x84, 9}, 1, 4}, {{0x04, 1, 2, 3, 4, 5}, 1, 4}, {{0x83, 9, 0x80, 7}, 0, 4}};
    for (const auto &c : cases) {
        TgaSpec s;
        s.type = 11;
        s.width = s.height = 2;
        s.depth = 8;
        s.pixels = c.packets;
        const Opened o = open(wide(), build_tga(s));
        EXPECT_EQ(o.status, c.status) << c.kept;
        EXPECT_EQ(stored(o.image), c.kept);
    }
}

TEST_F(WideTga, ProgressCountsEveryStoredPixelAndStopsRightAfterTheAsking) {
    for (uint32_t stop : {0U, 1U, 6U, 28U}) {
        ProgressLog log;
        log.stop_at_call = stop;
        KvzaProgress p = log.record(0);
        const Opened o = open(wide(), seven_by_four(), 0, &p);
        EXPECT_EQ(o.status, stop == 0 ? 0 : 2) << stop;
        const uint32_t counted = stop == 0 ? 28 : stop;
        EXPECT_EQ(stored(o.image), static_cast<int>(counted)) << stop;
        ASSERT_EQ(log.calls.size(), counted + 1) << stop;
        for (uint32_t i = 0; i < counted; ++i) EXPECT_EQ(log.calls[i], std::make_pair(i + 1, 28U));
        EXPECT_EQ(log.calls.back(), std::make_pair(28U, 28U));
    }
}
