// Bitmaps written by ImageMagick and by Python's imaging library open in the
// wide reader with the pixels the writing program decodes from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "image_block.h"
#include "kin_host.h"
#include "kin_samples.h"
#include "kot_host.h"

using namespace kintest;

namespace {

const std::string kPython = "/usr/bin/python3 -c ";

// Writes a 13 x 5 RGBA source with `write` (arguments: source, file), decodes
// the file with `decode` (argument: file; RGBA rows from the top), and gives
// the largest channel difference between the wide reader and the peer.
long worst_difference(const std::string &write, const std::string &decode) {
    static Reader wide(WIDE_PLUGIN_DIR, "kinwide");
    Bytes rgba;
    for (uint32_t i = 0; i < 13 * 5; ++i)
        for (uint32_t v : {i % 13 * 19, i / 13 * 61, i * 7, 255 - i * 3})
            rgba.push_back((i / 4) % 3 == 0 ? 96 : static_cast<uint8_t>(v));
    const TempFile raw(rgba);
    kottest::OutPath out(".bmp");
    if (std::system((write + " " + raw.path() + " " + out.str()).c_str()) != 0) return -1;
    std::FILE *pipe = ::popen((decode + " " + out.str()).c_str(), "r");
    if (pipe == nullptr) return -1;
    Bytes peer(4 * 13 * 5 + 1);
    peer.resize(std::fread(peer.data(), 1, peer.size(), pipe));
    ::pclose(pipe);
    const Opened o = open(wide, out.c_str());
    if (peer.size() != 4 * 13 * 5 || o.status != 0) return -1;
    long worst = 0;
    for (int i = 0; i < 13 * 5; ++i) {
        KvzaPixel p;
        kvza_kvza2rgba(&p, &kvzatest::at(o.image.get(), i % 13, i / 13));
        const float got[4] = {p.c, p.s, p.w, p.a};
        for (int k = 0; k < 4; ++k)
            worst = std::max(worst, std::labs(std::lround(std::clamp(got[k], 0.0f, 1.0f) * 255) -
                                              peer[4 * i + k]));
    }
    return worst;
}

}  // namespace

TEST(WideBmpPeers, ImageMagickBitmapsGiveItsPixels) {
    KOT_REQUIRE_CONVERT();
    // Options and the largest difference allowed (ImageMagick widens channels
    // of fewer than 8 bits with its own rounding).
    for (const auto &[options, allowed] : std::vector<std::pair<std::string, long>>{
             {"bmp:", 0},
             {"-type TrueColor bmp3:", 0},
             {"-type TrueColor bmp2:", 0},
             {"-type Palette -colors 200 -compress RLE bmp3:", 0},
             {"-type Palette -colors 12 -compress RLE bmp3:", 0},
             {"-define bmp:subtype=ARGB8888 bmp:", 0},
             {"-define bmp:subtype=RGBA5551 bmp:", 1},
             {"-define bmp:subtype=RGB565 bmp:", 1},
             // 4-bit channels: ImageMagick shifts them up (15 -> 240) where the
             // reader scales them (15 -> 255).
             {"-define bmp:subtype=ARGB4444 bmp:", 15}}) {
        EXPECT_LE(
            worst_difference("f() { convert -size 13x5 -depth 8 rgba:$1 " + options + "$2; }; f",
                             "f() { convert $1 -depth 8 rgba:-; }; f"),
            allowed)
            << options;
    }
}

TEST(WideBmpPeers, PillowRgbaBitmapGivesItsPixels) {
    if (std::system((kPython + "'import PIL' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "Python's imaging library absent";
    const long worst =
        worst_difference(kPython +
                             "\"import sys; from PIL import Image\n"
                             "Image.frombytes('RGBA', (13, 5), open(sys.argv[1], 'rb').read())"
                             ".save(sys.argv[2], 'BMP')\"",
                         kPython +
                             "\"import sys; from PIL import Image; sys.stdout.buffer.write("
                             "Image.open(sys.argv[1]).convert('RGBA').tobytes())\"");
    EXPECT_GE(worst, 0);
    EXPECT_LE(worst, 0);
}
