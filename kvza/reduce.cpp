// Palette optimisation and colour reduction.
//
// An image with no more distinct colours than the palette holds gets those
// colours as its palette. Otherwise the palette comes from the splitting
// cluster method of clustering.cpp. The reduction then gives every pixel the
// nearer of its two nearest entries by the ordered dither pattern.
#include <cstring>

#include "clustering.h"
#include "internal.h"
#include "parallel.h"

namespace {

using kvza::nearest_entry;
using kvza::normalised_alpha;

constexpr uint32_t kSlots = KVZA_PALETTE_ENTRIES;
constexpr int16_t kNone = -1;

// kvza_nearpal_dit with weights 1, through finder when it could be built,
// and memo where the target is the colour itself.
int32_t dithered_entry(const kvza::PaletteIndex &finder, int32_t mode, const KvzaPixel *palette,
                       uint32_t n, const KvzaPixel &colour, int32_t x, int32_t y, uint32_t levels,
                       const uint8_t *table, kvza::NearestMemo *memo) {
    if (!finder.usable())
        return kvza_nearpal_dit(mode, palette, n, &colour, 1.0f, 1.0f, 1.0f, x, y, levels, table);
    const KvzaPixel p = kvza::dither_target(mode, colour, x, y, levels, table);
    const kvza::Nearest near = memo != nullptr && kvza::dither_target_is_colour(mode)
                                   ? memo->nearest(finder, mode, true, colour, p)
                                   : finder.nearest(mode, true, colour, p);
    return kvza::dither_choice(near, mode, palette, x, y, levels, table);
}

// ---- distinct-colour scan --------------------------------------------------

enum class Scan { kAll, kTooMany, kCanceled };

// Open-addressed table of the palette entries found so far, keyed by the
// bytes the scan compares (12 in alpha mode 0, 16 otherwise).
class ColourSet {
  public:
    ColourSet(const KvzaPixel *entries, size_t key_bytes) : entries_(entries), bytes_(key_bytes) {
        for (int16_t &s : table_) s = kNone;
    }

    // True when an entry's compared bytes equal p's.
    bool contains(const KvzaPixel &p) const {
        for (uint32_t b = hash(p);; b = (b + 1) & (kBuckets - 1)) {
            if (table_[b] == kNone) return false;
            if (std::memcmp(&entries_[table_[b]], &p, bytes_) == 0) return true;
        }
    }

    // Records entry index, keyed by the entry's own bytes.
    void insert(int16_t index) {
        uint32_t b = hash(entries_[index]);
        while (table_[b] != kNone) b = (b + 1) & (kBuckets - 1);
        table_[b] = index;
    }

  private:
    static constexpr uint32_t kBuckets = 1024;  // holds at most 256 entries: a quarter full

    uint32_t hash(const KvzaPixel &p) const {
        uint32_t words[4] = {};
        std::memcpy(words, &p, bytes_);
        uint64_t h = 0x9E3779B97F4A7C15ULL;
        for (uint32_t v : words) h = (h ^ v) * 0xBF58476D1CE4E5B9ULL;
        return static_cast<uint32_t>(h >> 32) & (kBuckets - 1);
    }

