// The 32-bit layout with alpha: its masks and colour space in the 108-byte
// header, and its alpha never merged with the background.
#include "kotbmp_fixture.h"

using namespace kotbmptest;

TEST_F(WriterTest, AlphaLayoutHeaderHoldsFourMasksAndSrgb) {
    auto image =
        image_from({{kRed.kvz, with_alpha(kCyan.kvz, 0.5f), with_alpha(kWhite.kvz, 0.0f)}});
    const Saved s = save(image.get(), options(21));
    ASSERT_EQ(s.status, KOT_OK);
    // File size, data offset, header size, bit fields, image size, the red,
    // green, blue and alpha masks, the colour space 'sRGB'.
    const std::pair<size_t, uint32_t> fields[] = {
        {2, 134},       {10, 122},    {14, 108},  {30, 3},          {34, 12},
        {54, 0xff0000}, {58, 0xff00}, {62, 0xff}, {66, 0xff000000}, {70, 0x73524742},
    };
    for (auto [at, value] : fields) EXPECT_EQ(le32(s.bytes, at), value) << "at " << at;
    EXPECT_EQ(le16(s.bytes, 28), 32u);
    EXPECT_EQ(Bytes(s.bytes.begin() + 74, s.bytes.begin() + 122), Bytes(48, 0)) << "no gamma";
    EXPECT_EQ(le32(s.bytes, 126), 0x7f00ffffu) << "cyan at half alpha";
    EXPECT_EQ(save(image.get(), options(21, kMerge)).bytes, s.bytes);
}
