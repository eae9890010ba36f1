// large_block.h - memory for the blocks a picture or its file fills once
// from end to end (the picture, a file read whole, a block of encoded rows):
// mapped from the system on 2 MiB boundaries with large pages asked for, so
// that filling it takes one page fault per 2 MiB instead of one per 4 KiB.
// The pages read as zero and take memory only once written. Header-only;
// the readers, writers and hosts share it.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace kvza {

// Blocks from this size on are worth mapping; smaller ones come from the heap.
inline constexpr size_t kLargePage = size_t{2} << 20;

// The length actually mapped for n bytes: whole large pages, so that the
// last part of the block is on a large page too.
inline size_t large_length(size_t n) {
    return n > SIZE_MAX - (kLargePage - 1) ? 0 : (n + kLargePage - 1) / kLargePage * kLargePage;
}

// n bytes (n > 0) starting on a large-page boundary, zeroed; nullptr when the
// system has no room. Release with unmap_large(block, n).
inline void *map_large(size_t n) {
    const size_t length = large_length(n);
    if (length == 0 || length > SIZE_MAX - kLargePage) return nullptr;
    // Map a large page more than needed and trim the ends to the boundary.
    void *raw = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kLargePage - 1) & ~(uintptr_t{kLargePage} - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const uintptr_t end = start + length + kLargePage;
    if (end > aligned + length)
        munmap(reinterpret_cast<void *>(aligned + length), end - aligned - length);
    void *block = reinterpret_cast<void *>(aligned);
    // Only a hint: without large pages the block is the same.
    madvise(block, length, MADV_HUGEPAGE);
    return block;
}

inline void unmap_large(void *block, size_t n) {
    if (block != nullptr) munmap(block, large_length(n));
}

// A buffer released on every path; a large one is mapped on large pages
// (filled from end to end: a file read whole, a block of encoded rows).
class ByteBlock {
  public:
    ByteBlock() = default;
    ByteBlock(const ByteBlock &) = delete;
    ByteBlock &operator=(const ByteBlock &) = delete;
    ByteBlock(ByteBlock &&other) noexcept { take(other); }
    ByteBlock &operator=(ByteBlock &&other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    ~ByteBlock() { release(); }
    bool allocate(uint64_t n) {
        release();
        if (n > static_cast<uint64_t>(SIZE_MAX) - 1) return false;
        mapped_ = n >= kLargePage;
        data_ = static_cast<uint8_t *>(mapped_ ? map_large(static_cast<size_t>(n))
                                               : std::malloc(n == 0 ? 1 : static_cast<size_t>(n)));
        if (data_ == nullptr) return false;
        size_ = n;
        return true;
    }
    const uint8_t *data() const { return data_; }
    uint8_t *data() { return data_; }
    uint64_t size() const { return size_; }

  private:
    void take(ByteBlock &other) {
        data_ = other.data_;
        size_ = other.size_;
        mapped_ = other.mapped_;
        other.data_ = nullptr;
        other.size_ = 0;
        other.mapped_ = false;
    }
    void release() {
        if (mapped_) {
            unmap_large(data_, static_cast<size_t>(size_));
        } else {
            std::free(data_);
        }
        data_ = nullptr;
        size_ = 0;
        mapped_ = false;
    }

    uint8_t *data_ = nullptr;
    uint64_t size_ = 0;
    bool mapped_ = false;
};

}  // namespace kvza
