// The document's history and edits.
#include "document.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "byte_float.h"
#include "image_alloc.h"

namespace kvzaedit {

namespace {

constexpr int kUndoFirst = 0;
constexpr int kUndoLast = 7;
constexpr int kRedoFirst = 8;
constexpr int kRedoLast = 15;

KvzaPixel &PixelAt(KvzaImage *image, int64_t x, int64_t y) {
    return image->pixels[y * static_cast<int64_t>(image->width) + x];
}

uint64_t PixelCount(const KvzaImage *image) {
    if (image->width <= 0 || image->height <= 0) return 0;
    return static_cast<uint64_t>(image->width) * static_cast<uint64_t>(image->height);
}

}  // namespace

// ---------------------------------------------------------------------------
// History

void Document::ClearUndo() {
    for (int k = kUndoFirst; k <= kUndoLast; ++k) ReleaseImage(UndoBuf[k]);
}

void Document::ClearRedo() {
    for (int k = kRedoFirst; k <= kRedoLast; ++k) ReleaseImage(UndoBuf[k]);
}

kvza_status Document::BeginEdit(int32_t width, int32_t height) {
    if (CurImg == nullptr) return KVZA_FAILED;
    ClearRedo();
    // Push the current image onto the undo stack; the oldest state drops out.
    ReleaseImage(UndoBuf[kUndoLast]);
    for (int k = kUndoLast; k > kUndoFirst; --k) UndoBuf[k] = UndoBuf[k - 1];
    UndoBuf[kUndoFirst] = CurImg;
    CurImg = NewImage(UndoBuf[kUndoFirst], width, height);
    if (CurImg != nullptr) return KVZA_OK;
    // Roll the push back. The redo stack and the oldest state stay gone.
    CurImg = UndoBuf[kUndoFirst];
    for (int k = kUndoFirst; k < kUndoLast; ++k) UndoBuf[k] = UndoBuf[k + 1];
    UndoBuf[kUndoLast] = nullptr;
    ui_.ErrorBox("out of memory");
    return KVZA_FAILED;
}

void Document::CopyPrevPixels(KvzaImage *dst, const KvzaImage *src) {
    if (dst == nullptr || src == nullptr) return;
    if (dst->width != src->width || dst->height != src->height) {
        ui_.ErrorBox("different image size");
        return;
    }
    const uint64_t count = PixelCount(src);
    if (count != 0)
        std::memcpy(dst->pixels, src->pixels, static_cast<size_t>(count * sizeof(KvzaPixel)));
}

bool Document::Undo() {
    if (CurImg == nullptr || UndoBuf[kUndoFirst] == nullptr) return false;
    ReleaseImage(UndoBuf[kRedoLast]);
    for (int k = kRedoLast; k > kRedoFirst; --k) UndoBuf[k] = UndoBuf[k - 1];
    UndoBuf[kRedoFirst] = CurImg;
    CurImg = UndoBuf[kUndoFirst];
    for (int k = kUndoFirst; k < kUndoLast; ++k) UndoBuf[k] = UndoBuf[k + 1];
    UndoBuf[kUndoLast] = nullptr;
    return true;
}

bool Document::Redo() {
    if (CurImg == nullptr || UndoBuf[kRedoFirst] == nullptr) return false;
    ReleaseImage(UndoBuf[kUndoLast]);
    for (int k = kUndoLast; k > kUndoFirst; --k) UndoBuf[k] = UndoBuf[k - 1];
    UndoBuf[kUndoFirst] = CurImg;
    CurImg = UndoBuf[kRedoFirst];
    for (int k = kRedoFirst; k < kRedoLast; ++k) UndoBuf[k] = UndoBuf[k + 1];
    UndoBuf[kRedoLast] = nullptr;
    return true;
}

void Document::Close() {
    ClearUndo();
    ClearRedo();
    ReleaseImage(CurImg);
    Modified = 0;
    const int16_t type = SaveOpts.type;
    SaveOpts = KotSaveOptions{};
    SaveOpts.type = type;
}

void Document::Take(KvzaImage *image) {
    ReleaseImage(CurImg);
    CurImg = image;
    if (CurImg != nullptr) SaveOpts.type = CurImg->pixtype;
}

// ---------------------------------------------------------------------------
// Settings of the image

void Document::SetViewBackground(uint8_t r, uint8_t g, uint8_t b) {
    if (CurImg == nullptr) return;
    CurImg->viewinfo[0] = r;
    CurImg->viewinfo[1] = g;
    CurImg->viewinfo[2] = b;
    Modified = 1;
}

void Document::SetBorderColour(uint8_t r, uint8_t g, uint8_t b, float alpha) {
    if (CurImg == nullptr) return;
    const float k = kvza::kByteToFloat;  // as the colour dialog scales a byte
    const KvzaPixel rgb{static_cast<float>(r) * k, static_cast<float>(g) * k,
                        static_cast<float>(b) * k, 0.0f};
    KvzaPixel kvz{};
    kvza_rgb2kvz(&kvz, &rgb);
    kvz.a = alpha;
    CurImg->border = kvz;
    Modified = 1;
}

// ---------------------------------------------------------------------------
// Edits

kvza_status Document::StandardEdit(int32_t (*op)(KvzaImage *)) {
    if (CurImg == nullptr) return KVZA_FAILED;
    if (BeginEdit(CurImg->width, CurImg->height) != KVZA_OK) return KVZA_FAILED;
    CopyPrevPixels(CurImg, UndoBuf[kUndoFirst]);
    op(CurImg);  // the status is of no interest: the image is valid either way
    Modified = 1;
    return KVZA_OK;
}

kvza_status Document::AdjustOutline() {
    return StandardEdit(
        [](KvzaImage *image) { return kvza_adjustoutline(image, 1.0e-5f, nullptr); });
}

kvza_status Document::EdgeAntialias() {
    return StandardEdit(
        [](KvzaImage *image) { return kvza_edgeantialias(image, 1.0e-5f, nullptr); });
}

kvza_status Document::GreyMap() {
    return StandardEdit([](KvzaImage *image) { return kvza_graymap(image, nullptr); });
}

kvza_status Document::AlphaMap() {
    return StandardEdit([](KvzaImage *image) { return kvza_alphamap(image, nullptr); });
}

kvza_status Document::BeginFrameEdit() {
    if (CurImg == nullptr) return KVZA_FAILED;
    const int32_t ow = CurImg->width, oh = CurImg->height;
    // A side that cannot grow by two pixels can never be allocated either.
    if (static_cast<int64_t>(ow) + 2 > INT32_MAX || static_cast<int64_t>(oh) + 2 > INT32_MAX) {
        ui_.ErrorBox("out of memory");
        return KVZA_FAILED;
    }
    if (BeginEdit(ow + 2, oh + 2) != KVZA_OK) return KVZA_FAILED;
    kvza_copy(CurImg, 1, 1, UndoBuf[kUndoFirst], 0, 0, ow, oh, 0, 0.0f, nullptr);
    return KVZA_OK;
}

kvza_status Document::AddTransparentFrame() {
    if (BeginFrameEdit() != KVZA_OK) return KVZA_FAILED;
    const int64_t w = CurImg->width, h = CurImg->height;
    // The frame repeats the colour of the edge pixel next to it, invisible.
    auto clear_from = [this](int64_t x, int64_t y, int64_t fx, int64_t fy) {
        KvzaPixel p = PixelAt(CurImg, fx, fy);
        p.a = 0.0f;
        PixelAt(CurImg, x, y) = p;
    };
    for (int64_t x = 1; x <= w - 2; ++x) {
        clear_from(x, 0, x, 1);
        clear_from(x, h - 1, x, h - 2);
    }
    for (int64_t y = 1; y <= h - 2; ++y) {
        clear_from(0, y, 1, y);
        clear_from(w - 1, y, w - 2, y);
    }
    clear_from(0, 0, 1, 1);
    clear_from(w - 1, 0, w - 2, 1);
    clear_from(0, h - 1, 1, h - 2);
    clear_from(w - 1, h - 1, w - 2, h - 2);
    Modified = 1;
    return KVZA_OK;
}

kvza_status Document::AddBorderFrame() {
    if (BeginFrameEdit() != KVZA_OK) return KVZA_FAILED;
    const int64_t w = CurImg->width, h = CurImg->height;
    const KvzaPixel border = CurImg->border;
    for (int64_t x = 0; x < w; ++x) {
        PixelAt(CurImg, x, 0) = border;
        PixelAt(CurImg, x, h - 1) = border;
    }
    for (int64_t y = 1; y <= h - 2; ++y) {
        PixelAt(CurImg, 0, y) = border;
        PixelAt(CurImg, w - 1, y) = border;
    }
    Modified = 1;
    return KVZA_OK;
}

kvza_status Document::ResizeTo(ResampleMode mode, int32_t width, int32_t height) {
    if (BeginEdit(width, height) != KVZA_OK) return KVZA_FAILED;
    const KvzaImage *src = UndoBuf[kUndoFirst];
    switch (mode) {
        case ResampleMode::Near:
            kvza_stretch_near(CurImg, src, nullptr);
            break;
        case ResampleMode::Line:
            kvza_stretch_line(CurImg, src, nullptr);
            break;
        case ResampleMode::Slant:
            kvza_stretch_slant(CurImg, src, nullptr);
            break;
        case ResampleMode::Arc:
            kvza_stretch_arc(CurImg, src, nullptr);
            break;
        default:
            kvza_stretch_shape(CurImg, src, nullptr);
            break;
    }
    return KVZA_OK;
}

kvza_status Document::ReduceColours(kvza_alpha_mode alpha, uint32_t colours, uint32_t dither) {
    if (CurImg == nullptr) return KVZA_FAILED;
    if (BeginEdit(CurImg->width, CurImg->height) != KVZA_OK) return KVZA_FAILED;
    // The front end takes no commands until the progress record is released.
    KvzaProgress *progress = ui_.OpenProgress();
    CopyPrevPixels(CurImg, UndoBuf[kUndoFirst]);
    const int32_t status = kvza_reduce(CurImg, alpha, colours, dither, nullptr, nullptr, progress);
    ui_.CloseProgress();
    if (status == KVZA_FAILED || status == KVZA_CANCELED) {
        ui_.ErrorBox(status == KVZA_FAILED ? "failed" : "canceled");
        Undo();
        ClearRedo();
        return static_cast<kvza_status>(status);
    }
    return KVZA_OK;
}

kvza_status Document::TransparentizeRef(RefPoint reference, int32_t x, int32_t y,
                                        const Tolerances &t) {
    if (CurImg == nullptr) return KVZA_FAILED;
    if (BeginEdit(CurImg->width, CurImg->height) != KVZA_OK) return KVZA_FAILED;
    KvzaImage *prev = UndoBuf[kUndoFirst];
    int32_t rx = x, ry = y;
    switch (reference) {
        case RefPoint::TopLeft:
            rx = 0, ry = 0;
            break;
        case RefPoint::TopRight:
            rx = prev->width - 1, ry = 0;
            break;
        case RefPoint::BottomLeft:
            rx = 0, ry = prev->height - 1;
            break;
        case RefPoint::BottomRight:
            rx = prev->width - 1, ry = prev->height - 1;
            break;
        default:  // any point, resolved through the image's wrap modes
            break;
    }
    CopyPrevPixels(CurImg, prev);
    const KvzaPixel *found = kvza_getpixptr(prev, rx, ry);
    if (found == nullptr) return KVZA_OK;
    const KvzaPixel ref = *found;
    const float ref_chroma = kvza_getpixchroma(&ref);
    const uint64_t count = PixelCount(CurImg);
    for (uint64_t n = 0; n < count; ++n) {
        KvzaPixel &p = CurImg->pixels[n];
        const float da = p.a - ref.a;
        if (!(std::fabs(da) <= t.alpha)) continue;
        const float dw = p.w - ref.w;
        if (!(std::fabs(dw) <= t.whiteness)) continue;
        const float dc = kvza_getpixchroma(&p) - ref_chroma;
        if (!(std::fabs(dc) <= t.chroma)) continue;
        if (!(std::fabs(kvza_subhue(&p, &ref)) <= t.hue)) continue;
        p.a = 0.0f;
    }
    return KVZA_OK;
}

}  // namespace kvzaedit
