// Decoding of bitmap pixel rows shared by the BMP readers.
#include "bitmap_rows.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "colour_cache.h"
#include "parallel.h"

namespace kincommon {

Masks fixed_masks(uint16_t bpp) {
    if (bpp == 16) return {Channel(0x7C00), Channel(0x03E0), Channel(0x001F), Channel()};
    return {Channel(0xFF0000), Channel(0xFF00), Channel(0xFF), Channel()};
}

// Pixel-type id of a 16-, 24- or 32-bit layout, from its channel bit counts.
int16_t pixtype_of(uint16_t bpp, const Masks &m) {
    const int r = m.red.bits, g = m.green.bits, b = m.blue.bits;
    if (bpp == 16) {
        if (r == 16 && g == 16 && b == 16) return 81;  // Grayscale 16bit
        if (r == 4 && g == 4 && b == 4) return 30;     // RGB 12bit(+4bit dummy)
        if (r == 5 && g == 5 && b == 5) return 24;     // RGB 15bit(+1bit dummy)
        if (r == 5 && g == 6 && b == 5) return 23;     // RGB 16bit
    } else if (bpp == 24) {
        if (r == 8 && g == 8 && b == 8) return 20;  // RGB 24bit
    } else if (bpp == 32) {
        if (r == 8 && g == 8 && b == 8) return 22;      // RGB 24bit(+8bit dummy)
        if (r == 10 && g == 10 && b == 10) return 190;  // RGB 30bit(+2bit dummy)
        if (r == 11 && g == 11 && b == 10) return 191;  // RGB 32bit
    }
    return 0;
}

uint32_t palette_entries(uint16_t bpp) {
    switch (bpp) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

// Converts a colour table of entry_bytes-sized blue, green, red entries at
// buffer position pos into the image's palette. False when it does not fit.
bool read_palette(KvzaImage *image, const Buffer &buf, uint64_t pos, uint32_t entries,
                  uint32_t entry_bytes) {
    if (pos > buf.size() || static_cast<uint64_t>(entries) * entry_bytes > buf.size() - pos)
        return false;
    const uint8_t *p = buf.data() + pos;
    for (uint32_t i = 0; i < entries; ++i, p += entry_bytes) {
        const KvzaPixel rgb = {p[2] * kvza::kByteToFloat, p[1] * kvza::kByteToFloat,
                               p[0] * kvza::kByteToFloat, 0.0f};
        kvza_rgb2kvz(&image->palette[i], &rgb);
        image->palette[i].a = 1.0f;
    }
    return true;
}

// Bytes of one row padded to a multiple of 4.
uint64_t row_stride(uint16_t bpp, uint32_t width) {
    return (static_cast<uint64_t>(bpp) * width + 31) / 32 * 4;
}

int32_t image_row(const Rows &r, uint32_t i) {
    return static_cast<int32_t>(r.top_down ? i : r.height - 1 - i);
}

// The channel readers of a direct-colour bitmap.
struct Channels {
    ChannelReader red, green, blue, alpha;
    uint32_t colour_bits;  // the colour channels depend on these bits of a pixel alone
    bool has_alpha;
};

// Pixels of a row whose colours are found or converted together.
constexpr uint32_t kRowChunk = kvza::kChunkMax;
// Pixels of the rows decoded ahead, on all cores, before they are stored.
constexpr uint64_t kBlockPixels = uint64_t{1} << 18;

// A converting thread's cache. The decoding keeps its own set and hands one to
// each running part (no thread-local storage in a plug-in that may be
// unloaded).
struct Worker {
    kvza::ColourCache<kvza::RgbBits> colours;
    kvza::CacheUse use;
};

class Workers {
  public:
    // pixels: how many the workers convert in all; a small picture gets
    // small caches.
    explicit Workers(uint64_t pixels) : pixels_(pixels) {}

    // A worker of the set, or a new one (a cache without memory for its
    // slots converts every colour).
    Worker take() {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            if (!spare_.empty()) {
                Worker w = std::move(spare_.back());
                spare_.pop_back();
                return w;
            }
        }
        return Worker{kvza::ColourCache<kvza::RgbBits>(pixels_), kvza::CacheUse()};
    }
    void give(Worker w) {
        const std::lock_guard<std::mutex> hold(lock_);
        try {
            spare_.push_back(std::move(w));
        } catch (const std::bad_alloc &) {  // dropped: the next part makes another
        }
    }

  private:
    uint64_t pixels_;
    std::mutex lock_;
    std::vector<Worker> spare_;
};

// The pixels (colour and alpha) first .. first + count - 1 of one stored row
// of a 16-, 24- or 32-bit bitmap into out; returns how many of them the
// buffer holds whole (count, or fewer when the data ends there). The colours
// of a chunk come from the worker's cache (keyed by the channels' floats)
// and one many-pixel conversion, or from that conversion alone while the
// cache finds almost nothing.
uint32_t decode_direct_piece(const Buffer &buf, const Rows &r, uint64_t row, uint32_t first,
                             uint32_t count, const Channels &ch, Worker &worker, KvzaPixel *out) {
    kvza::ColourCache<kvza::RgbBits> &colours = worker.colours;
    kvza::CacheUse &use = worker.use;
    const uint8_t *data = buf.data();
    const uint64_t size = buf.size();
    const uint64_t bytes = r.bpp / 8U;
    uint32_t value[kRowChunk];
    kvza::RgbBits key[kRowChunk];
    for (uint32_t x0 = 0; x0 < count; x0 += kRowChunk) {
        const uint32_t n = std::min(kRowChunk, count - x0);
        uint32_t avail = n;
        for (uint32_t j = 0; j < n; ++j) {
            const uint64_t pos = row + (uint64_t{first} + x0 + j) * bytes;
            if (pos >= size || bytes > size - pos) {
                avail = j;
                break;
            }
            const uint8_t *p = data + pos;
            if (r.bpp == 16)
                value[j] =
                    static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(le16(p))));
            else if (r.bpp == 24)
                value[j] =
                    p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
            else
                value[j] = le32(p);
        }
        KvzaPixel *dst = out + x0;
        for (uint32_t j = 0; j < avail; ++j) {
            const uint32_t v = value[j];
            dst[j] = {ch.red.value(v), ch.green.value(v), ch.blue.value(v), 0.0f};
            key[j] = kvza::rgb_bits(dst[j]);
        }
        kvza::convert_chunk(colours, use, key, dst, dst, avail, kvza_rgb2kvz_n);
        for (uint32_t j = 0; j < avail; ++j)
            dst[j].a = ch.has_alpha ? ch.alpha.value(value[j]) : 1.0f;
        if (avail < n) return x0 + avail;
    }
    return count;
}

