#include "image_block.h"

#include "large_block.h"

namespace kvzatest {

namespace {

// The size from which the editor's host maps its pictures.
constexpr size_t kMappedBytes = size_t{16} << 20;

}  // namespace

void FreeBlock::operator()(KvzaImage *image) const {
    if (mapped != 0) {
        kvza::unmap_large(image, mapped);
    } else {
        std::free(image);
    }
}

ImagePtr make_image(int width, int height) {
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t bytes = KVZA_HEADER_BYTES + count * sizeof(KvzaPixel);
    const bool mapped = bytes >= kMappedBytes;
    auto *image = static_cast<KvzaImage *>(mapped ? kvza::map_large(bytes) : std::calloc(1, bytes));
    if (image != nullptr) {
        image->width = width;
        image->height = height;
    }
    return ImagePtr(image, FreeBlock{image != nullptr && mapped ? bytes : 0});
}

}  // namespace kvzatest
