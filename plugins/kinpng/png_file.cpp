// File reading and the walk over the chunk sequence. The walk checks what
// the decoder does not check on its own after the image data (the last
// chunk's checksum, critical chunks out of place), and lets the size query
// refuse a broken file without inflating it.
#include "png_file.h"

#include <zlib.h>

#include <cstring>
#include <new>
#include <utility>

namespace kinpng {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint64_t kChunkFrame = 12;  // length, type, checksum
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t kHeaderLength = 13;

using kincommon::be32;

bool is_letter(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Checksum over type and data, computed in pieces that fit zlib's length type.
uint32_t chunk_crc(const uint8_t *type, uint64_t length) {
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t left = length + 4;
    const uint8_t *p = type;
    while (left > 0) {
        const uInt n = left > 0x40000000U ? 0x40000000U : static_cast<uInt>(left);
        crc = crc32(crc, p, n);
        p += n;
        left -= n;
    }
    return static_cast<uint32_t>(crc);
}

// Where a critical chunk may stand relative to the image data.
enum class Stage { kBeforeData, kInData, kAfterData };

}  // namespace

bool FileBytes::read(const char *path, int32_t offset) {
    kincommon::File file(path);
    const int64_t n = kincommon::bytes_from(file, offset);
    return n >= 0 && read(file, offset, static_cast<uint64_t>(n));
}

bool FileBytes::read(kincommon::File &file, int64_t pos, uint64_t n) {
    data_.reset();
    size_ = 0;
    if (n > SIZE_MAX / 2) return false;
    data_.reset(new (std::nothrow) uint8_t[n == 0 ? 1 : n]);
    if (!data_) return false;
    size_ = static_cast<size_t>(n);
    return file.read_at(pos, data_.get(), n);
}

void FileBytes::close_cut_data() {
    static constexpr uint8_t kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    if (size_ < sizeof kSignature) return;
    uint64_t pos = sizeof kSignature;
    while (size_ - pos >= 8) {
        const uint64_t length = be32(data_.get() + pos);
        if (length + kChunkFrame <= size_ - pos) {
            pos += kChunkFrame + length;
            continue;
        }
        if (std::memcmp(data_.get() + pos + 4, "IDAT", 4) != 0) return;
        // The cut chunk keeps the bytes it has (its checksum is gone).
        const uint64_t kept = size_ - pos - 8;
        std::unique_ptr<uint8_t[]> patched(new (std::nothrow) uint8_t[size_ + 4 + sizeof kEnd]);
        if (!patched) return;
        std::memcpy(patched.get(), data_.get(), size_);
        uint8_t *p = patched.get() + pos;
        p[0] = static_cast<uint8_t>(kept >> 24);
        p[1] = static_cast<uint8_t>(kept >> 16);
        p[2] = static_cast<uint8_t>(kept >> 8);
        p[3] = static_cast<uint8_t>(kept);
        std::memset(patched.get() + size_, 0, 4);
        std::memcpy(patched.get() + size_ + 4, kEnd, sizeof kEnd);
        data_ = std::move(patched);
        size_ += 4 + sizeof kEnd;
        return;
    }
}

bool chunks_sound(const uint8_t *data, size_t size, bool *before_data) {
    bool ignored = false;
    bool &prefix = before_data != nullptr ? *before_data : ignored;
    prefix = false;
    if (size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0)
        return false;
    uint64_t pos = sizeof kSignature;
    bool first = true, palette = false, indexed = false;
    Stage stage = Stage::kBeforeData;
    for (;;) {
        if (size - pos < kChunkFrame) return false;
        const uint32_t length = be32(data + pos);
        const uint8_t *type = data + pos + 4;
        // Everything before the first image data has been checked.
        if (!first && stage == Stage::kBeforeData && std::memcmp(type, "IDAT", 4) == 0)
            prefix = true;
        if (length > kMaxChunkLength || length > size - pos - kChunkFrame) return false;
        for (int i = 0; i < 4; ++i)
            if (!is_letter(type[i])) return false;
        if (chunk_crc(type, length) != be32(type + 4 + length)) return false;
        pos += kChunkFrame + length;

        const bool header = std::memcmp(type, "IHDR", 4) == 0;
        if (first != header || (header && length != kHeaderLength)) return false;
        if (header) indexed = type[4 + 9] == 3;  // colour type 3
        first = false;
        const bool image_data = std::memcmp(type, "IDAT", 4) == 0;
        if (stage == Stage::kInData && !image_data) stage = Stage::kAfterData;
        if (image_data) {
            if (stage == Stage::kAfterData) return false;
            stage = Stage::kInData;
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            return stage == Stage::kAfterData && length == 0;
        } else if (std::memcmp(type, "tRNS", 4) == 0 && indexed && !palette) {
            return false;  // a palette file's transparency before its palette
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            if (palette || stage != Stage::kBeforeData) return false;
            palette = true;
        } else if (!header && (type[0] & 0x20) == 0) {
            return false;  // a critical chunk this reader does not know
        }
    }
}

}  // namespace kinpng
