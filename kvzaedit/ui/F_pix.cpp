// The pixel information window and its pictures: the two colour planes, the
// markers on them and the nine checker swatches.
#include "F_pix.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>

#include "F_main.h"
#include "msgbox.h"

namespace kvzaedit {

namespace {

constexpr int kClientWidth = 218;
constexpr int kClientHeight = 173;
constexpr int kPlaneLeft = 112;
constexpr int kPlaneTop = 120;
constexpr int kPlaneWidth = 96;
constexpr int kPlaneHeight = 48;
constexpr uint32_t kSilver = 0xC0C0C0;

// The integer part (toward zero) of v as a 32-bit integer. Values that are
// not numbers give 0; values beyond the 32-bit range are held at its ends.
int32_t TruncInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(std::trunc(v));
}

QRgb ToQRgb(uint32_t colour) {
    return qRgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

QString Formatted(const char *format, double value, int32_t n) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, value, static_cast<int>(n));
    return QString::fromLatin1(buf);
}

QString Formatted(const char *format, double value) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, value);
    return QString::fromLatin1(buf);
}

// A float colour channel of the plane pictures as a byte: v x 255 truncated.
int PlaneByte(float v) {
    const int32_t n = TruncInt(static_cast<double>(v) * 255.0);
    return n < 0 ? 0 : (n > 255 ? 255 : n);
}

QRgb PlaneColour(float c, float s, float w) {
    const KvzaPixel kvz{c, s, w, 1.0f};
    KvzaPixel rgb = kvz;
    kvza_kvz2rgb(&rgb, &kvz);
    kvza_cliprgba(&rgb, &rgb);
    return qRgb(PlaneByte(rgb.c), PlaneByte(rgb.s), PlaneByte(rgb.w));
}

QLabel *MakeLabel(QWidget *parent, const char *name, int x, int y, int w, int h,
                  const QString &text, const QFont &font) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(x, y, w, h);
    label->setFont(font);
    return label;
}

TPixImage *MakeImage(QWidget *parent, const char *name, int x, int y, int w, int h) {
    auto *image = new TPixImage(parent);
    image->setObjectName(QString::fromLatin1(name));
    image->setGeometry(x, y, w, h);
    return image;
}

}  // namespace

// ---------------------------------------------------------------------------
// Pictures

TPixImage::TPixImage(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void TPixImage::paintEvent(QPaintEvent *) {
    if (Bitmap.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, Bitmap);
}

TPixMarker::TPixMarker(QWidget *parent) : QWidget(parent) {
    setFixedSize(5, 5);
}

void TPixMarker::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 4.0, 4.0), 1.5, 1.5);
}

void DrawCheckerSwatch(TPixImage &swatch, uint32_t first, uint32_t second) {
    const int w = swatch.width();
    const int h = swatch.height();
    QImage bitmap(w > 0 ? w : 1, h > 0 ? h : 1, QImage::Format_Mono);
    if (!bitmap.isNull()) {
        bitmap.setColorTable({ToQRgb(first), ToQRgb(second)});
        const qsizetype row_bytes = bitmap.bytesPerLine();
        for (int y = 0; y < bitmap.height(); ++y) {
            // Bits are taken from the top bit down: 0xCC gives two pixels of
            // entry 1, then two of entry 0.
            const uint8_t fill = (y & 2) == 0 ? 0xCC : 0x33;
            uint8_t *row = bitmap.scanLine(y);
            for (qsizetype k = 0; k < row_bytes; ++k) row[k] = fill;
        }
    }
    swatch.Bitmap = bitmap;
    swatch.update();
}

uint32_t BlendOverColour(const KvzaPixel &rgb, uint32_t base, float alpha) {
    KvzaPixel clipped = rgb;
    kvza_cliprgba(&clipped, &rgb);
    const float v[3] = {clipped.c, clipped.s, clipped.w};
    uint32_t out = 0;
    for (int k = 0; k < 3; ++k) {
        const int32_t b = static_cast<int32_t>((base >> (8 * k)) & 0xFF);
        const double mixed = (static_cast<double>(v[k]) * 255.0 - b) * static_cast<double>(alpha);
        int64_t channel = static_cast<int64_t>(b) + TruncInt(mixed);
        // An alpha outside 0..1 could carry a channel past its byte into its
        // neighbour; each channel is held to 0..255 instead.
        if (channel < 0) channel = 0;
        if (channel > 255) channel = 255;
        out |= static_cast<uint32_t>(channel) << (8 * k);
    }
    return out;
}

QString WrapModeCaption(uint8_t mode) {
    switch (mode) {
        case 0:
            return QStringLiteral("(Clamp)");
        case 1:
            return QStringLiteral("(Wrap)");
        case 2:
            return QStringLiteral("(Mirror)");
        case 3:
            return QStringLiteral("(Border)");
        default:
            return QStringLiteral("(unknown)");
    }
}

