// Helpers of the BMP writer tests: the plug-in loaded with dlopen (so only its
// exports are exercised), temporary files, colours whose RGB form is exact,
// the quantisation worked out in integers, and a builder of expected files.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "image_block.h"
#include "kot.h"
#include "kvza.h"

namespace kotbmptest {

using Bytes = std::vector<uint8_t>;
using Rows = std::vector<std::vector<KvzaPixel>>;

// ------------------------------------------------------------- the plug-in

// kotbmp.so from the build's output folder, loaded once per test process.
class Writer {
  public:
    static Writer &get() {
        static Writer writer;
        return writer;
    }
    bool ok() const { return table != nullptr && table_img != nullptr && save != nullptr; }
    const std::string &error() const { return error_; }

    KotGetUsableTblFn table = nullptr;
    KotGetUsableTblImgFn table_img = nullptr;
    KotSaveFn save = nullptr;

  private:
    Writer() {
        const std::string path = std::string(KOT_PLUGIN_DIR) + "/kotbmp.so";
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            const char *e = dlerror();
            error_ = e != nullptr ? e : "dlopen failed";
            return;
        }
        table = reinterpret_cast<KotGetUsableTblFn>(dlsym(handle_, "kot_getusabletbl"));
        table_img = reinterpret_cast<KotGetUsableTblImgFn>(dlsym(handle_, "kot_getusabletbl_img"));
        save = reinterpret_cast<KotSaveFn>(dlsym(handle_, "kot_save"));
        if (!ok()) error_ = "an export is missing in " + path;
    }
    ~Writer() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    void *handle_ = nullptr;
    std::string error_;
};

// Base of the test suites: stops a test when the plug-in did not load.
class WriterTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(writer().ok()) << writer().error(); }
    static Writer &writer() { return Writer::get(); }
};

// ---------------------------------------------------------------- files

// A path in the temporary folder that does not exist yet; removed at the end.
class TempPath {
  public:
    explicit TempPath(const std::string &name) {
        static int serial = 0;
        path_ = (std::filesystem::temp_directory_path() /
                 ("kotbmp_" + std::to_string(::getpid()) + "_" + std::to_string(++serial) + "_" +
                  name + ".bmp"))
                    .string();
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    ~TempPath() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TempPath(const TempPath &) = delete;
    TempPath &operator=(const TempPath &) = delete;
    const char *c_str() const { return path_.c_str(); }
    const std::string &str() const { return path_; }
    bool exists() const { return std::filesystem::exists(path_); }
    Bytes bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::string path_;
};

// ------------------------------------------------------------- options

inline KotSaveOptions options(int16_t type, uint16_t switches = 0, int16_t dither = 0,
                              int16_t threshold = 128) {
    KotSaveOptions o{};
    o.type = type;
    o.switches = switches;
    o.valid = 1;
    o.track[0] = dither;
    o.track[1] = threshold;
    return o;
}

inline constexpr uint16_t kMerge = 1;        // switch 0
inline constexpr uint16_t kThreshold = 2;    // switch 1
inline constexpr uint16_t kAlphaDither = 4;  // switch 2

// Top-left 8 x 8 block of the library's default ordered-dither table.
inline constexpr uint8_t kDitherBlock[8][8] = {
    {7, 231, 52, 203, 11, 248, 55, 199},  {173, 115, 190, 87, 146, 81, 180, 103},
    {40, 196, 20, 221, 33, 229, 26, 242}, {158, 82, 160, 126, 130, 100, 149, 85},
    {9, 240, 61, 227, 0, 234, 48, 204},   {169, 69, 182, 107, 155, 112, 185, 77},
    {47, 200, 29, 246, 43, 209, 31, 251}, {136, 119, 141, 89, 132, 64, 167, 124},
};

// ------------------------------------------------------------- colours
//
// KVZ colours whose conversion to RGB is exact in floats: every channel is
// 0, 1/2, 3/4 or 1. Their RGB channels are kept in quarters next to them.

struct Colour {
    KvzaPixel kvz;
    uint32_t r4, g4, b4;  // red, green, blue in quarters (0..4)
};

inline constexpr Colour kRed{{1.0f, 0.0f, 0.0f, 1.0f}, 4, 0, 0};
inline constexpr Colour kCyan{{-1.0f, 0.0f, 0.0f, 1.0f}, 0, 4, 4};
inline constexpr Colour kChartreuse{{0.0f, 1.0f, 0.0f, 1.0f}, 2, 4, 0};
inline constexpr Colour kViolet{{0.0f, -1.0f, 0.0f, 1.0f}, 2, 0, 4};
inline constexpr Colour kWhite{{0.0f, 0.0f, 1.0f, 1.0f}, 4, 4, 4};
inline constexpr Colour kBlack{{0.0f, 0.0f, -1.0f, 1.0f}, 0, 0, 0};
inline constexpr Colour kGrey{{0.0f, 0.0f, 0.0f, 1.0f}, 2, 2, 2};
inline constexpr Colour kLight{{0.0f, 0.0f, 0.5f, 1.0f}, 3, 3, 3};

inline KvzaPixel with_alpha(KvzaPixel p, float a) {
    p.a = a;
    return p;
}

// An image of the given rows (top row first).
inline kvzatest::ImagePtr image_from(const Rows &rows) {
    const int h = static_cast<int>(rows.size());
    const int w = h > 0 ? static_cast<int>(rows[0].size()) : 0;
    auto image = kvzatest::make_image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) kvzatest::at(image.get(), x, y) = rows[y][x];
    return image;
}

