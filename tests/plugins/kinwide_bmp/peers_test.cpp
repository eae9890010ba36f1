// Bitmaps and icons written by ImageMagick and by Python's imaging library
// open in the wide reader with the pixels the writing program decodes from
// them.
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
const std::string kPillowDecode = kPython +
                                  "\"import sys; from PIL import Image; sys.stdout.buffer.write("
                                  "Image.open(sys.argv[1]).convert('RGBA').tobytes())\"";

bool have_pillow() {
    return std::system((kPython + "'import PIL' 2>/dev/null").c_str()) == 0;
}

// The picture the peers write: width x height RGBA pixels.
struct Picture {
    int width = 13;
    int height = 5;
    const char *extension = ".bmp";
};

// Writes a RGBA source of the picture's size with `write` (arguments:
// source, file), decodes the file with `decode` (argument: file; RGBA rows
// from the top), and gives the largest channel difference between the wide
// reader and the peer.
long worst_difference(const std::string &write, const std::string &decode,
                      const Picture &picture = {}) {
    static Reader wide(WIDE_PLUGIN_DIR, "kinwide");
    const int w = picture.width, n = picture.width * picture.height;
    Bytes rgba;
    for (int i = 0; i < n; ++i)
        for (int v : {i % w * 19, i / w * 61, i * 7, 255 - i * 3})
            rgba.push_back((i / 4) % 3 == 0 ? 96 : static_cast<uint8_t>(v));
    const TempFile raw(rgba);
    kottest::OutPath out(picture.extension);
    if (std::system((write + " " + raw.path() + " " + out.str()).c_str()) != 0) return -1;
    std::FILE *pipe = ::popen((decode + " " + out.str()).c_str(), "r");
    if (pipe == nullptr) return -1;
    Bytes peer(4 * static_cast<size_t>(n) + 1);
    peer.resize(std::fread(peer.data(), 1, peer.size(), pipe));
    ::pclose(pipe);
    const Opened o = open(wide, out.c_str());
    if (peer.size() != 4 * static_cast<size_t>(n) || o.status != 0 || o.width != w) return -1;
    long worst = 0;
    for (int i = 0; i < n; ++i) {
        KvzaPixel p;
        kvza_kvza2rgba(&p, &kvzatest::at(o.image.get(), i % w, i / w));
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
    if (!have_pillow()) GTEST_SKIP() << "Python's imaging library absent";
    const long worst =
        worst_difference(kPython +
                             "\"import sys; from PIL import Image\n"
                             "Image.frombytes('RGBA', (13, 5), open(sys.argv[1], 'rb').read())"
                             ".save(sys.argv[2], 'BMP')\"",
                         kPillowDecode);
    EXPECT_GE(worst, 0);
    EXPECT_LE(worst, 0);
}

// ImageMagick stores a 256-pixel entry as a PNG file, smaller ones as bitmaps;
// Pillow stores every entry as a PNG file.
TEST(WideIcoPeers, PeerIconsGiveTheirPixels) {
    KOT_REQUIRE_CONVERT();
    struct Case {
        std::string write, decode;
        Picture picture;
    };
    std::vector<Case> cases = {
        {"f() { convert -size 13x5 -depth 8 rgba:$1 ico:$2; }; f", "", {13, 5, ".ico"}},
        {"f() { convert -size 256x256 -depth 8 rgba:$1 ico:$2; }; f", "", {256, 256, ".ico"}},
        {"f() { convert -size 40x20 -depth 8 rgba:$1 cur:$2; }; f", "", {40, 20, ".cur"}},
    };
    if (have_pillow()) {
        // Two sizes: the larger entry is the one decoded.
        cases.push_back({kPython +
                             "\"import sys; from PIL import Image\n"
                             "Image.frombytes('RGBA', (48, 48), open(sys.argv[1], 'rb')"
                             ".read()).save(sys.argv[2], 'ICO', sizes=[(16, 16), (48, 48)])\"",
                         kPillowDecode,
                         {48, 48, ".ico"}});
    }
    for (const Case &c : cases) {
        const std::string decode =
            c.decode.empty() ? "f() { convert $1 -depth 8 rgba:-; }; f" : c.decode;
        EXPECT_EQ(worst_difference(c.write, decode, c.picture), 0) << c.write;
    }
}
