// Raw-byte file output for the writers.
#include <cstdio>
#include <cstring>
#include <new>

#include "writer_common.h"

namespace kot {

bool FileWriter::open(const char *path) {
    close();
    failed_ = false;
    owned_ = true;
    file_ = path != nullptr ? std::fopen(path, "wb") : nullptr;
    return file_ != nullptr;
}

bool FileWriter::flush_buffer() {
    if (used_ != 0 && std::fwrite(buffer_.get(), 1, used_, file_) != used_) failed_ = true;
    used_ = 0;
    return !failed_;
}

bool FileWriter::write(const void *data, std::size_t n) {
    if (file_ == nullptr || failed_) return false;
    if (n == 0) return true;
    // A borrowed stream is written through: its owner has chosen its buffering.
    if (!buffer_ && owned_) buffer_.reset(new (std::nothrow) uint8_t[kBufferBytes]);
    if (buffer_ && n <= kBufferBytes - used_) {
        std::memcpy(buffer_.get() + used_, data, n);
        used_ += n;
        return used_ < kBufferBytes || flush_buffer();
    }
    if (buffer_ && !flush_buffer()) return false;
    if (std::fwrite(data, 1, n, file_) != n) {
        failed_ = true;
        return false;
    }
    return true;
}

bool FileWriter::write_u8(uint32_t v) {
    const uint8_t b = static_cast<uint8_t>(v);
    return write(&b, 1);
}

bool FileWriter::write_le16(uint32_t v) {
    uint8_t b[2];
    put_le16(b, v);
    return write(b, sizeof b);
}

bool FileWriter::write_le32(uint32_t v) {
    uint8_t b[4];
    put_le32(b, v);
    return write(b, sizeof b);
}

bool FileWriter::close() {
    if (file_ == nullptr) return false;
    // Buffered bytes reach the file only here: a full disk shows up now.
    if (!failed_ && buffer_) flush_buffer();
    bool ok = !failed_;
    if (owned_) {
        if (std::fclose(file_) != 0) ok = false;
    } else if (std::fflush(file_) != 0) {
        ok = false;
    }
    file_ = nullptr;
    used_ = 0;  // bytes a failed stream did not take are dropped
    return ok;
}

}  // namespace kot
