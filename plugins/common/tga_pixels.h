// tga_pixels.h - the pixel rules of TGA files shared by the TGA readers.
#pragma once

#include "reader_file.h"

namespace kincommon {}  // namespace kincommon
