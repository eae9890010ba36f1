// The icon module of the wide reader: kinbmp's pixels for the icons kinbmp
// opens, the choice of entry, alpha of 32-bit entries, PNG entries.
#include <gtest/gtest.h>

#include <cstring>

#include "image_block.h"
#include "kin_host.h"
#include "kin_samples.h"
#include "kot_host.h"
#include "png_samples.h"

using namespace kintest;

namespace {

const Reader &wide() {
    static Reader reader(WIDE_PLUGIN_DIR, "kinwide");
    return reader;
}

// An icon entry: its directory bytes and its image (header, rows, mask).
struct Image {
    uint8_t size;
    uint16_t bpp;
    uint32_t value;  // every pixel's value (32-bit: with its alpha byte)
};

// An icon file of the given entries; 32-bit entries only, each square, with
// a zero 1-bit mask but for the first pixel.
Bytes icon(const std::vector<Image> &images) {
    Bytes b;
    put16(b, 0);
    put16(b, 1);
    put16(b, static_cast<uint32_t>(images.size()));
    std::vector<Bytes> bodies;
    for (const Image &im : images) {
        const uint32_t n = im.size == 0 ? 256 : im.size;
        Bytes body;
        put32(body, 40);
        put32(body, n);
        put32(body, 2 * n);
        put16(body, 1);
        put16(body, im.bpp);
        for (int i = 0; i < 6; ++i) put32(body, 0);
        append(body, pack_rows(32, std::vector<std::vector<uint32_t>>(
                                       n, std::vector<uint32_t>(n, im.value))));
        std::vector<std::vector<uint32_t>> mask(n, std::vector<uint32_t>(n, 0));
        mask[n - 1][0] = 1;  // stored last row: the top row of the image
        append(body, pack_rows(1, mask));
        bodies.push_back(body);
    }
    uint32_t at = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        put8(b, images[i].size);
        put8(b, images[i].size);
        put16(b, 0);
        put16(b, 1);
        put16(b, images[i].bpp);
        put32(b, static_cast<uint32_t>(bodies[i].size()));
        put32(b, at);
        at += static_cast<uint32_t>(bodies[i].size());
    }
    for (const Bytes &body : bodies) append(b, body);
    return b;
}

}  // namespace

TEST(WideIco, IconSamplesGiveKinbmpPixels) {
    static Reader kinbmp(KIN_PLUGIN_DIR, "kinbmp");
    ASSERT_TRUE(wide().ok() && kinbmp.ok());
    for (const Sample &s : bmp_samples()) {
        if (s.bytes[0] == 'B') continue;
        const Opened a = open(wide(), s.bytes), b = open(kinbmp, s.bytes);
        ASSERT_EQ(a.status, b.status) << s.name;
        ASSERT_EQ(a.pixels, b.pixels) << s.name;
        // 32-bit entries with alpha bytes keep them; kinbmp makes them opaque.
        for (int i = 0; i < a.pixels; ++i) {
            KvzaPixel pa = a.image->pixels[i], pb = b.image->pixels[i];
            if (pa.a != 0.0f && pa.a != 1.0f) pa.a = pb.a;
            EXPECT_EQ(std::memcmp(&pa, &pb, sizeof pa), 0) << s.name << " " << i;
        }
    }
}

TEST(WideIco, LargestThenDeepestEntryIsChosen) {
    struct Case {
        std::vector<Image> images;
        int32_t side;
        uint32_t value;
    };
    for (const Case &c : std::vector<Case>{
             {{{16, 32, 0x11223344}, {48, 32, 0xFF0000FF}, {32, 32, 0x55667788}}, 48, 0xFF0000FF},
             {{{8, 24, 0x00FF0000}, {8, 32, 0x8000FF00}}, 8, 0x8000FF00},
             {{{8, 32, 0x8000FF00}, {8, 24, 0x00FF0000}}, 8, 0x8000FF00},
             {{{4, 32, 0}, {0, 32, 0x40FF00FF}}, 256, 0x40FF00FF}}) {
        const Bytes file = icon(c.images);
        TempFile f(file);
        EXPECT_EQ(wide().imgs(f.path(), 0), static_cast<int32_t>(c.images.size()));
        const Opened o = open(wide(), file);
        ASSERT_EQ(o.status, 0);
        ASSERT_EQ(o.width, c.side);
        const uint32_t v = c.value;
        const float a = static_cast<float>((v >> 24) / 255.0);
        EXPECT_EQ(std::memcmp(&kvzatest::at(o.image.get(), 1, 1),
                              &(const KvzaPixel &)kvz8(v >> 16 & 255, v >> 8 & 255, v & 255, a),
                              sizeof(KvzaPixel)),
                  0)
            << c.side << " " << std::hex << v;
    }
    // Every alpha byte 0: the 1-bit mask gives the transparency.
    const Opened o = open(wide(), icon({{4, 32, 0x00FF0000}}));
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(kvzatest::at(o.image.get(), 0, 0).a, 0.0f);
    EXPECT_EQ(kvzatest::at(o.image.get(), 1, 0).a, 1.0f);
}

TEST(WideIco, TruncatedIconsOpenOrAreRefused) {
    const Bytes full = icon({{2, 32, 0x80112233}, {3, 32, 0x00445566}});
    for (size_t n = 0; n < full.size(); ++n) {
        const Opened o = open(wide(), Bytes(full.begin(), full.begin() + n));
        EXPECT_TRUE(o.status == -1 || o.status == 0 || o.status == 1) << n;
    }
}

// A PNG entry opens as the PNG reader opens the same file, damaged or not.
TEST(WideIco, PngEntriesGiveKinpngPixels) {
    static const Reader png(KIN_PLUGIN_DIR, "kinpng");
    std::vector<Sample> samples = pngtest::png_samples();
    Sample damaged = samples.front();
    damaged.name += "_crc";
    damaged.bytes[pngtest::chunk_at(damaged.bytes, "IDAT") + 9] ^= 0x40;
    samples.push_back(damaged);
    for (const Sample &s : samples) {
        const Opened want = open(png, s.bytes);
        const Opened got = open(wide(), pngtest::icon_of(s));
        ASSERT_EQ(got.status, want.status) << s.name;
        if (want.status < 0) continue;
        ASSERT_EQ(got.width, want.width) << s.name;
        ASSERT_EQ(got.height, want.height) << s.name;
        EXPECT_EQ(got.image->pixtype, want.image->pixtype) << s.name;
        EXPECT_EQ(std::memcmp(got.image->pixels, want.image->pixels,
                              sizeof(KvzaPixel) * static_cast<size_t>(want.pixels)),
                  0)
            << s.name;
        EXPECT_EQ(std::memcmp(got.image->palette, want.image->palette, sizeof want.image->palette),
                  0)
            << s.name;
    }
}
