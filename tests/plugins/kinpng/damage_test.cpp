// Broken and hostile files: refused by all three exports, never a read
// outside a buffer (run under the sanitizers), rows before the damage kept.
#include <functional>

#include "png_fixture.h"

using namespace kintest;
using namespace pngtest;

namespace {

// The file with the byte at pos changed by xor.
Bytes flipped(Bytes png, size_t pos, uint8_t bits = 1) {
    png.at(pos) ^= bits;
    return png;
}

// The file with IHDR's data byte i set to v and its checksum made right.
Bytes with_header_byte(const Bytes &png, size_t i, uint8_t v) {
    Bytes data(png.begin() + 16, png.begin() + 29);
    data.at(i) = v;
    Bytes out = chunk("IHDR", data);
    out.insert(out.begin(), png.begin(), png.begin() + 8);
    out.insert(out.end(), png.begin() + 33, png.end());
    return out;
}

const Bytes kText = chunk("tEXt", {'k', 0, 'v'});

}  // namespace

TEST_F(Png, DamagedFilesAreRefusedByEveryExport) {
    const Bytes rgb = encode(layout(2, 8, false, 9, 5));
    const Bytes pal = encode(layout(3, 2, false, 9, 5));
    const size_t data = chunk_at(rgb, "IDAT"), end = chunk_at(rgb, "IEND");
    const Bytes texts = inserted(inserted(rgb, end, kText), data, kText);
    const struct {
        const char *name;
        Bytes file;
    } cases[] = {
        {"header checksum", flipped(rgb, 32)},
        {"image data checksum", flipped(rgb, end - 1)},
        {"text checksum before the data", flipped(texts, data + 13)},
        {"text checksum after the data", flipped(texts, chunk_at(texts, "IEND") - 1)},
        {"end checksum", flipped(rgb, rgb.size() - 1)},
        {"no end", Bytes(rgb.begin(), rgb.begin() + static_cast<long>(end))},
        {"depth 3", with_header_byte(rgb, 8, 3)},
        {"colour type 5", with_header_byte(rgb, 9, 5)},
        {"interlace method 2", with_header_byte(rgb, 12, 2)},
        {"width 0", with_header_byte(rgb, 3, 0)},
        {"unknown critical chunk", inserted(rgb, data, chunk("CRIT", {1}))},
        {"unknown critical chunk after the data", inserted(rgb, end, chunk("CRIT", {1}))},
        {"palette after the data", inserted(rgb, end, chunk("PLTE", {1, 2, 3}))},
        {"image data after text", inserted(rgb, end, inserted(kText, 12, chunk("IDAT", {})))},
        {"transparency before the palette",
         inserted(pal, chunk_at(pal, "PLTE"), chunk("tRNS", {0, 0}))},
        {"huge size in a tiny file", with_header_byte(with_header_byte(rgb, 0, 1), 4, 1)},
    };
    for (const auto &c : cases) {
        TempFile f(c.file);
        EXPECT_EQ(reader().imgs(f.path(), 0), 0) << c.name;
        EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0) << c.name;
        kvzatest::ImagePtr image;
        EXPECT_EQ(load_into(reader(), c.file, 9, 5, image), 1) << c.name;
    }
}

TEST_F(Png, EveryTruncationIsRefused) {
    for (const Sample &s : png_samples()) {
        TempFile f({});
        for (size_t len = 0; len < s.bytes.size(); ++len) {
            f.write(Bytes(s.bytes.begin(), s.bytes.begin() + static_cast<long>(len)));
            ASSERT_EQ(reader().imgs(f.path(), 0), 0) << s.name << " cut to " << len;
            ASSERT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0) << s.name << " " << len;
            kvzatest::ImagePtr image = kvzatest::make_image(s.width, s.height);
            ASSERT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1) << s.name << " " << len;
        }
    }
}

TEST_F(Png, RowsBeforeTheDamageStay) {
    for (bool interlaced : {false, true}) {
        const PngSpec s = layout(6, 16, interlaced, 8, 40);
        const Bytes png = encode(s);
        const Bytes cut(png.begin(), png.begin() + static_cast<long>(png.size() * 2 / 3));
        for (const Bytes &file : {cut, flipped(png, chunk_at(png, "IEND") - 1)}) {
            kvzatest::ImagePtr image;
            ASSERT_EQ(load_into(reader(), file, 8, 40, image), 1);
            // Row 0 is complete before the last pass; the last row of a cut
            // file never arrives.
            for (uint32_t x = 0; x < 8; ++x) EXPECT_PIXEL(pix(image, x, 0), expected(s, x, 0));
            if (file.size() < png.size()) {
                EXPECT_TRUE(is_clear(pix(image, 7, 39)));
            }
        }
    }
}
