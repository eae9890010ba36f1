// A writer plug-in for the host tests, steered by the image's reserved
// field: its low byte is the result of kot_getusabletbl_img, its high byte
// the status of kot_save. The table carries the buffer size it was handed in
// track[3].position. kot_save writes a line describing its arguments:
//   "type=<t> switches=<s> valid=<v> track0=<n> track1=<n> progress=<0|1>",
// then runs the progress protocol over the image; a stop asked by the
// callback returns 2 with the line already written, as a real writer leaves
// a partly written file.
#include <cstdio>
#include <cstring>

#include "kot.h"

namespace {

const char kSwitchName[] = "fake switch";
const char kTrackName[] = "fake track";

}  // namespace

extern "C" {

#ifdef FAKE_KOT_TABLE
KOT_API int32_t kot_getusabletbl_img(KotUsableTable *table_out, uint32_t size,
                                     const KvzaImage *image) {
    if (table_out == nullptr || image == nullptr) return 1;
    if ((image->reserved & 0xFF) != 0) return image->reserved & 0xFF;
    if (size < KOT_USABLE_TABLE_SIZE) return 1;
    KotUsableTable table;
    std::memset(&table, 0, sizeof table);
    table.track_count = 1;
    table.switch_mask = 1;
    table.switch_defaults = 1;
    table.switch_name[0] = kSwitchName;
    table.track[0] = KotTrackSpec{kTrackName, kTrackName, 0, 10, 1, 1, 2, 5};
    table.track[3].position = static_cast<int16_t>(size);
    table.usable[20 / 8] |= 1u << (20 % 8);
    std::memcpy(table_out, &table, sizeof table);
    return 0;
}
#endif

#ifdef FAKE_KOT_SAVE
KOT_API int32_t kot_save(KvzaImage *image, const char *path, const KotSaveOptions *options,
                         KvzaProgress *progress) {
    if (image == nullptr || path == nullptr || options == nullptr) return 1;
    std::FILE *f = std::fopen(path, "wb");
    if (f == nullptr) return 1;
    std::fprintf(f, "type=%d switches=%u valid=%u track0=%d track1=%d progress=%d", options->type,
                 options->switches, options->valid, options->track[0], options->track[1],
                 progress != nullptr ? 1 : 0);
    int32_t status = (image->reserved >> 8) & 0xFF;
    kvza_progress_setup(image, progress);
    for (int64_t i = 0; i < static_cast<int64_t>(image->width) * image->height; ++i) {
        if (kvza_progress_count(image, progress) != 0) {
            status = KOT_CANCELED;
            break;
        }
    }
    kvza_progress_final(image, progress);
    std::fclose(f);
    return status;
}
#endif

}  // extern "C"
