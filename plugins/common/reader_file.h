// reader_file.h - bounded file reading shared by the reader plug-ins.
//
// A reader opens its file once per export, asks for its length, and reads
// only byte ranges that lie inside it: read_at refuses a position or length
// beyond the end instead of reading short, so no caller ever works on bytes
// the file does not have. Sizes and positions are 64-bit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sys/types.h>

#include "byte_float.h"
#include "large_block.h"

namespace kincommon {

static_assert(sizeof(off_t) == 8, "file positions are 64-bit");

// A file opened for binary reading, with its length; closed on every path.
class File {
  public:
    explicit File(const char *path) {
        if (path == nullptr) return;
        fp_ = std::fopen(path, "rb");
        if (fp_ == nullptr) return;
        if (fseeko(fp_, 0, SEEK_END) != 0) return;
        const off_t end = ftello(fp_);
        if (end >= 0) size_ = static_cast<int64_t>(end);
    }
    ~File() {
        if (fp_ != nullptr) std::fclose(fp_);
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    bool ok() const { return fp_ != nullptr && size_ >= 0; }
    int64_t size() const { return size_; }

    // Reads exactly n bytes at pos; false on a bad position or a short read.
    bool read_at(int64_t pos, void *dst, uint64_t n) {
        if (!ok() || pos < 0 || pos > size_) return false;
        if (n > static_cast<uint64_t>(size_ - pos)) return false;
        if (fseeko(fp_, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
        return n == 0 || std::fread(dst, 1, static_cast<size_t>(n), fp_) == n;
    }

  private:
    std::FILE *fp_ = nullptr;
    int64_t size_ = -1;
};

// Bytes of the file from offset to its end; -1 for an offset outside it.
inline int64_t bytes_from(const File &file, int64_t offset) {
    if (!file.ok() || offset < 0 || offset > file.size()) return -1;
    return file.size() - offset;
}

// A buffer released on every path.
using Buffer = kvza::ByteBlock;

// Little-endian fields.
inline uint16_t le16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t le32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t les32(const uint8_t *p) {
    return static_cast<int32_t>(le32(p));
}
// A big-endian 32-bit field (PNG chunks).
inline uint32_t be32(const uint8_t *p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace kincommon
