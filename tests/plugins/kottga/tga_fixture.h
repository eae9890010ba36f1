// Fixture of the TGA writer tests: the loaded plug-in (and the TGA reader for
// round trips), the save call, and a TGA file assembled from its parts the
// way the format lays them out, to compare written files with.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kin_expect.h"
#include "kin_host.h"
#include "kin_samples.h"
#include "kot_host.h"

#define ASSERT_PIXEL(actual, expected) ASSERT_TRUE(::kintest::same_pixel((actual), (expected)))

namespace tgatest {

using kottest::Bytes;
using Rows = std::vector<std::vector<uint32_t>>;

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

// The 26-byte version 2.0 footer: no extension area, no developer directory,
// the signature and a zero byte.
inline Bytes footer() {
    Bytes f(8, 0);
    const std::string signature = "TRUEVISION-XFILE.";
    f.insert(f.end(), signature.begin(), signature.end());
    f.push_back(0);
    return f;
}

// A complete file: header, colour map, pixel values of rows given top row
// first (stored bottom row first, `bytes` per value, no padding), footer.
struct TgaFile {
    uint8_t type = 2;
    uint8_t map_type = 0;
    uint16_t map_length = 0;
    uint8_t entry_bits = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t depth = 24;
    uint8_t descriptor = 0;
    Bytes map;
    Rows pixels;
};

inline Bytes build_tga(const TgaFile &f) {
    kintest::TgaSpec s;
    s.map_type = f.map_type;
    s.type = f.type;
    s.first_index = 0;
    s.map_length = f.map_length;
    s.entry_bits = f.entry_bits;
    s.width = f.width;
    s.height = f.height;
    s.depth = f.depth;
    s.descriptor = f.descriptor;
    s.map = f.map;
    s.pixels = kintest::pack_tight(f.depth / 8, Rows(f.pixels.rbegin(), f.pixels.rend()));
    Bytes out = kintest::build_tga(s);
    kintest::append(out, footer());
    return out;
}

class Tga : public ::testing::Test {
  protected:
    static kottest::Writer &writer() {
        static kottest::Writer w(KOT_PLUGIN_DIR, "kottga");
        return w;
    }
    static kintest::Reader &reader() {
        static kintest::Reader r(KOT_PLUGIN_DIR, "kintga");
        return r;
    }
    void SetUp() override { ASSERT_TRUE(writer().ok()) << writer().error(); }

    Bytes save(KvzaImage *image, const KotSaveOptions &o, int32_t *status,
               KvzaProgress *progress = nullptr) {
        kottest::OutPath path(".tga");
        *status = writer().save(image, path.c_str(), &o, progress);
        return path.bytes();
    }
    Bytes save_ok(KvzaImage *image, const KotSaveOptions &o) {
        int32_t status = -1;
        Bytes b = save(image, o, &status);
        EXPECT_EQ(status, KOT_OK);
        return b;
    }
};

// TGA save options: type, dither strength and palette depth (track 1).
inline KotSaveOptions tga_options(int16_t type, int16_t dither = 0, int16_t depth = 4) {
    return kottest::options(type, 0, dither, depth);
}

}  // namespace tgatest
