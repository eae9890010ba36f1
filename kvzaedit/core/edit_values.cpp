#include "edit_values.h"

namespace kvzaedit {

int32_t PixelsOfPercent(int32_t percent, uint32_t start) {
    const uint32_t p = static_cast<uint32_t>(percent);
    const uint32_t pixels = (p * start * 10u + 5u) / 1000u;
    return pixels == 0 ? 1 : static_cast<int32_t>(pixels);
}

float ToleranceFromInt(int32_t n) {
    return static_cast<float>(static_cast<double>(n) * static_cast<double>(0.01f));
}

}  // namespace kvzaedit