// The value a channel of num/den (0..1) takes in `bits` bits without dither:
// the channel times 2^(bits+8) - 1, truncated, then the 8 fraction bits
// dropped. In integers, so no float rounding gets in the way.
inline uint32_t level(int bits, uint32_t num, uint32_t den) {
    const uint64_t scale = (uint64_t{1} << (bits + 8)) - 1;
    return static_cast<uint32_t>((scale * num / den) >> 8);
}

// Lowest set bit of a mask: where its channel starts.
inline int shift_of(uint32_t mask) {
    int s = 0;
    while (mask != 0 && (mask & 1u) == 0) {
        mask >>= 1;
        ++s;
    }
    return s;
}
// Set bits of a mask: its channel width.
inline int width_of(uint32_t mask) {
    int n = 0;
    for (; mask != 0; mask &= mask - 1) ++n;
    return n;
}

// ------------------------------------------------------------- layouts

enum class Kind { Rgb, Index, Grey, Alpha };

// One saved layout as the file format describes it.
struct Layout {
    int16_t id;
    uint16_t bits;
    uint32_t compression;
    uint32_t masks[3];  // red, green, blue (bit fields only)
    uint32_t entries;   // palette entries
    Kind kind;
};

inline constexpr Layout kAllLayouts[] = {
    {20, 24, 0, {0, 0, 0}, 0, Kind::Rgb},
    {22, 32, 3, {0xff0000, 0xff00, 0xff}, 0, Kind::Rgb},
    {23, 16, 3, {0xf800, 0x7e0, 0x1f}, 0, Kind::Rgb},
    {24, 16, 3, {0x7c00, 0x3e0, 0x1f}, 0, Kind::Rgb},
    {30, 16, 3, {0xf00, 0xf0, 0xf}, 0, Kind::Rgb},
    {190, 32, 3, {0x3ff00000, 0xffc00, 0x3ff}, 0, Kind::Rgb},
    {191, 32, 3, {0xffe00000, 0x1ffc00, 0x3ff}, 0, Kind::Rgb},
    {41, 8, 0, {0, 0, 0}, 256, Kind::Index},
    {212, 4, 0, {0, 0, 0}, 16, Kind::Index},
    {202, 1, 0, {0, 0, 0}, 2, Kind::Index},
    {50, 8, 0, {0, 0, 0}, 256, Kind::Grey},
    {210, 4, 0, {0, 0, 0}, 16, Kind::Grey},
    {200, 1, 0, {0, 0, 0}, 2, Kind::Grey},
    {28, 8, 0, {0, 0, 0}, 256, Kind::Alpha},
    {211, 4, 0, {0, 0, 0}, 16, Kind::Alpha},
    {201, 1, 0, {0, 0, 0}, 2, Kind::Alpha},
};

inline std::string layout_name(const ::testing::TestParamInfo<Layout> &info) {
    return "id" + std::to_string(info.param.id);
}

// Widths of the red, green and blue fields of an RGB layout.
inline void channel_bits(const Layout &l, int bits[3]) {
    for (int k = 0; k < 3; ++k) bits[k] = l.compression == 3 ? width_of(l.masks[k]) : 8;
}

// The quantised (undithered) channels of an exact colour in an RGB layout.
inline void rgb_levels(const Layout &l, const Colour &c, uint32_t out[3]) {
    int bits[3];
    channel_bits(l, bits);
    const uint32_t q4[3] = {c.r4, c.g4, c.b4};
    for (int k = 0; k < 3; ++k) out[k] = level(bits[k], q4[k], 4);
}

