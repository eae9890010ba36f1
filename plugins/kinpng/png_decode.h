// png_decode.h - a whole PNG file, held in memory, to an image: the reader
// plug-in's work, shared with the readers of formats that embed PNG files
// (icon entries).
#pragma once

#include <cstdint>

#include "kvza.h"
#include "png_file.h"

namespace kinpng {

// Width and height of the PNG file in bytes; false when its chunk sequence
// or header is refused.
bool png_size(const FileBytes &bytes, uint32_t &width, uint32_t &height);

// Decodes the PNG file in bytes into image (width x height of png_size,
// zeroed by the caller), with the readers' progress protocol: set-up after
// the header is accepted, one count per stored pixel, the final call after
// the decoding pass. Sets pixtype and, for a palette file, the palette.
// Returns a kin_status; the rows decoded before a failure stay.
int32_t png_load(KvzaImage *image, FileBytes &bytes, KvzaProgress *progress);

}  // namespace kinpng
