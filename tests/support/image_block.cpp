#include "image_block.h"

namespace kvzatest {

ImagePtr make_image(int width, int height) {
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto *image = static_cast<KvzaImage *>(std::calloc(1, KVZA_HEADER_BYTES + count * sizeof(KvzaPixel)));
    if (image != nullptr) {
        image->width = width;
        image->height = height;
    }
    return ImagePtr(image);
}

}  // namespace kvzatest
