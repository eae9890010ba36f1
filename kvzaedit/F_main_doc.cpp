// The document of the main window: its image, the undo and redo history of
// whole-image snapshots, the edits that run on it, and opening, saving and
// closing it.
//
// UndoBuf slots 0..7 are the undo stack (0 = state before the latest edit),
// slots 8..15 the redo stack (8 = state undone last). Each stack is filled
// from its first slot without gaps, and every image lives in exactly one
// place: CurImg or one slot.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <climits>
#include <cmath>
#include <cstring>

#include "F_main.h"
#include "F_pal.h"
#include "image_alloc.h"
#include "input_host.h"
#include "msgbox.h"
#include "output_host.h"

namespace kvzaedit {

namespace {

constexpr int kUndoFirst = 0;
constexpr int kUndoLast = 7;
constexpr int kRedoFirst = 8;
constexpr int kRedoLast = 15;

std::string LocalPath(const QString &path) {
    return QFile::encodeName(path).toStdString();
}

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

void TMainF::ClearUndo() {
    for (int k = kUndoFirst; k <= kUndoLast; ++k) ReleaseImage(UndoBuf[k]);
    A_Undo->setEnabled(false);
}

void TMainF::ClearRedo() {
    for (int k = kRedoFirst; k <= kRedoLast; ++k) ReleaseImage(UndoBuf[k]);
    A_Redo->setEnabled(false);
}

int TMainF::BeginEdit(int32_t width, int32_t height) {
    if (CurImg == nullptr) return 1;
    ClearRedo();
    // Push the current image onto the undo stack; the oldest state drops out.
    ReleaseImage(UndoBuf[kUndoLast]);
    for (int k = kUndoLast; k > kUndoFirst; --k) UndoBuf[k] = UndoBuf[k - 1];
    UndoBuf[kUndoFirst] = CurImg;
    CurImg = NewImage(UndoBuf[kUndoFirst], width, height);
    if (CurImg != nullptr) {
        A_Undo->setEnabled(true);
        return 0;
    }
    // Roll the push back. The redo stack and the oldest state stay gone.
    CurImg = UndoBuf[kUndoFirst];
    for (int k = kUndoFirst; k < kUndoLast; ++k) UndoBuf[k] = UndoBuf[k + 1];
    UndoBuf[kUndoLast] = nullptr;
    A_Undo->setEnabled(UndoBuf[kUndoFirst] != nullptr);
    kvzaedit::ErrorBox(QStringLiteral("out of memory"));
    return 1;
}

void TMainF::CopyPrevPixels(KvzaImage *dst, const KvzaImage *src) {
    if (dst == nullptr || src == nullptr) return;
    if (dst->width != src->width || dst->height != src->height) {
        kvzaedit::ErrorBox(QStringLiteral("different image size"));
        return;
    }
    const uint64_t count = PixelCount(src);
    if (count != 0)
        std::memcpy(dst->pixels, src->pixels, static_cast<size_t>(count * sizeof(KvzaPixel)));
}

void TMainF::UndoStep(bool refresh) {
    if (!A_Undo->isEnabled() || CurImg == nullptr || UndoBuf[kUndoFirst] == nullptr) return;
    ReleaseImage(UndoBuf[kRedoLast]);
    for (int k = kRedoLast; k > kRedoFirst; --k) UndoBuf[k] = UndoBuf[k - 1];
    UndoBuf[kRedoFirst] = CurImg;
    CurImg = UndoBuf[kUndoFirst];
    for (int k = kUndoFirst; k < kUndoLast; ++k) UndoBuf[k] = UndoBuf[k + 1];
    UndoBuf[kUndoLast] = nullptr;
    A_Redo->setEnabled(true);
    if (UndoBuf[kUndoFirst] == nullptr) A_Undo->setEnabled(false);
    if (refresh) RefreshView(3);
}

void TMainF::RedoStep(bool refresh) {
    if (!A_Redo->isEnabled() || CurImg == nullptr || UndoBuf[kRedoFirst] == nullptr) return;
    ReleaseImage(UndoBuf[kUndoLast]);
    for (int k = kUndoLast; k > kUndoFirst; --k) UndoBuf[k] = UndoBuf[k - 1];
    UndoBuf[kUndoFirst] = CurImg;
    CurImg = UndoBuf[kRedoFirst];
    for (int k = kRedoFirst; k < kRedoLast; ++k) UndoBuf[k] = UndoBuf[k + 1];
    UndoBuf[kRedoLast] = nullptr;
    A_Undo->setEnabled(true);
    if (UndoBuf[kRedoFirst] == nullptr) A_Redo->setEnabled(false);
    if (refresh) RefreshView(3);
}

void TMainF::A_UndoExecute() {
    UndoStep(true);
}

void TMainF::A_RedoExecute() {
    RedoStep(true);
}

// ---------------------------------------------------------------------------
// Edits

void TMainF::StandardEdit(int32_t (*op)(KvzaImage *)) {
    if (CurImg == nullptr) return;
    if (BeginEdit(CurImg->width, CurImg->height) != 0) return;
    CopyPrevPixels(CurImg, UndoBuf[kUndoFirst]);
    op(CurImg);  // the status is of no interest: the image is valid either way
    Modified = 1;
    RefreshView(0);
}

void TMainF::A_AdjOLExecute() {
    StandardEdit([](KvzaImage *image) { return kvza_adjustoutline(image, 1.0e-5f, nullptr); });
}

void TMainF::A_EdgeAAExecute() {
    StandardEdit([](KvzaImage *image) { return kvza_edgeantialias(image, 1.0e-5f, nullptr); });
}

void TMainF::A_GrayExecute() {
    StandardEdit([](KvzaImage *image) { return kvza_graymap(image, nullptr); });
}

void TMainF::A_AlphaExecute() {
    StandardEdit([](KvzaImage *image) { return kvza_alphamap(image, nullptr); });
}

int TMainF::BeginFrameEdit() {
    if (CurImg == nullptr) return 1;
    const int32_t ow = CurImg->width, oh = CurImg->height;
    // A side that cannot grow by two pixels can never be allocated either.
    if (static_cast<int64_t>(ow) + 2 > INT32_MAX || static_cast<int64_t>(oh) + 2 > INT32_MAX) {
        kvzaedit::ErrorBox(QStringLiteral("out of memory"));
        return 1;
    }
    if (BeginEdit(ow + 2, oh + 2) != 0) return 1;
    kvza_copy(CurImg, 1, 1, UndoBuf[kUndoFirst], 0, 0, ow, oh, 0, 0.0f, nullptr);
    return 0;
}

void TMainF::A_AddTransExecute() {
    if (BeginFrameEdit() != 0) return;
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
    RefreshView(3);
}

void TMainF::A_AddBorderExecute() {
    if (BeginFrameEdit() != 0) return;
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
    RefreshView(3);
}

int TMainF::ResizeTo(int32_t method, int32_t width, int32_t height) {
    if (BeginEdit(width, height) != 0) return 1;
    const KvzaImage *src = UndoBuf[kUndoFirst];
    switch (method) {
        case 0:
            kvza_stretch_near(CurImg, src, nullptr);
            break;
        case 1:
            kvza_stretch_line(CurImg, src, nullptr);
            break;
        case 2:
            kvza_stretch_slant(CurImg, src, nullptr);
            break;
        case 3:
            kvza_stretch_arc(CurImg, src, nullptr);
            break;
        default:
            kvza_stretch_shape(CurImg, src, nullptr);
            break;
    }
    RefreshView(3);
    return 0;
}

int TMainF::ReduceColours(int32_t alphamode, uint32_t colours, uint32_t dither) {
    if (CurImg == nullptr) return 1;
    if (BeginEdit(CurImg->width, CurImg->height) != 0) return 1;
    // The window takes no commands until the progress dialog is released.
    KvzaProgress *progress = OpenProgress();
    CopyPrevPixels(CurImg, UndoBuf[kUndoFirst]);
    const int32_t status =
        kvza_reduce(CurImg, alphamode, colours, dither, nullptr, nullptr, progress);
    CloseProgress();
    if (status == 1 || status == 2) {
        kvzaedit::ErrorBox(status == 1 ? QStringLiteral("failed") : QStringLiteral("canceled"));
        UndoStep(false);
        ClearRedo();
    } else {
        RefreshView(0);
    }
    return status;
}

int TMainF::TransparentizeRef(int32_t reference, int32_t x, float ta, float tw, float tc, float th,
                              int32_t y) {
    if (CurImg == nullptr) return 1;
    if (BeginEdit(CurImg->width, CurImg->height) != 0) return 1;
    KvzaImage *prev = UndoBuf[kUndoFirst];
    int32_t rx = x, ry = y;
    switch (reference) {
        case 1:
            rx = 0, ry = 0;
            break;
        case 2:
            rx = prev->width - 1, ry = 0;
            break;
        case 3:
            rx = 0, ry = prev->height - 1;
            break;
        case 4:
            rx = prev->width - 1, ry = prev->height - 1;
            break;
        default:  // any point, resolved through the image's wrap modes
            break;
    }
    CopyPrevPixels(CurImg, prev);
    const KvzaPixel *found = kvza_getpixptr(prev, rx, ry);
    if (found != nullptr) {
        const KvzaPixel ref = *found;
        const float ref_chroma = kvza_getpixchroma(&ref);
        const uint64_t count = PixelCount(CurImg);
        for (uint64_t n = 0; n < count; ++n) {
            KvzaPixel &p = CurImg->pixels[n];
            const float da = p.a - ref.a;
            if (!(std::fabs(da) <= ta)) continue;
            const float dw = p.w - ref.w;
            if (!(std::fabs(dw) <= tw)) continue;
            const float dc = kvza_getpixchroma(&p) - ref_chroma;
            if (!(std::fabs(dc) <= tc)) continue;
            if (!(std::fabs(kvza_subhue(&p, &ref)) <= th)) continue;
            p.a = 0.0f;
        }
    }
    RefreshView(0);
    return 0;
}

int TMainF::ResizeToCb(void *main, int32_t method, int32_t width, int32_t height) {
    return main == nullptr ? 1 : static_cast<TMainF *>(main)->ResizeTo(method, width, height);
}

int TMainF::ReduceColoursCb(void *main, int32_t alphamode, uint32_t colours, uint32_t dither) {
    return main == nullptr ? 1
                           : static_cast<TMainF *>(main)->ReduceColours(alphamode, colours, dither);
}

int TMainF::TransparentizeRefCb(void *main, int32_t reference, int32_t x, float ta, float tw,
                                float tc, float th, int32_t y) {
    return main == nullptr
               ? 1
               : static_cast<TMainF *>(main)->TransparentizeRef(reference, x, ta, tw, tc, th, y);
}

// ---------------------------------------------------------------------------
// Document life

void TMainF::SetDocActionsEnabled(bool on) {
    for (QAction *action : {A_Fork, A_BackCol, A_BorderCol, A_WrapMode, A_Close, A_Save, A_Save2,
                            A_AdjOL, A_BackTrans, A_EdgeAA, A_Gray, A_Alpha, A_Size, A_Reduce})
        action->setEnabled(on);
    M_AddWall->setEnabled(on);
}

void TMainF::ShowDoc() {
    if (CurImg == nullptr) return;
    RefreshView(3);
    Img->show();
    SetDocActionsEnabled(true);
    Shown = 1;
    if (PalWin != nullptr) PalWin->RedrawGrid();
}

void TMainF::CloseDoc() {
    if (Shown == 0) return;
    Img->hide();
    ClearUndo();
    ClearRedo();
    ReleaseImage(CurImg);
    SetDocActionsEnabled(false);
    Shown = 0;
    Modified = 0;
    setWindowTitle(QStringLiteral("KVZA frontend"));
    SaveName.clear();
    F_SaveFile.clear();
    const int16_t type = SaveOpts.type;
    SaveOpts = KotSaveOptions{};
    SaveOpts.type = type;
}

void TMainF::OpenDoc() {
    if (OpenName.isEmpty()) return;
    if (Shown != 0) CloseDoc();
    const std::string path = LocalPath(OpenName);
    const std::string library = PluginLibraryName(PluginDir::Input, path);
    KvzaImage *image = LoadImageFile(path, library, *this);
    if (image == nullptr) return;
    ReleaseImage(CurImg);  // none is left at this point; kept for safety
    CurImg = image;
    SaveOpts.type = CurImg->pixtype;
    setWindowTitle(OpenName);
    SaveName = OpenName;
    F_SaveDir = QFileInfo(OpenName).absolutePath();
    ShowDoc();
}

int TMainF::SaveDoc() {
    if (Shown == 0 || CurImg == nullptr) return 1;
    if (SaveName.isEmpty()) {
        QString path;
        if (!RunSaveFileDialog(path)) return 1;
        SaveName = path;
        const int16_t type = SaveOpts.type;
        SaveOpts = KotSaveOptions{};
        SaveOpts.type = type;
    }
    const std::string path = LocalPath(SaveName);
    const std::string library = PluginLibraryName(PluginDir::Output, path);
    if (SaveWithPlugin(path, library, CurImg, &SaveOpts, *this) != 0) return 1;
    Modified = 0;
    OpenName = SaveName;
    setWindowTitle(SaveName);
    return 0;
}

}  // namespace kvzaedit
