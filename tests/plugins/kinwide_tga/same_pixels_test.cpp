// The wide reader gives kintga's pixels for every file kintga opens, and the
// same pixels again when the file is run-length encoded (the true-colour
// samples without ID field start like a cursor directory, 00 00 02 00);
// files that are not TGA are refused.
#include "tga_mends.h"
#include "wide_tga_fixture.h"

using namespace kintest;

TEST_F(WideTga, SamplesAndMendsGiveKintgaPixelsRawAndEncoded) {
    std::vector<std::pair<Bytes, int>> files;  // file without footer, footer
    for (const Sample &s : tga_samples()) files.emplace_back(s.bytes, tgamend::kNoFooter);
    for (const tgamend::Case &c : tgamend::cases()) files.emplace_back(c.file(), c.footer);
    for (const auto &[plain, footer] : files) {
        const Opened by_tga = open(reader(), tgamend::with_footer(plain, footer));
        ASSERT_EQ(by_tga.status, 0);
        EXPECT_TRUE(same_image(open(wide(), tgamend::with_footer(plain, footer)), by_tga));
        EXPECT_TRUE(same_image(open(wide(), tgamend::with_footer(encoded(plain), footer)), by_tga))
            << "type " << int{plain[2]} << " depth " << int{plain[16]} << " footer " << footer;
    }
}

TEST_F(WideTga, FilesThatAreNotTgaAreRefused) {
    const std::string text = "Width and height\nof the picture\n";
    std::vector<Bytes> files = {
        {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1},
        {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0},
        Bytes(text.begin(), text.end())};
    // Header byte, value: map type 2; type 9 without map; map length without
    // map; a map of 8-bit entries; 8-bit true colour; type 4; an ID past the
    // end; 4 x 257 pixels from 4 bytes of packets; 4 bytes for 4 raw pixels.
    for (auto [at, value] : std::vector<std::pair<int, uint8_t>>{
             {1, 2}, {2, 9}, {5, 1}, {1, 1}, {16, 8}, {2, 4}, {0, 5}, {15, 1}, {2, 2}}) {
        TgaSpec s;
        s.type = 10;
        s.width = 4;
        s.height = 1;
        s.pixels = {0x83, 1, 2, 3};
        files.push_back(build_tga(s));
        files.back()[at] = value;
    }
    for (const Bytes &file : files) {
        TempFile f(file);
        EXPECT_EQ(wide().imgs(f.path(), 0), 0) << int{file[2]};
        EXPECT_EQ(wide().pixs(f.path(), 0, nullptr, nullptr), 0);
        kvzatest::ImagePtr image = kvzatest::make_image(4, 1);
        EXPECT_EQ(wide().load(image.get(), f.path(), 0, nullptr), 1);
    }
}
