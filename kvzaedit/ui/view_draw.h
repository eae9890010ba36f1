// view_draw.h - drawing picture rows into the view's 24-bit bytes (red,
// green, blue in memory order) by the transparency mode. Qt-free: the view
// bitmap is plain memory here.
#pragma once

#include <cstdint>

#include "kvza.h"

namespace kvzaedit {

// How transparent pixels are shown: what a pixel's alpha does to its bytes.
enum class ViewMode : uint8_t {
    kOpaque = 0,        // the colour, alpha ignored
    kZeroIsBack = 1,    // alpha 0 (or not a number) shows the background
    kBelowOneBack = 2,  // alpha below 1 shows the background
    kBlend = 3,         // the colour over the background by alpha
};

// Draws rows y0 .. y1 - 1 of a picture width pixels wide into bits (rows
// stride bytes apart), each pixel as its bytes by mode over the background
// bytes back. The bytes of a pixel depend on its stored bits alone. Safe to
// call from several threads at once on different rows.
void DrawViewRows(const KvzaPixel *pixels, int32_t width, int64_t y0, int64_t y1, uint8_t *bits,
                  int64_t stride, ViewMode mode, const uint8_t back[3]);

}  // namespace kvzaedit
