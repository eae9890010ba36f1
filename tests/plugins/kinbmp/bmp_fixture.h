// The BMP reader plug-in, loaded once per test program from the build's output folder.
#pragma once

#include <gtest/gtest.h>

#include "kin_expect.h"
#include "kin_host.h"
#include "kin_samples.h"

inline kintest::Reader &bmp_reader() {
    static kintest::Reader reader(KIN_PLUGIN_DIR, "kinbmp");
    return reader;
}

// The KVZ form of a direct-colour pixel: each 8-bit channel taken through its
// mask is the channel value over 255, rounded to single precision (palette
// entries instead multiply by the float nearest 1/255, see kintest::kvz8).
inline KvzaPixel rgb8(int r, int g, int b, float a = 1.0f) {
    return kintest::kvz(static_cast<float>(r / 255.0), static_cast<float>(g / 255.0),
                        static_cast<float>(b / 255.0), a);
}

class Bmp : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(bmp_reader().ok()) << bmp_reader().error(); }
    const kintest::Reader &reader() const { return bmp_reader(); }
};
