// An independent decoder: every layout written by kotbmp.so is decoded by
// ImageMagick's convert into 8-bit RGBA, and each pixel must be what the
// layout's codes stand for. Skipped only when convert is not installed.
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "kotbmp_fixture.h"

using namespace kotbmptest;

namespace {

bool convert_installed() {
    static const bool installed = std::system("command -v convert >/dev/null 2>&1") == 0;
    return installed;
}

// Runs convert on a file and returns its 8-bit RGBA output (top row first);
// ok is false when convert failed.
Bytes decode_rgba(const std::string &path, bool &ok) {
    const std::string command = "convert '" + path + "' -depth 8 rgba:- 2>/dev/null";
    Bytes out;
    std::FILE *pipe = ::popen(command.c_str(), "r");
    ok = false;
    if (pipe == nullptr) return out;
    uint8_t buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    const int status = ::pclose(pipe);
    ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return out;
}

// A code of `bits` bits as an 8-bit value: code x 255 / (2^bits - 1), rounded.
uint32_t to_byte(uint32_t code, int bits) {
    const uint32_t top = (1u << bits) - 1;
    return (code * 255 + top / 2) / top;
}

class ImageMagick : public WriterTest, public ::testing::WithParamInterface<Layout> {
  protected:
    void SetUp() override {
        WriterTest::SetUp();
        if (!convert_installed()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
};

struct Expected {
    uint32_t rgb[3];
    uint32_t tolerance;  // per channel, in 8-bit steps
    // For fields narrower than 8 bits: the code shifted to the top of the
    // byte without filling the low bits. ImageMagick 6 widens 4-bit bit fields
    // that way (a full 15 becomes 240, not 255); it still shows the code
    // exactly, so that form is accepted too.
    int shifted[3] = {-1, -1, -1};
};

// What the file's codes for an exact colour (and alpha in quarters) stand
// for in 8 bits.
Expected expected_of(const Layout &l, const Colour &c, uint32_t alpha4) {
    Expected e{};
    if (l.kind == Kind::Rgb) {
        int bits[3];
        channel_bits(l, bits);
        uint32_t q[3];
        rgb_levels(l, c, q);
        for (int k = 0; k < 3; ++k) {
            e.rgb[k] = to_byte(q[k], bits[k]);
            // Decoders widen narrow fields by bit replication or by scaling;
            // both land within one step of the exact value.
            if (bits[k] != 8) e.tolerance = 1;
            if (bits[k] < 8) e.shifted[k] = static_cast<int>(q[k] << (8 - bits[k]));
        }
    } else if (l.kind == Kind::Index) {
        e.rgb[0] = palette_byte(c.r4);
        e.rgb[1] = palette_byte(c.g4);
        e.rgb[2] = palette_byte(c.b4);
    } else {
        uint32_t quarters = alpha4;
        if (l.kind == Kind::Grey) {
            const float w = c.kvz.w;
            quarters = w == -1.0f ? 0 : (w == 0.0f ? 2 : (w == 0.5f ? 3 : 4));
        }
        const uint32_t code = level(l.bits, quarters, 4);
        const uint32_t v = code * 255 / ((1u << l.bits) - 1);  // the ramp entry
        e.rgb[0] = e.rgb[1] = e.rgb[2] = v;
    }
    return e;
}

TEST_P(ImageMagick, DecodesTheExpectedColours) {
    const Layout &l = GetParam();
    std::vector<Colour> colours = {kRed,   kCyan,  kChartreuse, kViolet,
                                   kWhite, kBlack, kGrey,       kLight};
    if (l.kind == Kind::Index && l.bits == 1) colours = {kViolet, kWhite};
    const int w = 11, h = 3;  // an odd width: every layout needs row padding
    Rows rows(h);
    std::vector<Expected> expected;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Colour &c = colours[static_cast<size_t>(x + 3 * y) % colours.size()];
            const uint32_t alpha4 = static_cast<uint32_t>(x + y) % 5;
            KvzaPixel p = c.kvz;
            if (l.kind == Kind::Alpha) p.a = 0.25f * static_cast<float>(alpha4);
            rows[static_cast<size_t>(y)].push_back(p);
            expected.push_back(expected_of(l, c, alpha4));
        }
    }
    auto image = image_from(rows);
    TempPath path("magick");
    const KotSaveOptions o = options(l.id);
    ASSERT_EQ(writer().save(image.get(), path.c_str(), &o, nullptr), 0);
    bool ok = false;
    const Bytes rgba = decode_rgba(path.str(), ok);
    ASSERT_TRUE(ok) << "convert could not decode " << path.str();
    ASSERT_EQ(rgba.size(), static_cast<size_t>(w * h * 4));
    for (int i = 0; i < w * h; ++i) {
        const Expected &e = expected[static_cast<size_t>(i)];
        for (int k = 0; k < 3; ++k) {
            const int got = rgba[static_cast<size_t>(4 * i + k)];
            if (got == e.shifted[k]) continue;
            EXPECT_LE(std::abs(got - static_cast<int>(e.rgb[k])), static_cast<int>(e.tolerance))
                << "pixel " << i % w << "," << i / w << " channel " << k << ": got " << got
                << ", expected " << e.rgb[k];
        }
        EXPECT_EQ(rgba[static_cast<size_t>(4 * i + 3)], 255) << "pixel " << i << " is opaque";
    }
}

TEST_P(ImageMagick, ReportsTheGeometry) {
    const Layout &l = GetParam();
    auto image = kvzatest::make_image(13, 7);
    TempPath path("geometry");
    const KotSaveOptions o = options(l.id);
    ASSERT_EQ(writer().save(image.get(), path.c_str(), &o, nullptr), 0);
    const std::string command = "convert '" + path.str() + "' -format '%w %h' info: 2>/dev/null";
    std::FILE *pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char text[64] = {0};
    const size_t n = std::fread(text, 1, sizeof text - 1, pipe);
    ::pclose(pipe);
    EXPECT_EQ(std::string(text, n), "13 7");
}

INSTANTIATE_TEST_SUITE_P(Layouts, ImageMagick, ::testing::ValuesIn(kAllLayouts), layout_name);

}  // namespace
