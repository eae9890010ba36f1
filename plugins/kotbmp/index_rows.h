// Palette-index rows of the BMP writer, with the matching spread over two
// threads.
#pragma once

#include <cstdint>

#include "kot.h"
#include "kvza.h"
#include "writer_common.h"

namespace kotbmp {

// Writes the same bytes, in the same write calls and with the same progress
// steps, as kot::pack_index_rows: rows bottom-up, one unit (a byte of 8, 2
// or 1 pixels) per write and per kvza_progress_count, rows padded to 4 bytes.
// bits: 1, 4 or 8. Each pixel is matched with kvza_nearpal_dit (mode 0,
// image->palette, 2^bits entries, weights 1, x, y, track 0, default table);
// the indices of the next pixels are found ahead of the writes, on a second
// thread for half of them, because that matching is the dominant cost of an
// index save. Writes, progress calls and the callback stay on the calling
// thread. Returns 0, 1 (bad argument or short write) or 2 (cancelled).
int32_t pack_index_rows_ahead(kot::FileWriter &out, KvzaImage *image, const KotSaveOptions *options,
                              KvzaProgress *progress, uint32_t bits);

}  // namespace kotbmp