    const KvzaPixel *entries_;
    size_t bytes_;
    int16_t table_[kBuckets];
};

// Collects the distinct colours into the palette in order of first
// appearance, each stored with the alpha normalised for the mode, and later
// pixels compared against the stored entries. Stops when an (n+1)-th colour
// turns up. One progress step per pixel.
Scan scan_colours(KvzaImage *image, int32_t mode, uint32_t n, KvzaProgress *progress) {
    const size_t key_bytes = mode == KVZA_ALPHA_OPAQUE ? 3 * sizeof(float) : sizeof(KvzaPixel);
    ColourSet set(image->palette, key_bytes);
    uint32_t found = 0;
    const uint64_t count = kvza::pixel_count(image);
    for (uint64_t i = 0; i < count; ++i) {
        const KvzaPixel &p = image->pixels[i];
        if (!set.contains(p)) {
            if (found >= n) return Scan::kTooMany;
            KvzaPixel e = p;
            e.a = normalised_alpha(mode, p.a);
            image->palette[found] = e;
            set.insert(static_cast<int16_t>(found));
            ++found;
        }
        if (kvza::step(progress)) return Scan::kCanceled;
    }
    return Scan::kAll;
}

// Progress setup with total n + 2 x pixels (held at the largest count).
void setup_progress(KvzaImage *image, uint32_t n, KvzaProgress *progress) {
    kvza_progress_setup(image, progress);
    if (progress == nullptr) return;
    const uint64_t total = n + 2 * kvza::pixel_count(image);
    progress->total = total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

// Marks the distinct-colour scan as done after it stopped early.
void skip_scan(KvzaImage *image, KvzaProgress *progress) {
    if (progress == nullptr) return;
    const uint64_t pixels = kvza::pixel_count(image);
    progress->done = pixels > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(pixels);
}

}  // namespace

extern "C" {

KVZA_API int32_t kvza_optimpal(KvzaImage *image, int32_t alphamode, uint32_t n,
                               KvzaProgress *progress) {
    if (image == nullptr || n == 0) return KVZA_FAILED;
    if (n > kSlots) n = kSlots;
    setup_progress(image, n, progress);
    const Scan scan = scan_colours(image, alphamode, n, progress);
    if (scan == Scan::kCanceled) return KVZA_CANCELED;
    int32_t status = KVZA_OK;
    if (scan == Scan::kTooMany) {
        skip_scan(image, progress);
        status = kvza::cluster_palette(image, alphamode, n, progress);
        if (status == KVZA_FAILED) return KVZA_FAILED;
    }
    kvza_progress_final(image, progress);
    return status;
}

KVZA_API int32_t kvza_reduce(KvzaImage *image, int32_t alphamode, uint32_t n, uint32_t levels,
                             const uint8_t *table, uint8_t *index, KvzaProgress *progress) {
    if (image == nullptr) return KVZA_FAILED;
    if (n < 3) n = 2;
    if (n > kSlots) n = kSlots;
    if (levels > 256) levels = 256;
    setup_progress(image, n, progress);
    const Scan scan = scan_colours(image, alphamode, n, progress);
    if (scan == Scan::kCanceled) return KVZA_CANCELED;

    const uint64_t pixels = kvza::pixel_count(image);
    KvzaPixel *px = image->pixels;
    const KvzaPixel *palette = image->palette;
    if (scan == Scan::kAll) {
        // The palette holds every colour: pixels take their own entry, which
        // normalises alpha in mode 1; mode 0 leaves the pixels as they are.
        if (alphamode != KVZA_ALPHA_OPAQUE || index != nullptr) {
            const bool replace = alphamode != KVZA_ALPHA_OPAQUE;
            const kvza::PaletteIndex finder(palette, n, 1.0f, 1.0f, 1.0f);
            kvza::run_parts(pixels, [=, &finder](uint64_t b, uint64_t e) {
                for (uint64_t i = b; i < e; ++i) {
                    const int32_t k = nearest_entry(finder, alphamode, palette, n, px[i]);
                    if (replace) px[i] = palette[k];
                    if (index != nullptr) index[i] = static_cast<uint8_t>(k);
                }
            });
        }
        kvza_progress_final(image, progress);
        return KVZA_OK;
    }

    skip_scan(image, progress);
    const int32_t status = kvza::cluster_palette(image, alphamode, n, progress);
    if (status == KVZA_FAILED) return KVZA_FAILED;
    if (status == KVZA_OK) {
        // Every pixel takes the nearer of its two nearest entries by the
        // ordered dither pattern; rows go to one thread per core, no progress
        // steps. Each worker keeps one memo for all the ranges it takes.
        const auto width = static_cast<uint32_t>(image->width);
        const kvza::PaletteIndex finder(palette, n, 1.0f, 1.0f, 1.0f);
        kvza::WorkerMemos memos(pixels);
        kvza::run_workers(pixels, [=, &finder, &memos](unsigned worker, uint64_t b, uint64_t e) {
            uint64_t x = b % width;
            uint64_t y = b / width;
            kvza::NearestMemo *memo = memos.of(worker);
            for (uint64_t i = b; i < e; ++i) {
                const int32_t k =
                    dithered_entry(finder, alphamode, palette, n, px[i], static_cast<int32_t>(x),
                                   static_cast<int32_t>(y), levels, table, memo);
                px[i] = palette[k];
                if (index != nullptr) index[i] = static_cast<uint8_t>(k);
                if (++x == width) {
                    x = 0;
                    ++y;
                }
            }
        });
    }
    kvza_progress_final(image, progress);
    return status;
}

}  // extern "C"
