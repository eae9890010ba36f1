// The image view of the main window: drawing the document into the 24-bit
// view bitmap by the transparency mode, zoom and transparency commands,
// fitting the window, mouse positions, and the pixel and palette windows.
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <algorithm>
#include <cmath>

#include "F_main.h"
#include "F_pal.h"
#include "F_pix.h"
#include "msgbox.h"
#include "parallel.h"
#include "view_draw.h"

namespace kvzaedit {

namespace {

// Images of at least this many pixels are drawn on all cores.
constexpr int64_t kThreadedPixels = 256 * 1024;

// A float colour channel rounded to a byte (v x 255 + 0.5, integer part),
// limited to 0..255.
int RoundedByte(float v) {
    const double t = std::trunc(static_cast<double>(v) * 255.0 + 0.5);
    if (!(t >= 0.0)) return 0;  // also not a number
    return t > 255.0 ? 255 : static_cast<int>(t);
}

}  // namespace

// ---------------------------------------------------------------------------
// The image control

TImgView::TImgView(TMainF *owner) : QLabel(owner), owner_(owner) {
    setObjectName(QStringLiteral("Img"));
    setMouseTracking(true);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    Bitmap = QImage(0, 0, QImage::Format_RGB888);
}

void TImgView::paintEvent(QPaintEvent *) {
    if (Bitmap.isNull() || width() <= 0 || height() <= 0) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    // Plain stretching (Qt::FastTransformation): pixels repeated or dropped,
    // never smoothed; only the exposed part is drawn, whatever the zoom.
    painter.drawImage(QRectF(rect()), Bitmap, QRectF(Bitmap.rect()));
}

void TImgView::mouseMoveEvent(QMouseEvent *event) {
    const QPoint pos = event->position().toPoint();
    owner_->ImgMouseMove(event->modifiers(), pos.x(), pos.y());
    QLabel::mouseMoveEvent(event);
}

// ---------------------------------------------------------------------------
// Drawing

int TMainF::ZoomPercent() const {
    const int idx = std::clamp<int>(ZoomIdx, 0, 11);
    return kZoomTable[idx];
}

void TMainF::SetBackground(const QColor &colour) {
    QPalette pal = Scroll->palette();
    pal.setColor(QPalette::Window, colour);
    Scroll->setPalette(pal);
    Scroll->setAutoFillBackground(true);
    QWidget *port = Scroll->viewport();
    QPalette port_pal = port->palette();
    port_pal.setColor(QPalette::Window, colour);
    port->setPalette(port_pal);
    port->setBackgroundRole(QPalette::Window);
    port->setAutoFillBackground(true);
}

void TMainF::RefreshView(int flags) {
    if (CurImg == nullptr) {
        SetBackground(QApplication::palette().color(QPalette::Button));
        return;
    }
    const int32_t width = CurImg->width;
    const int32_t height = CurImg->height;

    if ((flags & kResizeView) != 0) {
        const int64_t pct = ZoomPercent();
        const int64_t zw = std::max<int64_t>(0, width) * pct / 100;
        const int64_t zh = std::max<int64_t>(0, height) * pct / 100;
        Img->resize(static_cast<int>(std::min<int64_t>(zw, QWIDGETSIZE_MAX)),
                    static_cast<int>(std::min<int64_t>(zh, QWIDGETSIZE_MAX)));
    }
    if ((flags & kFitWindow) != 0) A_AdjWinExecute();

    // The area around the image shows the border colour.
    KvzaPixel border_rgb = CurImg->border;
    kvza_kvz2rgb(&border_rgb, &CurImg->border);
    SetBackground(
        QColor(RoundedByte(border_rgb.c), RoundedByte(border_rgb.s), RoundedByte(border_rgb.w)));

    if (width <= 0 || height <= 0) {
        Img->Bitmap = QImage(0, 0, QImage::Format_RGB888);
        Img->update();
        return;
    }
    if (Img->Bitmap.width() != width || Img->Bitmap.height() != height ||
        Img->Bitmap.format() != QImage::Format_RGB888)
        Img->Bitmap = QImage(width, height, QImage::Format_RGB888);
    if (Img->Bitmap.isNull()) {  // no memory for the bitmap: nothing to draw into
        Img->update();
        return;
    }

    const uint8_t back[3] = {CurImg->viewinfo[0], CurImg->viewinfo[1], CurImg->viewinfo[2]};
    const ViewMode mode =
        TransMode >= 1 && TransMode <= 3 ? static_cast<ViewMode>(TransMode) : ViewMode::kOpaque;
    const int64_t stride = Img->Bitmap.bytesPerLine();
    uint8_t *bits = Img->Bitmap.bits();
    const KvzaPixel *pixels = CurImg->pixels;
    auto draw_rows = [&](uint64_t y0, uint64_t y1) {
        DrawViewRows(pixels, width, static_cast<int64_t>(y0), static_cast<int64_t>(y1), bits,
                     stride, mode, back);
    };
    // Rows are independent: a large image is drawn on all cores at once,
    // each thread with its own cache of drawn pixels.
    kvza::run_parts(static_cast<uint64_t>(height), draw_rows,
                    static_cast<uint64_t>(kThreadedPixels / std::max<int64_t>(width, 1) + 1));
    Img->update();
}

// ---------------------------------------------------------------------------
// Window fitting, zoom and transparency commands

void TMainF::A_AdjWinExecute() {
    QScreen *scr = screen();
    if (scr == nullptr) return;
    const QRect desk = scr->availableGeometry();
    if (!desk.isValid()) return;
    const QRect frame = frameGeometry();
    const int room_w = desk.x() + desk.width() - frame.x() - 32;
    const int room_h = desk.y() + desk.height() - frame.y() - 32;
    const int client_w = std::max(0, std::min(Img->width(), room_w));
    const int client_h = std::max(0, std::min(Img->height(), room_h));
    // The client area lies below the menu bar.
    int bar = 0;
    if (menuBar() != nullptr && !menuBar()->isHidden()) {
        bar = menuBar()->heightForWidth(client_w);
        if (bar <= 0) bar = menuBar()->sizeHint().height();
    }
    resize(client_w, client_h + bar);
}

void TMainF::A_ZoomExecute(QAction *action) {
    if (action == nullptr) return;
    const int idx = action->property("tag").toInt();
    if (idx < 0 || idx > 11) return;
    ZoomActs[std::clamp<int>(ZoomIdx, 0, 11)]->setChecked(false);
    ZoomIdx = static_cast<int8_t>(idx);
    action->setChecked(true);
    if (CurImg != nullptr) RefreshView(kResizeView);
}

void TMainF::A_ZoomSExecute() {
    if (ZoomIdx < 1) return;
    A_ZoomExecute(ZoomActs[ZoomIdx - 1]);
}

void TMainF::A_ZoomLExecute() {
    if (ZoomIdx > 10) return;
    A_ZoomExecute(ZoomActs[ZoomIdx + 1]);
}

void TMainF::SetTransMode(int8_t mode, QAction *action) {
    TransMode = mode;
    action->setChecked(true);
    if (CurImg != nullptr) RefreshView(kRedrawOnly);
}

void TMainF::A_TransOffExecute() {
    SetTransMode(0, A_TransOff);
}
void TMainF::A_Trans0Execute() {
    SetTransMode(1, A_Trans0);
}
void TMainF::A_Trans1Execute() {
    SetTransMode(2, A_Trans1);
}
void TMainF::A_TransOnExecute() {
    SetTransMode(3, A_TransOn);
}

// ---------------------------------------------------------------------------
// Mouse positions, pixel and palette windows

int32_t TMainF::ViewToImage(int32_t v, int percent) {
    if (percent == 0) return 0;
    return static_cast<int32_t>(static_cast<int64_t>(v) * 100 / percent);
}

void TMainF::ImgMouseMove(Qt::KeyboardModifiers, int x, int y) {
    const int pct = ZoomPercent();
    LastPixX = ViewToImage(x, pct);
    LastPixY = ViewToImage(y, pct);
    // The pixel information window, when open, follows these positions.
    if (auto *win = qobject_cast<TPixF *>(PixWin)) UpdatePixInfo(win, CurImg, LastPixX, LastPixY);
}

void TMainF::A_PixInfoExecute() {
    if (PixWin != nullptr) {
        ClosePixWin();
        return;
    }
    PixWin = OpenPixWin(
        [](void *main) {
            if (main != nullptr) static_cast<TMainF *>(main)->ClosePixWin();
        },
        this, this);
    A_PixInfo->setChecked(PixWin != nullptr);
}

void TMainF::ClosePixWin() {
    if (PixWin != nullptr) {
        QWidget *win = PixWin;
        PixWin = nullptr;
        win->hide();
        // The window may be closing itself right now: release it once its
        // handler has returned.
        win->deleteLater();
    }
    A_PixInfo->setChecked(false);
}

void TMainF::A_IdxColExecute() {
    if (PalWin != nullptr) {
        ClosePalWin();
        return;
    }
    PalWin = OpenPaletteWindow(&TMainF::ClosePalWinCb, &TMainF::CurImgCb, this, this);
    A_IdxCol->setChecked(PalWin != nullptr);
}

void TMainF::ClosePalWin() {
    if (PalWin != nullptr) {
        TPalF *win = PalWin;
        PalWin = nullptr;
        win->hide();
        // The window may be closing itself right now: release it once its
        // handler has returned.
        win->deleteLater();
    }
    A_IdxCol->setChecked(false);
}

void TMainF::ClosePalWinCb(void *main) {
    if (main != nullptr) static_cast<TMainF *>(main)->ClosePalWin();
}

KvzaImage *TMainF::CurImgCb(void *main) {
    return main == nullptr ? nullptr : static_cast<TMainF *>(main)->CurImg;
}

}  // namespace kvzaedit
