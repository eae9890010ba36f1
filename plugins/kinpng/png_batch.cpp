// Converting a row costs about as much as decoding it (a colour-model
// conversion per new colour). While the threads of one batch convert its
// rows, split evenly over all cores but one, the calling thread decodes the
// next batch on the core left to it; the threads are
// joined before the batch's pixels are stored. Storing and progress stay on
// the calling thread in decoding order, so a cancel leaves exactly the
// pixels that a one-thread reader would have stored.
#include "png_batch.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace kinpng {

namespace {

// Pixels per batch: large enough to pay for starting the threads and for
// the wait at their join, small enough to keep the scratch to a few megabytes.
constexpr uint64_t kBatchPixels = 1U << 18;
// Batches below this many pixels are converted on the calling thread alone.
constexpr uint64_t kThreadedPixels = 1U << 12;

}  // namespace

Batch::Batch(const RowConverter &converter, uint32_t width, uint32_t height, uint64_t row_bytes)
    : converter_(converter), width_(width), row_bytes_(static_cast<size_t>(row_bytes)) {
    capacity_ = static_cast<size_t>(
        std::max<uint64_t>(1, std::min<uint64_t>(kBatchPixels / std::max(width, 1U), height)));
    if (row_bytes > SIZE_MAX / capacity_ || width > SIZE_MAX / sizeof(KvzaPixel) / capacity_)
        return;
    places_.reset(new (std::nothrow) Placement[capacity_]);
    converted_.reset(new (std::nothrow) uint32_t[capacity_]);
    if (!places_ || !converted_) return;
    samples_.reset(new (std::nothrow) uint8_t[capacity_ * row_bytes_]);
    pixels_.reset(new (std::nothrow) KvzaPixel[capacity_ * width_]);
    // One cache of colours per share, kept from batch to batch.
    try {
        const size_t shares = std::max(1U, std::thread::hardware_concurrency() - 1);
        const uint64_t pixels = uint64_t{width} * height;
        while (caches_.size() < shares) caches_.push_back(std::make_unique<ColourCache>(pixels));
    } catch (const std::bad_alloc &) {
        caches_.clear();
    }
}

bool Batch::add(const Placement &placement) {
    places_[rows_++] = placement;
    return rows_ == capacity_;
}

void Batch::convert(size_t first, size_t last, ColourCache &cache) {
    for (size_t i = first; i < last; ++i)
        converted_[i] = converter_.convert(samples_.get() + i * row_bytes_, places_[i].count,
                                           pixels_.get() + i * width_, cache);
}

void Batch::start() {
    uint64_t pixels = 0;
    for (size_t i = 0; i < rows_; ++i) pixels += places_[i].count;
    // The calling thread goes on decoding, so it keeps one core to itself.
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    size_t shares = 0;  // on threads of their own
    if (pixels >= kThreadedPixels) shares = std::min<size_t>(std::max(1U, cores - 1), rows_);
    shares = std::min(shares, caches_.size());
    if (shares == 0) {
        convert(0, rows_, *caches_[0]);
        return;
    }
    // Share s of n is rows [s x rows / n, (s + 1) x rows / n).
    for (size_t s = 0; s < shares; ++s) {
        const size_t first = s * rows_ / shares, last = (s + 1) * rows_ / shares;
        ColourCache &cache = *caches_[s];
        try {
            threads_.emplace_back([this, first, last, &cache] { convert(first, last, cache); });
            continue;
        } catch (const std::system_error &) {
        } catch (const std::bad_alloc &) {
        }
        convert(first, last, cache);
    }
}

void Batch::join() {
    for (std::thread &t : threads_) t.join();
    threads_.clear();
}

int32_t Batch::store(KvzaImage *image, KvzaProgress *progress) {
    join();
    const size_t rows = rows_;
    rows_ = 0;
    for (size_t i = 0; i < rows; ++i) {
        const Placement &p = places_[i];
        const KvzaPixel *src = pixels_.get() + i * width_;
        const uint32_t n = converted_[i];
        // A row inside the record is written directly, at the addresses the
        // pixel access would give; others go through the wrap modes.
        const uint64_t last = n == 0 ? 0 : p.x0 + uint64_t{p.step} * (n - 1);
        const bool inside = p.y < static_cast<uint64_t>(image->height) && image->width > 0 &&
                            last < static_cast<uint64_t>(image->width);
        KvzaPixel *row =
            inside ? image->pixels + static_cast<size_t>(p.y) * static_cast<size_t>(image->width)
                   : nullptr;
        int64_t x = p.x0;
        for (uint32_t k = 0; k < n; ++k, x += p.step) {
            KvzaPixel *dst = row != nullptr ? row + x
                                            : kvza_getpixptr(image, static_cast<int32_t>(x),
                                                             static_cast<int32_t>(p.y));
            *dst = src[k];
            // Without a progress record the count would do nothing.
            if (progress != nullptr && kvza_progress_count(image, progress) != 0)
                return KIN_CANCELED;
        }
        if (converted_[i] < p.count) return KIN_FAILED;
    }
    return KIN_OK;
}

}  // namespace kinpng
