// Making and releasing image blocks. The editor owns every image; the library
// and the plug-ins only fill or read the blocks they are handed.
#pragma once

#include <cstdint>

#include "kvza.h"

namespace kvzaedit {

// Bytes of the block for width x height pixels, or 0 when either size is 0
// or negative, or the byte count does not fit in 64 bits.
uint64_t ImageBlockBytes(int32_t width, int32_t height);

// A zero-filled image of width x height, whose pages take memory only once
// written (large blocks are mapped from the system, small ones come from
// calloc). With a template, its pixtype, reserved, wrap modes, viewinfo,
// border and palette are copied (no pixels). Returns nullptr for an empty
// size or when the block cannot be allocated (sizes beyond the machine's
// memory are refused before allocating).
KvzaImage *NewImage(const KvzaImage *templ, int32_t width, int32_t height);

// Frees the image held by place (made by NewImage, with its width and height
// unchanged) and empties the place.
void ReleaseImage(KvzaImage *&place);

}  // namespace kvzaedit
