// bitmap_rows.h - decoding of bitmap pixel rows shared by the BMP readers.
#pragma once

#include "reader_file.h"

namespace kincommon {}  // namespace kincommon
