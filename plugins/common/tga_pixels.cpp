// The pixel rules of TGA files shared by the TGA readers.
#include "tga_pixels.h"

namespace kincommon {}  // namespace kincommon
