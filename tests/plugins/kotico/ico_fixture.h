// Fixture of the ICO writer tests: the loaded plug-in (and the BMP/ICO
// reader for round trips), the save call, and an icon file assembled from its
// parts the way the format lays them out, to compare written files with.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kin_expect.h"
#include "kin_host.h"
#include "kin_samples.h"
#include "kot_host.h"

#define ASSERT_PIXEL(actual, expected) ASSERT_TRUE(::kintest::same_pixel((actual), (expected)))

namespace icotest {

using kottest::Bytes;
using Rows = std::vector<std::vector<uint32_t>>;

// Simple colours whose 8-bit values survive the colour model exactly.
inline constexpr kottest::Rgba8 kRed{255, 0, 0};
inline constexpr kottest::Rgba8 kGreen{0, 255, 0};
inline constexpr kottest::Rgba8 kBlue{0, 0, 255};
inline constexpr kottest::Rgba8 kYellow{255, 255, 0};
inline constexpr kottest::Rgba8 kCyan{0, 255, 255};
inline constexpr kottest::Rgba8 kMagenta{255, 0, 255};
inline constexpr kottest::Rgba8 kWhite{255, 255, 255};
inline constexpr kottest::Rgba8 kBlack{0, 0, 0};

inline kottest::Rgba8 with_alpha(kottest::Rgba8 c, float a) {
    c.a = a;
    return c;
}
inline uint32_t rgb24(const kottest::Rgba8 &c) {
    return static_cast<uint32_t>(c.r << 16 | c.g << 8 | c.b);
}

// An icon file as the writer must produce it: directory header, one entry,
// the 40-byte bitmap header, the colour table, the colour rows and the mask
// rows. Rows are given top row first, one value per pixel (palette index or
// little-endian pixel word; mask 1 = transparent) and stored bottom row first
// with every row padded to 4 bytes.
struct IcoFile {
    int width = 1;
    int height = 1;
    uint16_t bpp = 24;
    uint8_t colour_count = 0;
    Bytes palette;  // 4-byte entries blue, green, red, 0
    Rows colour;
    Rows mask;
};

inline Rows bottom_up(const Rows &rows) {
    return Rows(rows.rbegin(), rows.rend());
}

inline Bytes build_ico(const IcoFile &f) {
    const Bytes xor_bits = kintest::pack_rows(f.bpp, bottom_up(f.colour));
    const Bytes and_bits = kintest::pack_rows(1, bottom_up(f.mask));
    Bytes out;
    kottest::put16(out, 0);  // reserved
    kottest::put16(out, 1);  // icon
    kottest::put16(out, 1);  // one image
    out.push_back(static_cast<uint8_t>(f.width));
    out.push_back(static_cast<uint8_t>(f.height));
    out.push_back(f.colour_count);
    out.push_back(0);
    kottest::put16(out, 1);  // planes
    kottest::put16(out, f.bpp);
    kottest::put32(
        out, static_cast<uint32_t>(40 + f.palette.size() + xor_bits.size() + and_bits.size()));
    kottest::put32(out, 22);  // image offset
    kottest::put32(out, 40);  // header size
    kottest::put32(out, static_cast<uint32_t>(f.width));
    kottest::put32(out, static_cast<uint32_t>(2 * f.height));
    kottest::put16(out, 1);
    kottest::put16(out, f.bpp);
    kottest::put32(out, 0);  // compression
    kottest::put32(out, static_cast<uint32_t>(xor_bits.size()));
    for (int i = 0; i < 16; ++i) out.push_back(0);
    kintest::append(out, f.palette);
    kintest::append(out, xor_bits);
    kintest::append(out, and_bits);
    return out;
}

// Palette entries (4 bytes) of 0xRRGGBB colours, then `filler` entries of
// mid grey: palette slots the optimisation leaves alone keep the zero KVZ
// colour of a new image, which is RGB 0.5 and is written as 127.
inline Bytes palette_bytes(const std::vector<uint32_t> &rgb, int filler) {
    std::vector<uint32_t> all = rgb;
    for (int i = 0; i < filler; ++i) all.push_back(0x7f7f7f);
    return kintest::colour_table(all, 4);
}

// Rows of width x height copies of one value.
inline Rows fill_rows(int width, int height, uint32_t v) {
    return Rows(static_cast<size_t>(height), std::vector<uint32_t>(static_cast<size_t>(width), v));
}

class Ico : public ::testing::Test {
  protected:
    static kottest::Writer &writer() {
        static kottest::Writer w(KOT_PLUGIN_DIR, "kotico");
        return w;
    }
    static kintest::Reader &reader() {
        static kintest::Reader r(KOT_PLUGIN_DIR, "kinbmp");
        return r;
    }
    void SetUp() override { ASSERT_TRUE(writer().ok()) << writer().error(); }

    // Saves into a fresh file; the status goes to *status, the file comes back.
    Bytes save(KvzaImage *image, const KotSaveOptions &o, int32_t *status,
               KvzaProgress *progress = nullptr) {
        kottest::OutPath path(".ico");
        *status = writer().save(image, path.c_str(), &o, progress);
        return path.bytes();
    }
    // Saves and expects status 0.
    Bytes save_ok(KvzaImage *image, const KotSaveOptions &o) {
        int32_t status = -1;
        Bytes b = save(image, o, &status);
        EXPECT_EQ(status, KOT_OK);
        return b;
    }
};

}  // namespace icotest
