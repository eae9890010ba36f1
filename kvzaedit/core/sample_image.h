// A small picture for trying the editor out: colour gradients with areas of
// full, half and no transparency.
#pragma once

#include "kvza.h"

namespace kvzaedit {

// A new 256 x 192 image (release it with ReleaseImage), or nullptr when it
// cannot be allocated:
// - every pixel starts from a gradient: red grows to the right, green
//   downwards, blue from the top-left to the bottom-right corner;
// - the left quarter (x < 64) is fully transparent, its colour kept;
// - the band 64 <= x < 128 has alpha 0.5;
// - a disc of radius 40 around (176, 96) is opaque white-yellow-orange,
//   shaded from its centre outwards; the rest (x >= 128) is opaque.
// The background colour (viewinfo) is grey 128, the border colour black
// with alpha 0, the wrap modes Clamp.
KvzaImage *MakeSampleImage();

}  // namespace kvzaedit
