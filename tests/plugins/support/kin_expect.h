// GoogleTest helpers for comparing decoded pixels.
#pragma once

#include <gtest/gtest.h>

#include "kin_host.h"

namespace kintest {

inline ::testing::AssertionResult same_pixel(const KvzaPixel &actual, const KvzaPixel &expected) {
    const auto near = [](float a, float b) {
        return ::testing::internal::FloatingPoint<float>(a).AlmostEquals(
            ::testing::internal::FloatingPoint<float>(b));
    };
    if (near(actual.c, expected.c) && near(actual.s, expected.s) && near(actual.w, expected.w) &&
        near(actual.a, expected.a))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixel (" << actual.c << ", " << actual.s << ", " << actual.w << ", " << actual.a
           << ") expected (" << expected.c << ", " << expected.s << ", " << expected.w << ", "
           << expected.a << ")";
}

// The pixel at (x, y) of an image, as stored.
inline const KvzaPixel &pix(const kvzatest::ImagePtr &image, int x, int y) {
    return kvzatest::at(image.get(), x, y);
}

inline bool is_clear(const KvzaPixel &p) {
    return p.c == 0.0f && p.s == 0.0f && p.w == 0.0f && p.a == 0.0f;
}

}  // namespace kintest

#define EXPECT_PIXEL(actual, expected) EXPECT_TRUE(::kintest::same_pixel((actual), (expected)))
