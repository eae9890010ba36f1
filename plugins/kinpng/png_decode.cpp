// Decoding a PNG file held in memory: libspng inflates and unfilters the
// image data; this file accepts the header, walks the decoded scanlines and
// places their pixels. The bytes are untrusted: their chunk sequence is
// checked before the size is reported, and rows that the bytes cannot
// possibly inflate to are refused before anything is allocated for them.
#include "png_decode.h"

#include <utility>

#include "kin.h"
#include "png_batch.h"
#include "png_convert.h"
#include "png_format.h"

namespace kinpng {

namespace {

// Where the scanlines of each interlacing pass begin and how far apart their
// pixels lie (passes 1 to 7).
constexpr uint32_t kPassX0[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr uint32_t kPassStep[7] = {8, 8, 4, 4, 2, 2, 1};

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
    Batch first(converter, f.width, f.height, f.row_bytes());
    Batch second(converter, f.width, f.height, f.row_bytes());
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

}  // namespace

bool png_size(const FileBytes &bytes, uint32_t &width, uint32_t &height) {
    if (!chunks_sound(bytes.data(), bytes.size())) return false;
    Decoder decoder(bytes.data(), bytes.size());
    Format f;
    if (!decoder.accept(f)) return false;
    width = f.width;
    height = f.height;
    return true;
}

int32_t png_load(KvzaImage *image, FileBytes &bytes, KvzaProgress *progress) {
    if (image == nullptr) return KIN_FAILED;
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

}  // namespace kinpng
