// PNG files made with libspng's encoder for the reader's tests and fuzzing
// seeds, and chunk surgery on them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kin_samples.h"

namespace pngtest {

using kintest::Bytes;

struct PngSpec {
    uint32_t width = 1;
    uint32_t height = 1;
    uint8_t colour = 2;  // PNG colour type
    uint8_t depth = 8;
    bool interlaced = false;
    std::vector<uint16_t> samples;  // channels x width x height, row by row
    std::vector<uint32_t> palette;  // 0xRRGGBB
    Bytes palette_alpha;            // tRNS of a palette file; empty: none
    std::vector<uint16_t> key;      // tRNS grey or red, green, blue; empty: none
};

uint32_t channels(uint8_t colour);
// The file, stored without compression so that byte positions follow rows.
Bytes encode(const PngSpec &spec);

// A chunk with its length, type and checksum.
Bytes chunk(const std::string &type, const Bytes &data);
// Position of the first chunk of that type, or of the file's end.
size_t chunk_at(const Bytes &png, const std::string &type);
// The file with bytes inserted at pos.
Bytes inserted(const Bytes &png, size_t pos, const Bytes &bytes);

// A w x h description of a file of the layout with deterministic samples (runs of equal
// pixels included) and, for palette files, a full palette.
PngSpec layout(uint8_t colour, uint8_t depth, bool interlaced, uint32_t w, uint32_t h);
// Every valid colour type and depth, interlaced and not, with and without tRNS.
std::vector<kintest::Sample> png_samples();
// An icon file whose one entry is the PNG file of the sample.
Bytes icon_of(const kintest::Sample &png);

}  // namespace pngtest
