// Run-length encoded files written by ImageMagick and by Python's imaging
// library open with the pixels the writing program decodes from them.
#include <cmath>

#include "kot_host.h"
#include "wide_tga_fixture.h"

using namespace kintest;

namespace {

const std::string kPython = "/usr/bin/python3 -c ";

// A peer's file of the source in one layout: its options, type and depth.
struct PeerFile {
    std::string options;
    uint8_t type, depth;
};

// Writes the 23 x 7 RGBA source (flat stretches of six pixels, some across
// row ends, between pixels of varying colour and alpha) with the shell
// command `write` (arguments: source, file), decodes the file with `decode`
// (argument: file; RGBA rows from the top on its output), and compares the
// wide reader's pixels with the peer's.
void check(const Reader &wide, const PeerFile &c, const std::string &write,
           const std::string &decode) {
    Bytes rgba;
    for (uint32_t i = 0; i < 23 * 7; ++i)
        for (uint32_t v : {i % 23 * 11, i / 23 * 37, i * 5, i * 9})
            rgba.push_back((i / 6) % 3 == 0 ? 200 : static_cast<uint8_t>(v));
    const TempFile raw(rgba);
    kottest::OutPath out(".tga");
    ASSERT_EQ(std::system((write + " " + raw.path() + " " + out.str()).c_str()), 0) << c.options;
    std::FILE *pipe = ::popen((decode + " " + out.str()).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    Bytes peer(4 * 23 * 7 + 1);
    peer.resize(std::fread(peer.data(), 1, peer.size(), pipe));
    ::pclose(pipe);
    const Opened o = open(wide, out.c_str());
    ASSERT_TRUE(peer.size() == 4 * 23 * 7 && o.status == 0) << c.options;
    long worst = 0;
    for (int i = 0; i < 23 * 7; ++i) {
        KvzaPixel p;
        kvza_kvza2rgba(&p, &pix(o.image, i % 23, i / 23));
        const float got[4] = {p.c, p.s, p.w, p.a};
        for (int k = 0; k < 4; ++k)
            worst = std::max(worst, std::labs(std::lround(std::clamp(got[k], 0.0f, 1.0f) * 255) -
                                              peer[4 * i + k]));
    }
    // Exact, but for 5-bit channels, which ImageMagick widens with its own rounding.
    EXPECT_LE(worst, c.depth == 16 && c.type == 10 ? 1 : 0) << c.options;
    const Bytes file = out.bytes();
    EXPECT_TRUE(file.size() > 18 && file[2] == c.type && file[16] == c.depth) << c.options;
}

}  // namespace

TEST_F(WideTga, ImageMagickRunLengthFilesGiveItsPixels) {
    KOT_REQUIRE_CONVERT();
    for (const PeerFile &c : std::vector<PeerFile>{{"-type TrueColorAlpha", 10, 32},
                                                   {"-type TrueColorAlpha -orient TopLeft", 10, 32},
                                                   {"-type TrueColor", 10, 24},
                                                   {"-depth 5", 10, 16},
                                                   {"-type Grayscale", 11, 8},
                                                   {"-type Palette", 9, 8}}) {
        check(wide(), c,
              "f() { convert -size 23x7 -depth 8 rgba:$1 " + c.options + " -compress RLE $2; }; f",
              "f() { convert tga:$1 -auto-orient -depth 8 rgba:-; }; f");
    }
}

TEST_F(WideTga, PillowRunLengthFilesGiveItsPixels) {
    if (std::system((kPython + "'import PIL' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "Python's imaging library absent";
    // Mode and orientation (1: top row first; -1 bottom row first).
    for (const PeerFile &c : std::vector<PeerFile>{{"'RGBA', -1", 10, 32},
                                                   {"'RGBA', 1", 10, 32},
                                                   {"'RGB', -1", 10, 24},
                                                   {"'L', 1", 11, 8},
                                                   {"'LA', -1", 11, 16},
                                                   {"'LA', 1", 11, 16},
                                                   {"'P', -1", 9, 8},
                                                   {"'P', 1", 9, 8}}) {
        check(wide(), c,
              kPython +
                  "\"import sys; from PIL import Image\n"
                  "im = Image.frombytes('RGBA', (23, 7), open(sys.argv[1], 'rb').read())\n"
                  "def save(mode, orientation):\n"
                  "  x = im.convert('RGB').quantize(40) if mode == 'P' else im.convert(mode)\n"
                  "  x.save(sys.argv[2], 'TGA', compression='tga_rle', orientation=orientation)\n"
                  "save(" +
                  c.options + ")\"",
              kPython +
                  "\"import sys; from PIL import Image; sys.stdout.buffer.write("
                  "Image.open(sys.argv[1]).convert('RGBA').tobytes())\"");
    }
}