// Brings the memory pages of n pixels from p in without changing a bit (an
// atomic add of 0 on each page): an image's block is fresh memory, and the
// system zeroes each page on its first write, so the decoding threads take
// that on before the pixels are stored on one.
void fault_in(KvzaPixel *p, uint64_t n) {
    constexpr uint64_t kPage = 4096;
    auto *bytes = reinterpret_cast<unsigned char *>(p);
    const uint64_t size = n * sizeof(KvzaPixel);
    for (uint64_t at = 0; at < size; at += kPage)
        __atomic_fetch_add(bytes + at, 0, __ATOMIC_RELAXED);
    if (size != 0) __atomic_fetch_add(bytes + size - 1, 0, __ATOMIC_RELAXED);
}

// Decodes the rows of a 16-, 24- or 32-bit bitmap: a block of rows at a time
// on all cores into a buffer, then the pixels are stored and counted one by
// one here, so a stop request or missing data ends where it would end pixel
// by pixel. 0 done, 1 data short, 2 cancelled.
int32_t decode_direct_rows(KvzaImage *image, const Buffer &buf, const Rows &r, uint64_t stride,
                           const Channels &ch, KvzaProgress *progress) {
    // A block holds whole rows, or one piece of a row wider than a block. A
    // header may promise far more pixels than the data holds: the decoding
    // ends at the first short row, so no block is made larger than the
    // pixels that follow the first row's start (and one more).
    const uint64_t held = buf.size() > r.start ? (buf.size() - r.start) / (r.bpp / 8U) : 0;
    const uint64_t ahead = std::min<uint64_t>(kBlockPixels, held + 1);
    const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(r.width, ahead));
    const uint64_t block_rows = piece < r.width ? 1 : std::max<uint64_t>(1, ahead / r.width);
    // The block is filled from end to end again and again: large pages.
    kvza::ByteBlock block_bytes;
    std::vector<uint32_t> whole;
    try {
        whole.resize(std::min<uint64_t>(block_rows, r.height));
    } catch (const std::bad_alloc &) {
        return KIN_FAILED;
    }
    if (!block_bytes.allocate(std::min<uint64_t>(block_rows, r.height) * piece * sizeof(KvzaPixel)))
        return KIN_FAILED;
    auto *const block = reinterpret_cast<KvzaPixel *>(block_bytes.data());
    Workers workers(std::min(uint64_t{r.width} * r.height, held + 1));
    const bool same_size = static_cast<uint32_t>(image->width) == r.width &&
                           static_cast<uint32_t>(image->height) == r.height;
    for (uint32_t i0 = 0; i0 < r.height; i0 += static_cast<uint32_t>(block_rows)) {
        const uint32_t rows = static_cast<uint32_t>(std::min<uint64_t>(block_rows, r.height - i0));
        for (uint32_t first = 0; first < r.width; first += std::min(piece, r.width - first)) {
            const uint32_t n = std::min(piece, r.width - first);
            kvza::run_parts(
                rows,
                [&](uint64_t b, uint64_t e) {
                    Worker w = workers.take();
                    for (uint64_t k = b; k < e; ++k) {
                        whole[k] = decode_direct_piece(buf, r, r.start + (i0 + k) * stride, first,
                                                       n, ch, w, block + k * n);
                        if (same_size)
                            fault_in(kvza_getpixptr(image, 0, image_row(r, i0 + k)) + first,
                                     whole[k]);
                    }
                    workers.give(std::move(w));
                },
                kvza::kParallelMin / n + 1);
            for (uint32_t k = 0; k < rows; ++k) {
                const int32_t y = image_row(r, i0 + k);
                KvzaPixel *dst = same_size ? kvza_getpixptr(image, 0, y) + first : nullptr;
                const KvzaPixel *src = block + uint64_t{k} * n;
                // The pixels up to the next progress callback go in at once;
                // a stop request still ends right after the pixel it came on.
                for (uint32_t j = 0; j < whole[k];) {
                    const uint64_t quiet = kvza_progress_quiet(progress);
                    const uint32_t run =
                        quiet >= whole[k] - j ? whole[k] - j : static_cast<uint32_t>(quiet) + 1;
                    if (same_size) {
                        // An image of the bitmap's size holds the row in one piece.
                        std::memcpy(dst + j, src + j, uint64_t{run} * sizeof(KvzaPixel));
                    } else {
                        // Any other resolves each pixel through its wrap modes.
                        for (uint32_t q = j; q < j + run; ++q)
                            *kvza_getpixptr(image, static_cast<int32_t>(first + q), y) = src[q];
                    }
                    j += run;
                    if (kvza_progress_count_n(image, progress, run) != 0) return KIN_CANCELED;
                }
                if (whole[k] < n) return KIN_FAILED;
            }
        }
    }
    return KIN_OK;
}

