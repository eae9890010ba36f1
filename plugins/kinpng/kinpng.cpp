// kinpng - reader plug-in for PNG files: every colour type and bit depth,
// interlaced or not, with transparency from tRNS.
//
// libspng inflates and unfilters the image data; this file accepts the
// header, walks the decoded scanlines and places their pixels. A file is
// untrusted: it is read once into a buffer that libspng parses within its
// bounds, its chunk sequence is checked before its size is reported, and
// rows that the file's bytes cannot possibly inflate to are refused before
// anything is allocated for them.
#include <cstdint>
#include <utility>

#include "kin.h"
#include "kvza.h"
#include "png_batch.h"
#include "png_convert.h"
#include "png_file.h"
#include "png_format.h"

namespace {

using namespace kinpng;

// Where the scanlines of each interlacing pass begin and how far apart their
// pixels lie (passes 1 to 7).
constexpr uint32_t kPassX0[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr uint32_t kPassStep[7] = {8, 8, 4, 4, 2, 2, 1};

// Reads the file and accepts its chunk sequence and header.
bool accepted(const char *path, int32_t offset, Format &format) {
    FileBytes bytes;
    if (!bytes.read(path, offset)) return false;
    if (!chunks_sound(bytes.data(), bytes.size())) return false;
    Decoder decoder(bytes.data(), bytes.size());
    return decoder.accept(format);
}

// Where the next scanline's pixels go.
Placement placement_of(const Format &f, const spng_row_info &info) {
    Placement p;
    p.y = info.row_num;
    if (f.interlaced && info.pass >= 0 && info.pass < 7) {
        p.x0 = kPassX0[info.pass];
        p.step = kPassStep[info.pass];
    }
    p.count = f.width > p.x0 ? (f.width - p.x0 + p.step - 1) / p.step : 0;
    return p;
}

// Decodes every scanline and stores its pixels; 0 done, 1 failed, 2 cancelled.
// Two batches take turns: one is decoded into while the other converts.
int32_t decode_rows(const Decoder &decoder, const Format &f, KvzaImage *image,
                    KvzaProgress *progress) {
    spng_ctx *ctx = decoder.ctx();
    if (spng_decode_image(ctx, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE) != 0)
        return KIN_FAILED;
    const RowConverter converter(f, image->palette);
    Batch first(converter, f.width, f.row_bytes()), second(converter, f.width, f.row_bytes());
    if (!first.ok() || !second.ok()) return KIN_FAILED;
    Batch *filling = &first, *converting = nullptr;
    // Scanlines, not rows: the reduced lines of an interlacing pass come with
    // their samples packed from the first, whatever the depth.
    int rc = 0;
    while (rc == 0) {
        spng_row_info info;
        if (spng_get_row_info(ctx, &info) != 0) break;
        rc = spng_decode_scanline(ctx, filling->slot(), static_cast<size_t>(f.row_bytes()));
        if (rc != 0 && rc != SPNG_EOI) break;
        if (!filling->add(placement_of(f, info))) continue;
        // The full batch converts while the one before it is stored.
        filling->start();
        if (converting != nullptr) {
            const int32_t status = converting->store(image, progress);
            if (status != KIN_OK) return status;
        }
        std::swap(filling, converting);
        if (filling == nullptr) filling = &second;
    }
    // The rows decoded before a failure are stored too.
    filling->start();
    if (converting != nullptr) {
        const int32_t status = converting->store(image, progress);
        if (status != KIN_OK) return status;
    }
    const int32_t status = filling->store(image, progress);
    if (status != KIN_OK) return status;
    return rc == SPNG_EOI ? KIN_OK : KIN_FAILED;
}

int32_t load(KvzaImage *image, const char *path, int32_t offset, KvzaProgress *progress) {
    FileBytes bytes;
    if (!bytes.read(path, offset)) return KIN_FAILED;
    // Damage after the first image data still lets the rows before it decode;
    // the file is refused when the walk over all chunks finds it afterwards.
    bool before_data = false;
    const bool sound = chunks_sound(bytes.data(), bytes.size(), &before_data);
    if (!before_data) return KIN_FAILED;
    if (!sound) bytes.close_cut_data();
    Decoder decoder(bytes.data(), bytes.size(), false);
    Format f;
    if (!decoder.accept(f)) return KIN_FAILED;
    write_palette(image, f);

    kvza_progress_setup(image, progress);
    int32_t status = decode_rows(decoder, f, image, progress);
    kvza_progress_final(image, progress);
    // The chunks after the image data must be as sound as those before it.
    if (status == KIN_OK && (spng_decode_chunks(decoder.ctx()) != 0 || !sound)) status = KIN_FAILED;
    if (status == KIN_OK) image->pixtype = pixtype_of(f);
    return status;
}

}  // namespace

extern "C" {

KIN_API int32_t kin_imgs(const char *path, int32_t offset) {
    Format f;
    return accepted(path, offset, f) ? 1 : 0;
}

KIN_API int32_t kin_pixs(const char *path, int32_t offset, int32_t *width, int32_t *height) {
    Format f;
    if (!accepted(path, offset, f)) return 0;
    // A count that does not fit the 32-bit result is refused.
    const uint64_t count = static_cast<uint64_t>(f.width) * f.height;
    if (count > INT32_MAX) return 0;
    if (width != nullptr) *width = static_cast<int32_t>(f.width);
    if (height != nullptr) *height = static_cast<int32_t>(f.height);
    return static_cast<int32_t>(count);
}

KIN_API int32_t kin_load(KvzaImage *image, const char *path, int32_t offset,
                         KvzaProgress *progress) {
    if (image == nullptr) return KIN_FAILED;
    return load(image, path, offset, progress);
}

}  // extern "C"
