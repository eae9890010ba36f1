#include "sample_image.h"

#include "image_alloc.h"

namespace kvzaedit {

namespace {

constexpr int32_t kWidth = 256;
constexpr int32_t kHeight = 192;

void SetRgba(KvzaPixel &dst, float r, float g, float b, float a) {
    const KvzaPixel rgb{r, g, b, a};
    kvza_rgba2kvza(&dst, &rgb);
}

}  // namespace

KvzaImage *MakeSampleImage() {
    KvzaImage *image = NewImage(nullptr, kWidth, kHeight);
    if (image == nullptr) return nullptr;
    image->viewinfo[0] = image->viewinfo[1] = image->viewinfo[2] = 128;
    image->border = KvzaPixel{0.0f, 0.0f, -1.0f, 0.0f};
    image->wrapx = image->wrapy = KVZA_WRAP_CLAMP;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            KvzaPixel &p = image->pixels[static_cast<int64_t>(y) * kWidth + x];
            const float r = static_cast<float>(x) / (kWidth - 1);
            const float g = static_cast<float>(y) / (kHeight - 1);
            const float b = 1.0f - static_cast<float>(x + y) / (kWidth + kHeight - 2);
            float a = 1.0f;
            if (x < 64) {
                a = 0.0f;
            } else if (x < 128) {
                a = 0.5f;
            }
            const int32_t dx = x - 176, dy = y - 96;
            const int32_t d2 = dx * dx + dy * dy;
            if (d2 <= 40 * 40) {
                // Light centre fading to orange at the rim.
                const float t = static_cast<float>(d2) / (40.0f * 40.0f);
                SetRgba(p, 1.0f, 1.0f - 0.45f * t, 0.85f * (1.0f - t), 1.0f);
            } else {
                SetRgba(p, r, g, b, a);
            }
        }
    }
    return image;
}

}  // namespace kvzaedit
