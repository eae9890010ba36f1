// row_blocks.h - the writers' pixel rows: a block of rows encoded on all
// cores ahead of the writes, then written on the calling thread with one
// progress step per pixel, the pixels up to the next progress callback in
// one write. The bytes, the progress calls and the place a stop request
// leaves the file at are those of writing pixel by pixel.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "large_block.h"
#include "parallel.h"
#include "writer_common.h"

namespace kot {

// Writes `units` units of unit_bytes bytes from `bytes`, each counted with a
// progress step after its bytes went out. 0, 1 (short write) or 2 (stopped
// right after the unit whose step asked for it).
int32_t write_units(FileWriter &out, const uint8_t *bytes, uint64_t units, uint32_t unit_bytes,
                    const KvzaImage *image, KvzaProgress *progress);

// How a writer lays its rows out: bytes per pixel, and whether a row is
// followed by zero bytes up to a multiple of 4.
struct RowFormat {
    uint32_t unit_bytes;
    bool padded;
};

// Pixels encoded ahead of the writes.
inline constexpr uint64_t kEncodeBlockPixels = uint64_t{1} << 20;

// Writes the image's rows from the bottom (y = height - 1) up, each from
// x = 0 rightwards. encode(y, x0, n, out) puts the bytes of pixels x0 ..
// x0 + n - 1 of row y into out; it runs on several threads at once, so a
// pixel's bytes may depend on nothing but the pixel and its place. 0, 1
// (short write, or no memory for the block) or 2 (stopped).
template <class Encode>
int32_t write_rows(FileWriter &out, const KvzaImage *image, KvzaProgress *progress,
                   RowFormat format, const Encode &encode) {
    if (image->width <= 0 || image->height <= 0) return KOT_OK;
    const auto width = static_cast<uint64_t>(image->width);
    // A block holds whole rows, or one piece of a row wider than a block.
    const uint64_t piece = std::min(width, kEncodeBlockPixels);
    const uint64_t rows_per_block = std::max<uint64_t>(1, kEncodeBlockPixels / width);
    const uint64_t unit = format.unit_bytes;
    static constexpr uint8_t kZeros[4] = {0, 0, 0, 0};
    const std::size_t pad =
        format.padded ? static_cast<std::size_t>((4 - width * unit % 4) % 4) : 0;
    kvza::ByteBlock block;
    if (!block.allocate(std::min<uint64_t>(rows_per_block, static_cast<uint64_t>(image->height)) *
                        piece * unit))
        return KOT_FAILED;
    for (int64_t top = image->height - 1; top >= 0;) {
        // Rows top, top - 1, ... (the file's order).
        const auto rows =
            static_cast<uint64_t>(std::min<int64_t>(top + 1, static_cast<int64_t>(rows_per_block)));
        for (uint64_t x0 = 0; x0 < width; x0 += piece) {
            const uint64_t n = std::min(piece, width - x0);
            kvza::run_parts(
                rows,
                [&](uint64_t first, uint64_t last) {
                    for (uint64_t k = first; k < last; ++k)
                        encode(static_cast<int32_t>(top - static_cast<int64_t>(k)),
                               static_cast<int32_t>(x0), static_cast<uint32_t>(n),
                               block.data() + k * n * unit);
                },
                kvza::kParallelMin / n + 1);
            for (uint64_t k = 0; k < rows; ++k) {
                const int32_t status = write_units(out, block.data() + k * n * unit, n,
                                                   format.unit_bytes, image, progress);
                if (status != KOT_OK) return status;
                if (x0 + n == width && pad != 0 && !out.write(kZeros, pad)) return KOT_FAILED;
            }
        }
        top -= static_cast<int64_t>(rows);
    }
    return KOT_OK;
}

}  // namespace kot
