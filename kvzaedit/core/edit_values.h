// edit_values.h - the numbers the edit commands are given as the user types
// them, turned into the values the edits take; shared by the editor's
// dialogs and the command-line converter so both give the same results.
#pragma once

#include <cstdint>

namespace kvzaedit {

// Pixels for a percentage of start: (p x start x 10 + 5) div 1000 computed
// modulo 2^32 as unsigned numbers (a negative p therefore asks for a very
// large size), 1 when that gives 0. The result is below 2^32 / 1000, so it
// always fits a signed 32-bit size.
int32_t PixelsOfPercent(int32_t percent, uint32_t start);

// A tolerance of the transparentize command from its field value n
// (hundredths): n x 0.01f, worked out in double.
float ToleranceFromInt(int32_t n);

}  // namespace kvzaedit
