// The palette window and its painted 16 x 16 grid.
#include "F_pal.h"

#include <QCloseEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <new>

#include "msgbox.h"

namespace kvzaedit {

namespace {

constexpr int kClientWidth = 226;
constexpr int kClientHeight = 281;
constexpr int kGridSize = 211;
constexpr int kPitch = TPalGrid::kCellSize + TPalGrid::kLineWidth;
const QRgb kGridLine = qRgb(192, 192, 192);

// A float of 0..1 as a byte, rounded.
int RoundByte(float value) {
    return static_cast<int>(static_cast<double>(value) * 255.0 + 0.5);
}

// base + alpha x (colour - base) / 255, product first, quotient toward zero.
int Blend(int base, int colour, int alpha) {
    return base + alpha * (colour - base) / 255;
}

}  // namespace

void PalDrawCell(QImage &canvas, const KvzaImage *image, int col, int row, const QRect &cell,
                 bool selected) {
    int colour[3] = {0, 0, 0};
    int alpha = 0;
    int base1[3] = {0, 0, 0};
    int base2[3] = {64, 64, 64};
    if (image != nullptr && col >= 0 && col < TPalGrid::kCells && row >= 0 &&
        row < TPalGrid::kCells) {
        const KvzaPixel &entry = image->palette[row * TPalGrid::kCells + col];
        KvzaPixel rgba = entry;  // the conversion keeps the fourth float: alpha
        kvza_kvz2rgb(&rgba, &entry);
        kvza_cliprgba(&rgba, &rgba);
        colour[0] = RoundByte(rgba.c);
        colour[1] = RoundByte(rgba.s);
        colour[2] = RoundByte(rgba.w);
        alpha = RoundByte(rgba.a);
        for (int k = 0; k < 3; ++k) {
            base1[k] = image->viewinfo[k];
            base2[k] = base1[k] ^ 64;
        }
    }

    const int left = cell.left();
    const int top = cell.top();
    const int right = cell.left() + cell.width();
    const int bottom = cell.top() + cell.height();
    const auto inside = [&canvas](int x, int y) {
        return x >= 0 && y >= 0 && x < canvas.width() && y < canvas.height();
    };

    // Checkerboard of 2 x 2 squares aligned to the canvas, the colour over it.
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (!inside(x, y)) continue;
            const int *base = (x & 2) == (y & 2) ? base1 : base2;
            canvas.setPixel(x, y,
                            qRgb(Blend(base[0], colour[0], alpha), Blend(base[1], colour[1], alpha),
                                 Blend(base[2], colour[2], alpha)));
        }
    }
    if (!selected) return;

    // Frame of the selected cell: the colour over base1, inverted in the top
    // bit; a two-pixel band on the inner edge of the cell (a pen of width 2
    // around (left + 1, top + 1) .. (right, bottom)).
    const QRgb frame =
        qRgb(Blend(base1[0], colour[0], alpha) ^ 128, Blend(base1[1], colour[1], alpha) ^ 128,
             Blend(base1[2], colour[2], alpha) ^ 128);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            const bool band = x < left + 2 || x >= right - 2 || y < top + 2 || y >= bottom - 2;
            if (band && inside(x, y)) canvas.setPixel(x, y, frame);
        }
    }
}

// ---- the grid ----

TPalGrid::TPalGrid(PalImageFn getter, void *main, QWidget *parent)
    : QWidget(parent), getter_(getter), main_(main) {
    setObjectName(QStringLiteral("Pal"));
    setFixedSize(kGridSize, kGridSize);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect TPalGrid::CellRect(int col, int row) {
    return QRect(col * kPitch, row * kPitch, kCellSize, kCellSize);
}

void TPalGrid::setCurrent(int col, int row) {
    if (col < 0 || col >= kCells || row < 0 || row >= kCells) return;
    if (col == col_ && row == row_) return;
    col_ = col;
    row_ = row;
    update();
}

QImage TPalGrid::Render() const {
    QImage canvas(kGridSize, kGridSize, QImage::Format_RGB32);
    canvas.fill(qRgb(0, 0, 0));
    // One-pixel lines right of and below every cell.
    for (int i = 0; i < kCells; ++i) {
        const int line = i * kPitch + kCellSize;
        for (int k = 0; k < kCells * kPitch; ++k) {
            canvas.setPixel(line, k, kGridLine);
            canvas.setPixel(k, line, kGridLine);
        }
    }
    const KvzaImage *image = getter_ != nullptr ? getter_(main_) : nullptr;
    for (int row = 0; row < kCells; ++row) {
        for (int col = 0; col < kCells; ++col) {
            PalDrawCell(canvas, image, col, row, CellRect(col, row), col == col_ && row == row_);
        }
    }
    return canvas;
}

void TPalGrid::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.drawImage(0, 0, Render());
}

void TPalGrid::mousePressEvent(QMouseEvent *event) {
    const QPoint pos = event->position().toPoint();
    if (pos.x() < 0 || pos.y() < 0) return;
    const int col = pos.x() / kPitch;
    const int row = pos.y() / kPitch;
    if (col < kCells && row < kCells) setCurrent(col, row);
    setFocus(Qt::MouseFocusReason);
}

void TPalGrid::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
        case Qt::Key_Left:
            setCurrent(col_ - 1, row_);
            break;
        case Qt::Key_Right:
            setCurrent(col_ + 1, row_);
            break;
        case Qt::Key_Up:
            setCurrent(col_, row_ - 1);
            break;
        case Qt::Key_Down:
            setCurrent(col_, row_ + 1);
            break;
        case Qt::Key_Home:
            setCurrent(0, row_);
            break;
        case Qt::Key_End:
            setCurrent(kCells - 1, row_);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

// ---- the window ----

TPalF::TPalF(PalCloseFn closing, PalImageFn getter, void *main, QWidget *owner)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      closing_(closing),
      getter_(getter),
      main_(main) {
    setObjectName(QStringLiteral("TPalF"));
    setWindowTitle(QStringLiteral("Palette"));
    setFixedSize(kClientWidth, kClientHeight);
    Pal = new TPalGrid(getter_, main_, this);
    Pal->move(8, 8);
}

TPalF::~TPalF() = default;

void TPalF::RedrawGrid() {
    Pal->update();
}

// The window's own close box: the main window releases it through the
// callback (deleting the window from here is safe).
void TPalF::closeEvent(QCloseEvent *event) {
    event->accept();
    if (closing_ != nullptr) closing_(main_);
}

TPalF *OpenPaletteWindow(PalCloseFn closing, PalImageFn getter, void *main, QWidget *owner) {
    TPalF *window = nullptr;
    try {
        window = new TPalF(closing, getter, main, owner);
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
