// png_batch.h - decoded scanlines gathered in batches, converted on
// threads beside the decoding one and stored in decoding order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "kin.h"
#include "kvza.h"
#include "png_convert.h"

namespace kinpng {

// Where the pixels of one decoded scanline go: pixel k to (x0 + k x step, y).
struct Placement {
    uint32_t y = 0;
    uint32_t x0 = 0;
    uint32_t step = 1;
    uint32_t count = 0;
};

class Batch {
  public:
    // Room for rows of width pixels and row_bytes decoded bytes each, of a
    // picture of height rows (a small picture gets a small batch and small
    // colour caches).
    Batch(const RowConverter &converter, uint32_t width, uint32_t height, uint64_t row_bytes);
    ~Batch() { join(); }
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;
    bool ok() const { return samples_ != nullptr && pixels_ != nullptr && !caches_.empty(); }

    // Where the next scanline is to be decoded, row_bytes long.
    uint8_t *slot() { return samples_.get() + rows_ * row_bytes_; }
    // Takes the scanline decoded into slot(); true when the batch is full.
    bool add(const Placement &placement);

    // Starts converting the gathered rows on one thread per core but one
    // (at least one thread); a small batch, or a share whose thread cannot
    // start, is converted here and now.
    void start();
    // Waits for the conversion, then stores the pixels through
    // kvza_getpixptr with one progress count each, and empties the batch.
    // KIN_CANCELED right after the pixel whose count asked to stop;
    // KIN_FAILED after the last pixel before a palette index with no entry.
    int32_t store(KvzaImage *image, KvzaProgress *progress);

  private:
    void convert(size_t first, size_t last, ColourCache &cache);
    void join();

    const RowConverter &converter_;
    uint32_t width_;
    size_t row_bytes_;
    size_t capacity_ = 0;  // rows
    size_t rows_ = 0;
    std::unique_ptr<uint8_t[]> samples_;
    std::unique_ptr<KvzaPixel[]> pixels_;  // width_ pixels per row
    std::unique_ptr<Placement[]> places_;
    std::unique_ptr<uint32_t[]> converted_;  // pixels converted per row
    std::vector<std::thread> threads_;
    std::vector<std::unique_ptr<ColourCache>> caches_;  // one per share, kept across batches
};

}  // namespace kinpng
