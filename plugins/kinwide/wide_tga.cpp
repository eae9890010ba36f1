// The TGA module of the wide reader (not written yet: it accepts no file).
#include "wide_formats.h"

namespace kinwide {

bool tga_size(kincommon::File &, int64_t, Size &) {
    return false;
}

int32_t tga_load(KvzaImage *, kincommon::File &, int64_t, KvzaProgress *) {
    return KIN_FAILED;
}

}  // namespace kinwide
