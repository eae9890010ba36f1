// Byte-level builders of BMP, ICO and TGA files, and the sample files of every
// variant the readers accept (used by the tests and as the fuzzing seeds).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kintest {

using Bytes = std::vector<uint8_t>;

// Little-endian appenders.
void put8(Bytes &b, uint32_t v);
void put16(Bytes &b, uint32_t v);
void put32(Bytes &b, uint32_t v);
void append(Bytes &b, const Bytes &more);

// Rows of pixel values, row 0 first as stored in the file, packed at bpp bits
// per pixel (1, 4, 8: indices, most significant bits first; 16, 24, 32:
// little-endian values), each row padded with zeros to a multiple of 4 bytes.
Bytes pack_rows(int bpp, const std::vector<std::vector<uint32_t>> &rows);
// The same without row padding (TGA).
Bytes pack_tight(int bytes_per_pixel, const std::vector<std::vector<uint32_t>> &rows);

// A colour table of blue, green, red entries (3 or 4 bytes each) from
// 0xRRGGBB values.
Bytes colour_table(const std::vector<uint32_t> &rgb, int entry_bytes);

// A bitmap file: signature, file header, 12- or 40-byte header (any other
// size is written as a 40-byte header padded with zeros), bit-field masks,
// colour table, pixel rows.
struct BmpSpec {
    uint32_t header_size = 40;
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bpp = 24;
    uint32_t compression = 0;
    std::vector<uint32_t> masks;  // written right after the header
    Bytes table;
    Bytes rows;
    std::optional<uint32_t> data_pos;   // default: right after the table
    std::optional<uint32_t> file_size;  // default: the real size
    Bytes trailer;                      // bytes after the rows
};
Bytes build_bmp(const BmpSpec &spec);

// An icon file with one image, described by its first directory entry.
struct IcoSpec {
    uint16_t type = 1;
    uint16_t count = 1;  // directory entries; the others repeat the first
    uint8_t entry_width = 1;
    uint8_t entry_height = 1;
    uint16_t bpp = 32;
    uint32_t header_size = 40;
    int32_t header_width = 1;
    int32_t header_height = 2;
    Bytes table;
    Bytes rows;
    Bytes mask;
    std::optional<uint32_t> bytes;     // bytes in resource; default: all image bytes
    std::optional<uint32_t> position;  // image position; default: after the directory
};
Bytes build_ico(const IcoSpec &spec);

// A TGA file: header, ID field, colour map, pixel data.
struct TgaSpec {
    Bytes id;
    uint8_t map_type = 0;
    uint8_t type = 2;
    uint16_t first_index = 0;
    uint16_t map_length = 0;
    uint8_t entry_bits = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t depth = 24;
    uint8_t descriptor = 0;
    Bytes map;
    Bytes pixels;
};
Bytes build_tga(const TgaSpec &spec);

// Deterministic bytes for filler content.
Bytes pattern(size_t n, uint32_t seed);

struct Sample {
    std::string name;
    Bytes bytes;
    int32_t width;
    int32_t height;
};
// One valid file for every bitmap and icon variant the BMP reader accepts.
std::vector<Sample> bmp_samples();
// One valid file for every variant the TGA reader accepts.
std::vector<Sample> tga_samples();

}  // namespace kintest