// ---------------------------------------------------------------------------
// The window

TPixF::TPixF(PixCloseFn closing, void *main, QWidget *owner)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      closing_(closing),
      main_(main) {
    RegisterFontSubstitutes();
    setObjectName(QStringLiteral("TPixF"));
    setWindowTitle(QStringLiteral("Pixel Info"));
    setFixedSize(kClientWidth, kClientHeight);

    QFont fixed(QStringLiteral("Courier New"));
    fixed.setPixelSize(13);
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    QFont proportional(QStringLiteral("ＭＳ Ｐゴシック"));
    proportional.setPixelSize(12);

    L_LocX = MakeLabel(this, "L_LocX", 8, 8, 113, 17, QStringLiteral("X:     /"), fixed);
    L_LocY = MakeLabel(this, "L_LocY", 8, 24, 113, 17, QStringLiteral("Y:     /"), fixed);
    L_WMode = MakeLabel(this, "L_WMode", 136, 8, 73, 17, QString(), proportional);
    L_HMode = MakeLabel(this, "L_HMode", 136, 24, 73, 17, QString(), proportional);
    L_ColR = MakeLabel(this, "L_ColR", 8, 48, 129, 17, QStringLiteral("R:         (   )"), fixed);
    L_ColG = MakeLabel(this, "L_ColG", 8, 64, 129, 17, QStringLiteral("G:         (   )"), fixed);
    L_ColB = MakeLabel(this, "L_ColB", 8, 80, 129, 17, QStringLiteral("B:         (   )"), fixed);
    L_ColA = MakeLabel(this, "L_ColA", 8, 96, 129, 17, QStringLiteral("A:         (   )"), fixed);
    L_ColC = MakeLabel(this, "L_ColC", 8, 120, 97, 17, QStringLiteral("C:"), fixed);
    L_ColS = MakeLabel(this, "L_ColS", 8, 136, 97, 17, QStringLiteral("S:"), fixed);
    L_ColW = MakeLabel(this, "L_ColW", 8, 152, 97, 17, QStringLiteral("W:"), fixed);

    ImgKVZ = MakeImage(this, "ImgKVZ", kPlaneLeft, kPlaneTop, kPlaneWidth, kPlaneHeight);
    CSLoc = new TPixMarker(this);
    CSLoc->setObjectName(QStringLiteral("CSLoc"));
    CSLoc->move(142, 142);
    WVLoc = new TPixMarker(this);
    WVLoc->setObjectName(QStringLiteral("WVLoc"));
    WVLoc->move(174, 142);

    L_Back = new QLabel(this);
    L_Back->setObjectName(QStringLiteral("L_Back"));
    L_Back->setGeometry(144, 48, 68, 68);
    L_Back->setAutoFillBackground(true);

    ColLU = MakeImage(this, "ColLU", 152, 56, 12, 12);
    ColU = MakeImage(this, "ColU", 166, 56, 24, 12);
    ColRU = MakeImage(this, "ColRU", 192, 56, 12, 12);
    ColL = MakeImage(this, "ColL", 152, 70, 12, 24);
    ColC = MakeImage(this, "ColC", 166, 70, 24, 24);
    ColR = MakeImage(this, "ColR", 192, 70, 12, 24);
    ColLD = MakeImage(this, "ColLD", 152, 96, 12, 12);
    ColD = MakeImage(this, "ColD", 166, 96, 24, 12);
    ColRD = MakeImage(this, "ColRD", 192, 96, 12, 12);

    FormCreate();
}

TPixF::~TPixF() = default;

void TPixF::FormCreate() {
    QImage plane(kPlaneWidth, kPlaneHeight, QImage::Format_RGB888);
    plane.fill(QApplication::palette().color(QPalette::Button));
    for (int i = 0; i <= 40; ++i) {
        for (int j = 0; j <= 40; ++j) {
            // c, s and their squared length are kept in single precision.
            const float c = static_cast<float>((j - 20) * 0.05);
            const float s = static_cast<float>((i - 20) * 0.05);
            const float q =
                static_cast<float>(static_cast<double>(c) * c + static_cast<double>(s) * s);
            if (q > 1.0f) continue;
            const float r = std::sqrt(q);
            // Hue plane at mid whiteness.
            plane.setPixel(j + 12, 44 - i, PlaneColour(c, s, 0.0f));
            // Chroma to the right, whiteness upward.
            if (j >= 20) {
                const float w = s;
                plane.setPixel(j + 44, 44 - i, PlaneColour((1.0f - std::fabs(w)) * r, 0.0f, w));
            }
        }
    }
    ImgKVZ->Bitmap = plane;
    ImgKVZ->update();
    for (TPixImage *swatch : {ColLU, ColU, ColRU, ColL, ColC, ColR, ColLD, ColD, ColRD})
        DrawCheckerSwatch(*swatch, 0x000000, kSilver);
}

