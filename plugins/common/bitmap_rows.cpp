// Decoding of bitmap pixel rows shared by the BMP readers.
#include "bitmap_rows.h"

namespace kincommon {}  // namespace kincommon
