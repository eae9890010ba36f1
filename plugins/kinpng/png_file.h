// png_file.h - the bytes of a PNG file and the check of its chunk sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "reader_file.h"

namespace kinpng {

// The bytes of a file from an offset to its end, read in one request.
class FileBytes {
  public:
    // False when the file cannot be opened or read in full, or offset lies
    // outside it.
    bool read(const char *path, int32_t offset);
    // The n bytes of file at pos: a PNG file held inside another one.
    bool read(kincommon::File &file, int64_t pos, uint64_t n);
    // When the file ends inside an image data chunk, shortens that chunk to
    // the bytes there are and closes the file with an end chunk, so the rows
    // those bytes hold can still be decoded. The file stays refused: call
    // chunks_sound before this.
    void close_cut_data();
    const uint8_t *data() const { return data_.get(); }
    size_t size() const { return size_; }

  private:
    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
};

// True when the bytes begin with the PNG signature and IHDR, and every
// chunk up to IEND lies inside the bytes with a matching checksum; the only
// critical chunks are IHDR first, at most one PLTE before the image data,
// one unbroken run of IDAT chunks and IEND, and a palette file's tRNS comes
// after its PLTE. Bytes after IEND are not read. With before_data, also tells
// whether every chunk before the first IDAT is sound, so a file damaged
// further on can still give the rows before the damage.
bool chunks_sound(const uint8_t *data, size_t size, bool *before_data = nullptr);

}  // namespace kinpng
