// Counted writes of encoded pixel units.
#include "row_blocks.h"

namespace kot {

int32_t write_units(FileWriter &out, const uint8_t *bytes, uint64_t units, uint32_t unit_bytes,
                    const KvzaImage *image, KvzaProgress *progress) {
    for (uint64_t done = 0; done < units;) {
        // The units whose steps run no callback, and the one whose step may,
        // go out together; the callback then finds every unit before it written.
        const uint64_t quiet = kvza_progress_quiet(progress);
        const uint64_t run = quiet >= units - done ? units - done : quiet + 1;
        if (!out.write(bytes + done * unit_bytes, static_cast<std::size_t>(run * unit_bytes)))
            return KOT_FAILED;
        done += run;
        if (kvza_progress_count_n(image, progress, run) != 0) return KOT_CANCELED;
    }
    return KOT_OK;
}

}  // namespace kot
