// Progress, cancellation, and a file after a 128-byte prefix.
#include <cstring>

#include "png_fixture.h"

using namespace kintest;
using namespace pngtest;

namespace {

int stored(const kvzatest::ImagePtr &image) {
    int n = 0;
    for (int i = 0; i < image->width * image->height; ++i) n += is_clear(image->pixels[i]) ? 0 : 1;
    return n;
}

}  // namespace

TEST_F(Png, ProgressCountsEveryStoredPixelThenTheTotal) {
    for (bool interlaced : {false, true}) {
        ProgressLog log;
        KvzaProgress p = log.record(0);
        ASSERT_EQ(open(reader(), encode(layout(0, 1, interlaced, 9, 5)), 0, &p).status, 0);
        ASSERT_EQ(log.calls.size(), 46U);
        for (uint32_t i = 0; i < 46; ++i)
            EXPECT_EQ(log.calls[i], std::make_pair(std::min(i + 1, 45U), 45U));
    }
}

TEST_F(Png, CancelLeavesExactlyThePixelsStoredBeforeIt) {
    const struct {
        PngSpec spec;
        uint32_t stop;
    } cases[] = {{layout(2, 8, false, 9, 5), 1},
                 {layout(3, 1, false, 9, 5), 12},
                 {layout(0, 16, true, 9, 5), 7},
                 {layout(6, 8, false, 700, 400), 270001},  // inside the second batch
                 {layout(2, 16, true, 400, 300), 50000}};
    for (const auto &c : cases) {
        ProgressLog log;
        log.stop_at_call = c.stop;
        KvzaProgress p = log.record(0);
        const Opened o = open(reader(), encode(c.spec), 0, &p);
        const uint32_t total = c.spec.width * c.spec.height;
        EXPECT_EQ(o.status, 2) << c.stop;
        EXPECT_EQ(stored(o.image), static_cast<int>(c.stop)) << c.stop;
        // Without interlacing the stored pixels are the first in row order.
        if (!c.spec.interlaced) {
            const uint32_t x = (c.stop - 1) % c.spec.width, y = (c.stop - 1) / c.spec.width;
            EXPECT_PIXEL(pix(o.image, x, y), expected(c.spec, x, y)) << c.stop;
        }
        ASSERT_EQ(log.calls.size(), c.stop + 1);
        EXPECT_EQ(log.calls.back(), std::make_pair(total, total));
        EXPECT_EQ(o.image->pixtype, 0);
    }
}

TEST_F(Png, FailureInTheDataStillEndsWithTheFinalCall) {
    const Bytes png = encode(layout(2, 8, false, 9, 5));
    ProgressLog log;
    KvzaProgress p = log.record(1000);
    kvzatest::ImagePtr image;
    const Bytes cut(png.begin(), png.end() - 40);
    EXPECT_EQ(load_into(reader(), cut, 9, 5, image, 0, KVZA_WRAP_CLAMP, &p), 1);
    ASSERT_EQ(log.calls.size(), 1U);
    EXPECT_EQ(log.calls[0], std::make_pair(45U, 45U));
    // A refused header makes no call at all.
    log.calls.clear();
    EXPECT_EQ(load_into(reader(), Bytes(png.begin(), png.begin() + 20), 9, 5, image, 0,
                        KVZA_WRAP_CLAMP, &p),
              1);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(Png, SamplesAfterAPrefixLoadAtOffset128Only) {
    for (const Sample &s : png_samples()) {
        Bytes file(128, 'p');
        append(file, s.bytes);
        TempFile f(file);
        EXPECT_EQ(reader().imgs(f.path(), 0), 0) << s.name;
        EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0) << s.name;
        EXPECT_EQ(reader().imgs(f.path(), 128), 1) << s.name;
        const Opened o = open(reader(), f.path(), 128), plain = open(reader(), s.bytes);
        ASSERT_EQ(plain.status, 0) << s.name;
        ASSERT_EQ(o.status, 0) << s.name;
        EXPECT_EQ(std::memcmp(o.image.get(), plain.image.get(),
                              KVZA_HEADER_BYTES + sizeof(KvzaPixel) * s.width * s.height),
                  0)
            << s.name;
    }
}
