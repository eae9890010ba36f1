// The BMP module of the wide reader (not written yet: it accepts no file).
#include "wide_formats.h"

namespace kinwide {

bool bmp_size(kincommon::File &, int64_t, Size &) {
    return false;
}

int32_t bmp_load(KvzaImage *, kincommon::File &, int64_t, KvzaProgress *) {
    return KIN_FAILED;
}

}  // namespace kinwide