// Decodes the rows into the image; 0 done, 1 data short, 2 cancelled.
int32_t decode_rows(KvzaImage *image, const Buffer &buf, const Rows &r, const Masks &masks,
                    KvzaProgress *progress) {
    if (r.width == 0) return KIN_OK;  // rows without pixels: nothing to read or store
    const uint8_t *data = buf.data();
    const uint64_t size = buf.size();
    const uint64_t stride = row_stride(r.bpp, r.width);
    const uint32_t per_byte = r.bpp < 8 ? 8U / r.bpp : 1U;
    // Pixels the buffer can hold at most, for the choice of channel tables.
    const uint64_t most = r.bpp >= 16 ? size / (r.bpp / 8U) : 0;
    const Channels readers{ChannelReader(masks.red, most),
                           ChannelReader(masks.green, most),
                           ChannelReader(masks.blue, most),
                           ChannelReader(masks.alpha, most),
                           masks.red.mask | masks.green.mask | masks.blue.mask,
                           masks.alpha.bits != 0};
    if (r.bpp >= 16) return decode_direct_rows(image, buf, r, stride, readers, progress);
    uint64_t row = r.start;
    bool cancel = false;
    for (uint32_t i = 0; i < r.height; ++i, row += stride) {
        const int32_t y = image_row(r, i);
        for (uint32_t x = 0; x < r.width; ++x) {
            KvzaPixel *dst = kvza_getpixptr(image, static_cast<int32_t>(x), y);
            {
                const uint64_t pos = row + x / per_byte;
                if (pos >= size) return KIN_FAILED;
                uint32_t index = data[pos];
                if (r.bpp == 1) index = (index >> (7 - x % 8)) & 1U;
                if (r.bpp == 4) index = (x % 2 == 0) ? index >> 4 : index & 15U;
                *dst = image->palette[index];
            }
            // Every stored pixel is counted; after a stop request the rest of
            // the current byte is still stored (and counted).
            if (kvza_progress_count(image, progress) != 0) cancel = true;
            if (cancel && (x % per_byte == per_byte - 1 || x + 1 == r.width)) return KIN_CANCELED;
        }
    }
    return KIN_OK;
}

// Makes the pixels under set bits of the icon's 1-bit mask transparent.
int32_t apply_mask(KvzaImage *image, const Buffer &buf, const Rows &colour) {
    Rows r = colour;
    r.start =
        colour.start + static_cast<uint64_t>(colour.height) * row_stride(colour.bpp, colour.width);
    r.bpp = 1;
    const uint64_t stride = row_stride(1, r.width);
    uint64_t row = r.start;
    for (uint32_t i = 0; i < r.height; ++i, row += stride) {
        const int32_t y = image_row(r, i);
        for (uint32_t x = 0; x < r.width; ++x) {
            const uint64_t pos = row + x / 8;
            if (pos >= buf.size()) return KIN_FAILED;
            if (((buf.data()[pos] >> (7 - x % 8)) & 1U) != 0)
                kvza_getpixptr(image, static_cast<int32_t>(x), y)->a = 0.0f;
        }
    }
    return KIN_OK;
}

}  // namespace kincommon
