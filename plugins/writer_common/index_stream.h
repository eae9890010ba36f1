// The palette indices of an image's pixels in the order the index packers
// write them, matched a batch ahead of the writes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "helper_thread.h"
#include "kvza.h"

namespace kot {

// Pixels matched per batch: small enough that a cancel request is answered
// quickly, large enough that starting the helper thread costs nothing.
constexpr uint64_t kBatchPixels = uint64_t{1} << 16;
// Batches below this size are matched on the calling thread alone.
constexpr uint64_t kMinSplit = 2048;

// kvza_nearpal_dit (weights 1, the default dither table) of the n pixels of
// row y from x on, into out as bytes; the palette is prepared once per piece
// of a few thousand pixels.
inline void match_run(int32_t mode, const KvzaPixel *palette, uint32_t entries,
                      const KvzaPixel *pixels, uint32_t n, int32_t x, int32_t y, uint32_t level,
                      uint8_t *out) {
    constexpr uint32_t kPiece = 4096;
    int32_t index[kPiece];
    for (uint32_t at = 0; at < n; at += kPiece) {
        const uint32_t m = std::min(kPiece, n - at);
        kvza_nearpal_dit_row(mode, palette, entries, pixels + at, m, 1.0f, 1.0f, 1.0f,
                             x + static_cast<int32_t>(at), y, level, nullptr, index);
        for (uint32_t j = 0; j < m; ++j) out[at + j] = static_cast<uint8_t>(index[j]);
    }
}

// Which row a file stores first.
enum class RowOrder { BottomUp, TopDown };

// The palette indices of an image's pixels in the order the rows are written
// (bottom row first for bitmaps, top row first for PNG; left to right), found
// a batch at a time. Each index depends only on the pixel's colour and
// position, so the two halves of a batch are matched independently, the
// second by a helper thread that lasts as long as the stream.
class IndexStream {
  public:
    IndexStream(KvzaImage *image, uint32_t entries, uint32_t level,
                int32_t mode = KVZA_ALPHA_OPAQUE, RowOrder order = RowOrder::BottomUp)
        : image_(image),
          entries_(entries),
          level_(level),
          mode_(mode),
          top_down_(order == RowOrder::TopDown),
          width_(static_cast<uint32_t>(image->width)),
          height_(static_cast<uint32_t>(image->height)),
          total_(uint64_t{width_} * height_),
          two_threads_(std::thread::hardware_concurrency() > 1),
          batch_(static_cast<std::size_t>(std::min(kBatchPixels, total_))) {}

    // The next pixel's index.
    uint32_t next() {
        if (pos_ == len_) fill();
        return batch_[pos_++];
    }

  private:
    // Matches `count` pixels from write position `first` into out, a run of
    // a row at a time.
    void match(uint64_t first, uint64_t count, uint8_t *out) const {
        for (uint64_t i = 0; i < count;) {
            const uint64_t p = first + i;
            const auto row = static_cast<int32_t>(p / width_);
            const auto y = top_down_ ? row : static_cast<int32_t>(height_) - 1 - row;
            const auto x = static_cast<int32_t>(p % width_);
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(count - i, width_ - x));
            match_run(mode_, image_->palette, entries_, kvza_getpixptr(image_, x, y), n, x, y,
                      level_, out + i);
            i += n;
        }
    }

    void fill() {
        const uint64_t count = std::min<uint64_t>(batch_.size(), total_ - next_);
        const uint64_t half = count / 2;
        bool helped = false;
        if (two_threads_ && count >= kMinSplit) {
            helped = helper_.post([this, first = next_ + half, n = count - half,
                                   out = batch_.data() + half] { match(first, n, out); });
            if (!helped) two_threads_ = false;  // no thread to be had: match alone from now on
        }
        if (helped) {
            match(next_, half, batch_.data());
            helper_.wait();
        } else {
            match(next_, count, batch_.data());
        }
        next_ += count;
        pos_ = 0;
        len_ = static_cast<std::size_t>(count);
    }

    KvzaImage *image_;
    uint32_t entries_;
    uint32_t level_;
    int32_t mode_;
    bool top_down_;
    uint32_t width_;
    uint32_t height_;
    uint64_t total_;
    bool two_threads_;
    std::vector<uint8_t> batch_;
    uint64_t next_ = 0;  // write position of the first pixel not matched yet
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    // Last: it joins its thread before the batch it writes into goes.
    HelperThread helper_;
};

}  // namespace kot
