// The ICO module of the wide reader (not written yet: it accepts no file).
#include "wide_formats.h"

namespace kinwide {

bool ico_size(kincommon::File &, int64_t, Size &, uint32_t *) {
    return false;
}

int32_t ico_load(KvzaImage *, kincommon::File &, int64_t, KvzaProgress *) {
    return KIN_FAILED;
}

}  // namespace kinwide