// The pixel word of an exact colour in an RGB layout: channels placed under
// the masks (24 bits: blue in the low byte, red in the high byte).
inline uint32_t rgb_value(const Layout &l, const Colour &c) {
    uint32_t q[3];
    rgb_levels(l, c, q);
    if (l.compression != 3) return (q[0] << 16) | (q[1] << 8) | q[2];
    uint32_t word = 0;
    for (int k = 0; k < 3; ++k) word |= q[k] << shift_of(l.masks[k]);
    return word;
}

// ------------------------------------------------------------- expected files

inline void put16(Bytes &b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes &b, uint32_t v) {
    put16(b, v);
    put16(b, v >> 16);
}
inline uint32_t le32(const Bytes &b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}
inline uint32_t le16(const Bytes &b, size_t at) {
    return b[at] | (b[at + 1] << 8);
}

// Pixel values packed into rows as a bitmap stores them: the rows given
// bottom row first, 1/4/8-bit values leftmost in the high bits, wider values
// little-endian, each row padded with zeros to a multiple of 4 bytes.
inline Bytes rows_of(int bits, const std::vector<std::vector<uint32_t>> &bottom_up) {
    Bytes out;
    for (const auto &row : bottom_up) {
        Bytes r;
        if (bits < 8) {
            uint32_t acc = 0;
            int used = 0;
            for (uint32_t v : row) {
                acc = (acc << bits) | v;
                used += bits;
                if (used == 8) {
                    r.push_back(static_cast<uint8_t>(acc));
                    acc = 0;
                    used = 0;
                }
            }
            if (used > 0) r.push_back(static_cast<uint8_t>(acc << (8 - used)));
        } else {
            for (uint32_t v : row)
                for (int k = 0; k < bits / 8; ++k) r.push_back(static_cast<uint8_t>(v >> (8 * k)));
        }
        while (r.size() % 4 != 0) r.push_back(0);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

// A whole file: "BM", file size, 0, data offset, 40, width, height, 1 plane,
// bits, compression, image size (= the row bytes), four zero words, then the
// masks, the palette and the rows.
inline Bytes bitmap(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                    const std::vector<uint32_t> &masks, const Bytes &palette, const Bytes &rows) {
    const uint32_t offset =
        54 + 4 * static_cast<uint32_t>(masks.size()) + static_cast<uint32_t>(palette.size());
    Bytes out = {'B', 'M'};
    put32(out, offset + static_cast<uint32_t>(rows.size()));
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    put16(out, 1);
    put16(out, bits);
    put32(out, compression);
    put32(out, static_cast<uint32_t>(rows.size()));
    for (int i = 0; i < 4; ++i) put32(out, 0);
    for (uint32_t m : masks) put32(out, m);
    out.insert(out.end(), palette.begin(), palette.end());
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

// Palette entries blue, green, red, 0 from 0xRRGGBB values.
inline Bytes palette_of(const std::vector<uint32_t> &rgb) {
    Bytes out;
    for (uint32_t c : rgb) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(0);
    }
    return out;
}

// Grey ramp of n entries: 0 .. 255 in equal integer steps.
inline Bytes ramp(uint32_t n) {
    std::vector<uint32_t> rgb;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t v = i * 255 / (n - 1);
        rgb.push_back(v * 0x010101u);
    }
    return palette_of(rgb);
}

// A palette byte of an exact colour's channel: channel x 255, truncated.
inline uint32_t palette_byte(uint32_t quarters) {
    return quarters * 255 / 4;
}
inline uint32_t palette_rgb(const Colour &c) {
    return (palette_byte(c.r4) << 16) | (palette_byte(c.g4) << 8) | palette_byte(c.b4);
}

// Saves and returns the status with the file's bytes.
struct Saved {
    int32_t status = -1;
    Bytes bytes;
};
inline Saved save(KvzaImage *image, const KotSaveOptions &o, KvzaProgress *progress = nullptr,
                  const std::string &name = "file") {
    TempPath path(name);
    Saved s;
    s.status = Writer::get().save(image, path.c_str(), &o, progress);
    s.bytes = path.bytes();
    return s;
}

// Records every progress call; answers nonzero on call number stop_at (1-based).
struct ProgressLog {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    size_t stop_at = 0;
    KvzaProgress record{};
    explicit ProgressLog(uint32_t interval = 0) {
        record.callback = &ProgressLog::callback;
        record.userdata = this;
        record.interval = interval;
    }
    static int32_t callback(void *userdata, uint32_t done, uint32_t total) {
        auto *log = static_cast<ProgressLog *>(userdata);
        log->calls.emplace_back(done, total);
        return log->calls.size() == log->stop_at ? 1 : 0;
    }
};

}  // namespace kotbmptest
