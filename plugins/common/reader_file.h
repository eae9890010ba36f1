// reader_file.h - bounded file reading shared by the reader plug-ins.
//
// A reader opens its file once per export, asks for its length, and reads
// only byte ranges that lie inside it: read_at refuses a position or length
// beyond the end instead of reading short, so no caller ever works on bytes
// the file does not have. Sizes and positions are 64-bit.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "byte_float.h"
#include "large_block.h"
#include "parallel.h"

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
    // A large range is read in pieces on all cores at once (a fresh
    // destination's pages are then taken from the system on all of them).
    bool read_at(int64_t pos, void *dst, uint64_t n) {
        if (!ok() || pos < 0 || pos > size_) return false;
        if (n > static_cast<uint64_t>(size_ - pos)) return false;
        if (n >= 2 * kPiece) return read_pieces(pos, static_cast<uint8_t *>(dst), n);
        if (fseeko(fp_, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
        return n == 0 || std::fread(dst, 1, static_cast<size_t>(n), fp_) == n;
    }

  private:
    static constexpr uint64_t kPiece = uint64_t{4} << 20;

    // Exactly n bytes at pos into dst through the descriptor fd.
    static bool pread_all(int fd, uint8_t *dst, uint64_t n, int64_t pos) {
        for (uint64_t done = 0; done < n;) {
            const ssize_t got = pread(fd, dst + done, static_cast<size_t>(n - done),
                                      static_cast<off_t>(pos + static_cast<int64_t>(done)));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += static_cast<uint64_t>(got);
        }
        return true;
    }

    bool read_pieces(int64_t pos, uint8_t *dst, uint64_t n) {
        const int fd = fileno(fp_);
        std::atomic<bool> whole{true};
        auto read_range = [&](uint64_t first, uint64_t last) {
            for (uint64_t k = first; k < last && whole; ++k) {
                const uint64_t at = k * kPiece, len = std::min(kPiece, n - at);
                if (!pread_all(fd, dst + at, len, pos + static_cast<int64_t>(at))) whole = false;
            }
        };
        kvza::run_parts((n + kPiece - 1) / kPiece, read_range, 2);
        return whole;
    }

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
