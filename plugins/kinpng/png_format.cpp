// Acceptance of a file's header, and the layout it announces.
#include "png_format.h"

namespace kinpng {

namespace {

// Deflate turns one input byte into at most about 1032 output bytes; the
// slack covers the stream's header, its end and the chunk framing.
constexpr uint64_t kInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 4096;

// What libspng may keep of ancillary chunks: their bytes come from the file,
// and its own book-keeping per chunk needs a little more.
size_t cache_limit(size_t file_size) {
    constexpr size_t kBookKeeping = size_t{1} << 20;
    return file_size > (SIZE_MAX - kBookKeeping) / 2 ? SIZE_MAX : 2 * file_size + kBookKeeping;
}

}  // namespace

uint32_t Format::channels() const {
    switch (colour) {
        case ColourType::kRgb:
            return 3;
        case ColourType::kGreyAlpha:
            return 2;
        case ColourType::kRgba:
            return 4;
        default:
            return 1;
    }
}

bool Format::has_key() const {
    if (!has_trns) return false;
    const uint32_t top = (1U << depth) - 1;
    if (colour == ColourType::kGrey) return trns.gray <= top;
    if (colour == ColourType::kRgb) return trns.red <= top && trns.green <= top && trns.blue <= top;
    return false;
}

bool Format::palette_alpha() const {
    if (!has_trns || colour != ColourType::kPalette) return false;
    for (uint32_t i = 0; i < trns.n_type3_entries && i < palette.n_entries; ++i)
        if (trns.type3_alpha[i] < 255) return true;
    return false;
}

Decoder::Decoder(const uint8_t *data, size_t size, bool checksums)
    : ctx_(spng_ctx_new(0)), size_(size) {
    if (ctx_ == nullptr) return;
    // Ancillary chunks count as much as critical ones: any bad checksum refuses the file.
    const int action = checksums ? SPNG_CRC_ERROR : SPNG_CRC_USE;
    if (spng_set_crc_action(ctx_, action, action) != 0 ||
        spng_set_chunk_limits(ctx_, size, cache_limit(size)) != 0 ||
        spng_set_png_buffer(ctx_, data, size) != 0) {
        spng_ctx_free(ctx_);
        ctx_ = nullptr;
    }
}

Decoder::~Decoder() {
    spng_ctx_free(ctx_);
}

bool Decoder::accept(Format &f) {
    spng_ihdr h;
    if (ctx_ == nullptr || spng_get_ihdr(ctx_, &h) != 0) return false;
    if (spng_decode_chunks(ctx_) != 0) return false;
    f.width = h.width;
    f.height = h.height;
    f.colour = static_cast<ColourType>(h.color_type);
    f.depth = h.bit_depth;
    f.interlaced = h.interlace_method != SPNG_INTERLACE_NONE;
    if (f.width == 0 || f.height == 0) return false;

    const int plte = spng_get_plte(ctx_, &f.palette);
    if (plte != 0 && plte != SPNG_ECHUNKAVAIL) return false;
    if (plte != 0) f.palette.n_entries = 0;
    if (f.colour == ColourType::kPalette && f.palette.n_entries == 0) return false;
    const int trns = spng_get_trns(ctx_, &f.trns);
    if (trns != 0 && trns != SPNG_ECHUNKAVAIL) return false;
    f.has_trns = trns == 0;

    // Filtered rows: one filter byte and the packed samples per row. An
    // interlaced image has a few bytes more, which the slack absorbs.
    const uint64_t raw_row = f.row_bytes() + 1;
    if (size_ > (UINT64_MAX - kInflateSlack) / kInflateRatio) return true;
    const uint64_t most = kInflateRatio * size_ + kInflateSlack;
    return raw_row <= most / f.height;
}

int16_t pixtype_of(const Format &f) {
    const bool deep = f.depth == 16;
    switch (f.colour) {
        case ColourType::kGrey:
            if (f.has_key()) return deep ? 215 : 51;  // Grayscale 16/8bit(+16/8bit alpha)
            switch (f.depth) {
                case 1:
                    return 200;  // Grayscale 1bit
                case 2:
                    return 205;  // Grayscale 2bit
                case 4:
                    return 210;  // Grayscale 4bit
                case 8:
                    return 50;  // Grayscale 8bit
                default:
                    return 81;  // Grayscale 16bit
            }
        case ColourType::kGreyAlpha:
            return deep ? 215 : 51;
        case ColourType::kRgb:
            if (f.has_key()) return deep ? 198 : 21;  // RGB 48/24bit(+16/8bit alpha)
            return deep ? 196 : 20;                   // RGB 48/24bit
        case ColourType::kRgba:
            return deep ? 198 : 21;
        case ColourType::kPalette:
            if (f.palette_alpha()) return 40;  // Index 8bit(+8bit alpha)
            switch (f.depth) {
                case 1:
                    return 202;  // Index 1bit
                case 2:
                    return 207;  // Index 2bit
                case 4:
                    return 212;  // Index 4bit
                default:
                    return 41;  // Index 8bit
            }
    }
    return 0;
}

}  // namespace kinpng
