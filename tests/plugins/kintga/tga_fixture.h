// The TGA reader plug-in, loaded once per test program from the build's output folder.
#pragma once

#include <gtest/gtest.h>

#include "kin_expect.h"
#include "kin_host.h"
#include "kin_samples.h"

inline kintest::Reader &tga_reader() {
    static kintest::Reader reader(KIN_PLUGIN_DIR, "kintga");
    return reader;
}

class Tga : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tga_reader().ok()) << tga_reader().error(); }
    const kintest::Reader &reader() const { return tga_reader(); }
};

// The float nearest 1/31, as 5-bit channels are scaled.
inline float five(uint32_t v) {
    return static_cast<float>(v) * (1.0f / 31.0f);
}
