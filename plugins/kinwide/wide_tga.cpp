// The TGA module of the wide reader: uncompressed (types 1, 2, 3) and
// run-length encoded (types 9, 10, 11) files, decoded by the TGA pixel rules
// shared with kintga.
//
// TGA has no signature, so the header check is strict: a known type, a
// colour map type of 0 or 1 (1 for colour-mapped images) with a valid entry
// size, a depth the type has a layout for, and image data that starts inside
// the file. Run-length data is refused when the file is too short to hold
// the pixel count even at the best packing (128 pixels in 2 bytes), so the
// header alone never makes the reader allocate or count more than the file
// can fill.
#include <algorithm>

#include "tga_pixels.h"
#include "wide_formats.h"

namespace kinwide {

namespace {

using kincommon::Buffer;
using kincommon::bytes_from;
using kincommon::File;
using kincommon::kTgaHeaderBytes;
using kincommon::TgaHeader;
using kincommon::TgaKind;
using kincommon::TgaPixels;

constexpr uint8_t kPacketRun = 0x80;
constexpr uint8_t kPacketCount = 0x7F;
constexpr uint64_t kBestPixelsPerByte = 64;  // a run of 128 one-byte pixels in 2 bytes

// The accepted header, and where its colour map and pixel data lie.
struct Layout {
    TgaHeader h;
    int64_t map_pos = 0;      // colour map (when the map type is 1), from the file's start
    uint64_t map_bytes = 0;   // skipped for true colour and grey
    uint64_t data_bytes = 0;  // pixel data to read: all of it uncompressed, else what is there
};

bool read_layout(File &file, int64_t offset, Layout &l) {
    TgaHeader &h = l.h;
    const int64_t remaining = bytes_from(file, offset);
    if (remaining < kTgaHeaderBytes || !kincommon::read_tga_header(file, offset, h)) return false;
    if (h.kind == TgaKind::Unknown || h.map_type > 1) return false;
    if (h.kind == TgaKind::Mapped && h.map_type != 1) return false;
    if (h.map_type == 1 && h.entry_bits != 16 && h.entry_bits != 24 && h.entry_bits != 32)
        return false;
    if (h.map_type == 0 && h.map_length != 0) return false;
    if (!kincommon::tga_layout_supported(h)) return false;
    l.map_bytes = h.map_type == 1 ? h.map_bytes() : 0;
    const uint64_t before = uint64_t{h.id_length} + l.map_bytes;
    const uint64_t room = static_cast<uint64_t>(remaining - kTgaHeaderBytes);
    if (before > room) return false;
    l.map_pos = offset + kTgaHeaderBytes + h.id_length;
    const uint64_t present = room - before;
    if (!h.run_length) {
        l.data_bytes = h.pixel_count() * h.pixel_bytes();
        return l.data_bytes <= present;
    }
    if (h.pixel_count() > present * kBestPixelsPerByte) return false;
    // At most one packet header per pixel: the data needs no more than that.
    l.data_bytes = std::min<uint64_t>(present, h.pixel_count() * (1U + h.pixel_bytes()));
    return true;
}

// Decodes packets from data until the image is full: KIN_OK, KIN_CANCELED,
// or KIN_FAILED when the data ends early or a packet runs past the image.
int32_t put_packets(TgaPixels &pixels, const uint8_t *data, uint64_t size, uint32_t bytes) {
    uint64_t pos = 0;
    while (pixels.left() != 0) {
        if (pos == size) return KIN_FAILED;
        const uint8_t head = data[pos++];
        const uint32_t count = (head & kPacketCount) + 1U;
        const bool run = (head & kPacketRun) != 0;
        const uint64_t stored = std::min<uint64_t>(count, pixels.left());
        if (run && size - pos < bytes) return KIN_FAILED;
        for (uint64_t i = 0; i < stored; ++i) {
            if (!run && size - pos < bytes) return KIN_FAILED;
            if (!pixels.put(data + pos)) return KIN_CANCELED;
            if (!run) pos += bytes;
        }
        if (stored < count) return KIN_FAILED;
        if (run) pos += bytes;
    }
    return KIN_OK;
}

}  // namespace

bool tga_size(File &file, int64_t offset, Size &size) {
    Layout l;
    if (!read_layout(file, offset, l)) return false;
    size.width = l.h.width;
    size.height = l.h.height;
    return true;
}

int32_t tga_load(KvzaImage *image, File &file, int64_t offset, KvzaProgress *progress) {
    Layout l;
    if (image == nullptr || !read_layout(file, offset, l)) return KIN_FAILED;
    // Colour map and pixel data are contiguous after the ID field.
    Buffer buf;
    if (!buf.allocate(l.map_bytes + l.data_bytes) ||
        !file.read_at(l.map_pos, buf.data(), buf.size()))
        return KIN_FAILED;
    const TgaHeader &h = l.h;
    TgaPixels pixels(image, h, kincommon::read_tga_alpha(file, offset), buf.data(), progress);
    if (h.kind == TgaKind::Mapped) pixels.set_palette();
    kvza_progress_setup(image, progress);
    const uint8_t *data = buf.data() + l.map_bytes;
    const int32_t status = h.run_length ? put_packets(pixels, data, l.data_bytes, h.pixel_bytes())
                                        : pixels.put_all(data);
    kvza_progress_final(image, progress);
    return status;
}

}  // namespace kinwide
