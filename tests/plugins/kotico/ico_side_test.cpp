// The icon layout with alpha goes up to sides of 256, written as 0 in the
// directory (the other layouts stay below 256).
#include "ico_fixture.h"

using namespace icotest;

TEST_F(Ico, AlphaLayoutSidesUpTo256) {
    auto largest = kottest::image_of(256, 256, [](int, int) { return kottest::pixel_of(kRed); });
    const Bytes file = save_ok(largest.get(), kottest::options(21));
    EXPECT_EQ(kottest::slice(file, 6, 2), (Bytes{0, 0}));
    EXPECT_EQ(file.size(), 22u + 40u + 4u * 256u * 256u + 32u * 256u);
    auto wider = kottest::image_of(257, 1, [](int, int) { return kottest::pixel_of(kRed); });
    int32_t status = -1;
    EXPECT_TRUE(save(wider.get(), kottest::options(21), &status).empty());
    EXPECT_EQ(status, KOT_FAILED);
}
