#include "image_alloc.h"

#include "large_block.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace kvzaedit {

namespace {

// Physical memory of the machine; a block larger than this would only be
// granted lazily and could get the process killed when touched.
uint64_t PhysicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return UINT64_MAX;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page);
}

// Blocks from this size on are mapped from the system directly: their pages
// read as zero and take memory only once written, whatever an allocator (or a
// sanitizer's) would do to a block of that size. A reader that finds its
// file short of the pixels its header promised has then cost no more than
// the pixels it stored.
constexpr uint64_t kMappedBytes = uint64_t{16} << 20;

void *AllocateZeroed(uint64_t bytes) {
    if (bytes < kMappedBytes) return std::calloc(1, static_cast<size_t>(bytes));
    // Large pages where the system offers them on request: a reader fills
    // the block once from start to end, and one fault per 2 MiB instead of
    // per 4 KiB takes a good part of the time of opening a large picture.
    return kvza::map_large(static_cast<size_t>(bytes));
}

}  // namespace

uint64_t ImageBlockBytes(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return 0;
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    // Up to 2^31 x 2^31 pixels fit 64 bits, but 16 bytes each may not.
    if (pixels > (UINT64_MAX - KVZA_HEADER_BYTES) / sizeof(KvzaPixel)) return 0;
    return pixels * sizeof(KvzaPixel) + KVZA_HEADER_BYTES;
}

KvzaImage *NewImage(const KvzaImage *templ, int32_t width, int32_t height) {
    const uint64_t bytes = ImageBlockBytes(width, height);
    if (bytes == 0 || bytes > PhysicalMemory() || bytes > SIZE_MAX) return nullptr;
    auto *image = static_cast<KvzaImage *>(AllocateZeroed(bytes));
    if (image == nullptr) return nullptr;
    image->width = width;
    image->height = height;
    if (templ != nullptr) {
        image->pixtype = templ->pixtype;
        image->reserved = templ->reserved;
        image->wrapx = templ->wrapx;
        image->wrapy = templ->wrapy;
        std::memcpy(image->viewinfo, templ->viewinfo, sizeof image->viewinfo);
        image->border = templ->border;
        std::memcpy(image->palette, templ->palette, sizeof image->palette);
    }
    return image;
}

void ReleaseImage(KvzaImage *&place) {
    if (place == nullptr) return;
    // The size of a block never changes after NewImage, so it tells how the
    // block was taken.
    const uint64_t bytes = ImageBlockBytes(place->width, place->height);
    if (bytes < kMappedBytes) {
        std::free(place);
    } else {
        kvza::unmap_large(place, static_cast<size_t>(bytes));
    }
    place = nullptr;
}

}  // namespace kvzaedit
