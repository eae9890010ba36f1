// Shared by the PNG writer tests: the loaded writer, options of its table,
// test pictures made of 8-bit samples, and the two peer decoders
// (ImageMagick at 16 bits per channel, Python's imaging library at 8).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kot_host.h"

namespace pngtest {

using kottest::Bytes;

// Switch bits and track numbers of the PNG table.
inline constexpr uint16_t kMerge = 1u << 0;
inline constexpr uint16_t kThreshold = 1u << 1;
inline constexpr uint16_t kInterlace = 1u << 3;

// Options of one save: the table's defaults unless given.
inline KotSaveOptions png_options(int16_t type, uint16_t switches = 0, int16_t dither = 0,
                                  int16_t compression = 6) {
    KotSaveOptions o = kottest::options(type, switches, dither, 128);
    o.track[2] = compression;
    return o;
}

// What a layout stores, for building matching pictures and expectations.
struct LayoutCase {
    int16_t id;
    int channels;  // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA (index layouts: 3 or 4)
    int depth;     // bits per sample; for index layouts the index width
    bool indexed;
};

inline const std::vector<LayoutCase> &layouts() {
    static const std::vector<LayoutCase> all = {
        {21, 4, 8, false},  {20, 3, 8, false},  {198, 4, 16, false}, {196, 3, 16, false},
        {51, 2, 8, false},  {50, 1, 8, false},  {215, 2, 16, false}, {81, 1, 16, false},
        {210, 1, 4, false}, {205, 1, 2, false}, {200, 1, 1, false},  {40, 4, 8, true},
        {41, 3, 8, true},   {212, 3, 4, true},  {207, 3, 2, true},   {202, 3, 1, true},
    };
    return all;
}

// RGBA bytes of one pixel.
using Rgba = std::array<int, 4>;

// A picture that the layout stores exactly: grey levels the depth has, at
// most 2^depth colours for index layouts, alpha only where the layout keeps it.
inline Rgba sample_colour(const LayoutCase &l, int x, int y) {
    const uint32_t h = static_cast<uint32_t>(x * 73856093) ^ static_cast<uint32_t>(y * 19349663);
    const uint32_t mix = (h ^ (h >> 13)) * 2654435761u;
    const int alpha =
        (l.channels == 2 || l.channels == 4) ? static_cast<int>((mix >> 24) & 255) : 255;
    if (l.indexed) {
        const int n = 1 << l.depth;
        const int k = static_cast<int>(mix >> 8) % n;
        const int a = l.channels == 4 ? (k * 37) % 256 : 255;
        return {(k * 97 + 13) % 256, (k * 59) % 256, 255 - (k * 31) % 256, a};
    }
    if (l.channels <= 2) {
        const int top = (1 << std::min(l.depth, 8)) - 1;
        const int g = static_cast<int>((mix >> 4) % static_cast<uint32_t>(top + 1)) * 255 / top;
        return {g, g, g, alpha};
    }
    return {static_cast<int>(mix & 255), static_cast<int>((mix >> 8) & 255),
            static_cast<int>((mix >> 16) & 255), alpha};
}

// The KVZA image of a picture of 8-bit samples.
inline kvzatest::ImagePtr picture(int w, int h, const std::function<Rgba(int, int)> &colour) {
    return kottest::image_of(w, h, [&](int x, int y) {
        const Rgba c = colour(x, y);
        return kintest::kvz8(c[0], c[1], c[2], static_cast<float>(c[3]) * (1.0f / 255.0f));
    });
}

// The writer, loaded once per test.
class Png : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(writer_.ok()) << writer_.error(); }
    kottest::Writer &writer() { return writer_; }

    // Saves image with options into path; the status.
    int32_t save(KvzaImage *image, const kottest::OutPath &path, const KotSaveOptions &o,
                 KvzaProgress *progress = nullptr) {
        return writer_.save(image, path.c_str(), &o, progress);
    }

  private:
    kottest::Writer writer_{KOT_PLUGIN_DIR, "kotpng"};
};

// ImageMagick's decoding: RGBA at 16 bits per channel, big-endian, top row first.
inline std::optional<std::vector<uint16_t>> magick_rgba16(const std::string &path) {
    const auto bytes =
        kottest::command_output("convert 'png:" + path + "' -depth 16 rgba:- 2>/dev/null");
    if (!bytes) return std::nullopt;
    std::vector<uint16_t> out(bytes->size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint16_t>((*bytes)[2 * i] << 8 | (*bytes)[2 * i + 1]);
    return out;
}

using kottest::have_pil;
using kottest::pil_rgba8;

}  // namespace pngtest

#define PNG_REQUIRE_CONVERT() KOT_REQUIRE_CONVERT()
#define PNG_REQUIRE_PIL()                                                              \
    do {                                                                               \
        if (!::pngtest::have_pil()) GTEST_SKIP() << "Python's imaging library absent"; \
    } while (0)
