/* The contract header seen by a C compiler: the same sizes and offsets as in C++. */
#include <stddef.h>

#include "kot.h"

size_t kot_c_sizeof_table(void) {
    return sizeof(KotUsableTable);
}
size_t kot_c_offsetof_usable(void) {
    return offsetof(KotUsableTable, usable);
}
size_t kot_c_offsetof_track(void) {
    return offsetof(KotUsableTable, track);
}
size_t kot_c_sizeof_options(void) {
    return sizeof(KotSaveOptions);
}