// The window's own close box: hidden, then released by the main window
// through the callback.
void TPixF::closeEvent(QCloseEvent *event) {
    event->accept();
    hide();
    if (closing_ != nullptr) closing_(main_);
}

void UpdatePixInfo(TPixF *win, KvzaImage *image, int32_t x, int32_t y) {
    if (win == nullptr || image == nullptr) return;

    win->L_LocX->setText(QString::asprintf("X:%5d/%5d", x, image->width));
    win->L_LocY->setText(QString::asprintf("Y:%5d/%5d", y, image->height));
    win->L_WMode->setText(WrapModeCaption(image->wrapx));
    win->L_HMode->setText(WrapModeCaption(image->wrapy));

    const KvzaPixel *found = kvza_getpixptr(image, x, y);
    if (found == nullptr) return;
    const KvzaPixel p = *found;
    KvzaPixel rgb = p;
    kvza_kvz2rgb(&rgb, &p);
    const auto rounded = [](float v) { return TruncInt(static_cast<double>(v) * 255.0 + 0.5); };
    win->L_ColR->setText(Formatted("R:%9.6f(%3d)", rgb.c, rounded(rgb.c)));
    win->L_ColG->setText(Formatted("G:%9.6f(%3d)", rgb.s, rounded(rgb.s)));
    win->L_ColB->setText(Formatted("B:%9.6f(%3d)", rgb.w, rounded(rgb.w)));
    win->L_ColA->setText(Formatted("A:%9.6f(%3d)", p.a, rounded(p.a)));
    win->L_ColC->setText(Formatted("C:%9.6f", p.c));
    win->L_ColS->setText(Formatted("S:%9.6f", p.s));
    win->L_ColW->setText(Formatted("W:%9.6f", p.w));

    // Markers, 20 bitmap pixels per unit, centred on the plane positions.
    const int plane_x = win->ImgKVZ->x();
    const int plane_y = win->ImgKVZ->y();
    const double chroma =
        std::sqrt(static_cast<double>(p.c) * p.c + static_cast<double>(p.s) * p.s);
    const auto offset = [](double v) {
        // Held to a range that keeps the marker's position arithmetic sound.
        const int32_t n = TruncInt(v * 20.0);
        return n < -100000 ? -100000 : (n > 100000 ? 100000 : n);
    };
    win->CSLoc->move(plane_x + 30 + offset(p.c), plane_y + 22 - offset(p.s));
    win->WVLoc->move(plane_x + 62 + offset(chroma), plane_y + 22 - offset(p.w));

    // Background and its contrast colour behind the swatches.
    const uint32_t back = static_cast<uint32_t>(image->viewinfo[0]) |
                          static_cast<uint32_t>(image->viewinfo[1]) << 8 |
                          static_cast<uint32_t>(image->viewinfo[2]) << 16;
    const uint32_t contrast = back ^ 0x404040;
    win->back_colour_ = back;
    QPalette pal = win->L_Back->palette();
    pal.setColor(QPalette::Window, QColor(ToQRgb(back)));
    win->L_Back->setPalette(pal);

    TPixImage *const swatches[9] = {win->ColLU, win->ColU,  win->ColRU, win->ColL, win->ColC,
                                    win->ColR,  win->ColLD, win->ColD,  win->ColRD};
    int k = 0;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx, ++k) {
            // Positions wrap around the 32-bit range as the pixel access
            // would see them; the wrap modes then resolve them.
            const int32_t nx =
                static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(dx));
            const int32_t ny =
                static_cast<int32_t>(static_cast<uint32_t>(y) + static_cast<uint32_t>(dy));
            const KvzaPixel *q = kvza_getpixptr(image, nx, ny);
            if (q == nullptr) continue;
            KvzaPixel q_rgb = *q;
            kvza_kvz2rgb(&q_rgb, q);
            const uint32_t first = BlendOverColour(q_rgb, contrast, q->a);
            const uint32_t second = BlendOverColour(q_rgb, back, q->a);
            DrawCheckerSwatch(*swatches[k], first, second);
        }
    }
}

TPixF *OpenPixWin(PixCloseFn closing, void *main, QWidget *owner) {
    TPixF *window = nullptr;
    try {
        window = new TPixF(closing, main, owner);
    } catch (const std::bad_alloc &) {
        ErrorBox(QStringLiteral("out of memory"));
        return nullptr;
    }
    window->show();
    if (owner != nullptr) {
        const QRect area = owner->window()->frameGeometry();
        const QSize size = window->frameGeometry().size();
        window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    return window;
}

}  // namespace kvzaedit
