// Writes the sample files of every reader variant as the fuzzing seed corpus.
// Usage: kin_seeds BMP_FOLDER TGA_FOLDER PNG_FOLDER WIDE_FOLDER
#include <cstdio>
#include <string>
#include <utility>

#include "kin_samples.h"
#include "png_samples.h"

namespace {

bool write_all(const std::string &folder, const std::vector<kintest::Sample> &samples,
               const char *extension) {
    for (const kintest::Sample &s : samples) {
        const std::string path = folder + "/" + s.name + extension;
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return false;
        }
        const bool ok = std::fwrite(s.bytes.data(), 1, s.bytes.size(), f) == s.bytes.size();
        if (std::fclose(f) != 0 || !ok) return false;
    }
    std::printf("%zu seeds in %s\n", samples.size(), folder.c_str());
    return true;
}

// The forms only the wide reader opens: later bitmap headers with alpha
// masks, run-length bitmaps, icons with 32-bit and PNG entries, run-length
// TGA files of types 9, 10 and 11; then every BMP and TGA sample.
std::vector<kintest::Sample> wide_samples() {
    using namespace kintest;
    std::vector<Sample> out;
    const Bytes table = colour_table({0x000000, 0xFF0000, 0x00FF00, 0x0000FF}, 4);
    const auto bmp = [&](const char *name, uint32_t header, uint32_t compression, uint16_t bpp,
                         std::vector<uint32_t> masks, Bytes t, Bytes rows) {
        BmpSpec s;
        s.header_size = header;
        s.width = 4;
        s.height = 2;
        s.bpp = bpp;
        s.compression = compression;
        s.masks = std::move(masks);
        s.table = std::move(t);
        s.rows = std::move(rows);
        out.push_back({name, build_bmp(s), 4, 2});
    };
    const Bytes pixels = pattern(32, 7);
    bmp("v5_alpha", 124, 3, 32, {}, {}, pixels);
    bmp("alphabitfields", 40, 6, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {}, pixels);
    bmp("argb1555", 40, 6, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, {}, pattern(16, 3));
    bmp("rle8", 40, 1, 8, {}, table, {3, 1, 0, 3, 1, 2, 3, 0, 0, 2, 1, 0, 1, 2, 0, 1});
    bmp("rle4", 40, 2, 4, {}, table, {4, 0x12, 0, 0, 0, 3, 0x12, 0x30, 0, 1});
    for (const Sample &s : bmp_samples()) out.push_back(s);
    IcoSpec ico;
    ico.entry_width = 2;
    ico.entry_height = 2;
    ico.header_width = 2;
    ico.header_height = 4;
    ico.rows = pattern(16, 5);
    ico.mask = Bytes(8, 0);
    ico.count = 2;
    out.push_back({"icon_32bit", build_ico(ico), 2, 2});
    for (const Sample &png : pngtest::png_samples())
        out.push_back({"icon_png_" + png.name, pngtest::icon_of(png), png.width, png.height});
    const auto tga = [&](const char *name, uint8_t type, uint8_t depth, Bytes map, Bytes data) {
        TgaSpec s;
        s.type = type;
        s.width = 3;
        s.height = 1;
        s.depth = depth;
        if (!map.empty()) {
            s.map_type = 1;
            s.map_length = 2;
            s.entry_bits = 24;
            s.map = std::move(map);
        }
        s.pixels = std::move(data);
        out.push_back({name, build_tga(s), 3, 1});
    };
    tga("tga9", 9, 8, {1, 2, 3, 4, 5, 6}, {0x81, 1, 0x00, 0});
    tga("tga10", 10, 32, {}, {0x82, 1, 2, 3, 4});
    tga("tga11", 11, 8, {}, {0x80, 9, 0x01, 7, 8});
    for (const Sample &s : tga_samples()) out.push_back(s);
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s BMP_FOLDER TGA_FOLDER PNG_FOLDER WIDE_FOLDER\n", argv[0]);
        return 2;
    }
    return write_all(argv[1], kintest::bmp_samples(), ".bmp") &&
                   write_all(argv[2], kintest::tga_samples(), ".tga") &&
                   write_all(argv[3], pngtest::png_samples(), ".png") &&
                   write_all(argv[4], wide_samples(), ".bin")
               ? 0
               : 1;
}
