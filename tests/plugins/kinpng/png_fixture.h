// The PNG reader plug-in, loaded once per test program, and the pixels a
// described file should give.
#pragma once

#include <gtest/gtest.h>

#include "kin_expect.h"
#include "kin_host.h"
#include "png_samples.h"

inline kintest::Reader &png_reader() {
    static kintest::Reader reader(KIN_PLUGIN_DIR, "kinpng");
    return reader;
}

// Channel value of a sample: 8-bit samples times the float nearest 1/255,
// others over 2^depth - 1 in double, rounded to single precision.
inline float unit(uint32_t v, uint8_t depth) {
    if (depth == 8) return static_cast<float>(v) * (1.0f / 255.0f);
    return static_cast<float>(v / ((depth == 16 ? 65536.0 : double(1U << depth)) - 1.0));
}

// The pixel at (x, y) of the file the description gives.
inline KvzaPixel expected(const pngtest::PngSpec &s, uint32_t x, uint32_t y) {
    const uint32_t n = pngtest::channels(s.colour);
    const uint16_t *p = &s.samples[(static_cast<size_t>(y) * s.width + x) * n];
    if (s.colour == 3) {
        const uint32_t c = s.palette[p[0]];
        const float a = p[0] < s.palette_alpha.size() ? unit(s.palette_alpha[p[0]], 8) : 1.0f;
        return kintest::kvz8(c >> 16, (c >> 8) & 255, c & 255, a);
    }
    const bool keyed = !s.key.empty() && std::equal(s.key.begin(), s.key.end(), p);
    const float g = unit(p[0], s.depth);
    const float a = n == 2 || n == 4 ? unit(p[n - 1], s.depth) : keyed ? 0.0f : 1.0f;
    if (n <= 2) return kintest::kvz(g, g, g, a);
    return kintest::kvz(g, unit(p[1], s.depth), unit(p[2], s.depth), a);
}

class Png : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(png_reader().ok()) << png_reader().error(); }
    const kintest::Reader &reader() const { return png_reader(); }
};
