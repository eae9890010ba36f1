// The pixel information window: label texts, wrap-mode captions, the
// colour-plane picture and its markers, the checker swatches and their
// blend, and the main window's glue (A_PixInfo, mouse moves, closing).
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QtTest>
#include <cmath>
#include <limits>

#include "F_main.h"
#include "F_pix.h"
#include "main_fixture.h"

using kvzaedit::BlendOverColour;
using kvzaedit::DrawCheckerSwatch;
using kvzaedit::TMainF;
using kvzaedit::TPixF;
using kvzaedit::TPixImage;
using kvzaedit::UpdatePixInfo;
using maintest::At;

namespace {

struct FakeMain {
    int closes = 0;
};

void OnClose(void *main) {
    ++static_cast<FakeMain *>(main)->closes;
}

// 24-bit colour, red in the low byte.
constexpr uint32_t Col(int r, int g, int b) {
    return static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 |
           static_cast<uint32_t>(b) << 16;
}

QRgb ToRgb(uint32_t c) {
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// In a checker of 2 x 2 cells whose top-left cell is the second colour,
// pixel (x, y) shows the second colour when its cell column and cell row
// have the same parity.
bool IsSecondCell(int x, int y) {
    return ((x / 2) % 2) == ((y / 2) % 2);
}

// Every pixel of the swatch is the expected checker of first and second.
bool CheckerIs(const TPixImage *swatch, uint32_t first, uint32_t second, QString *why) {
    const QImage img = swatch->Bitmap.convertToFormat(QImage::Format_RGB32);
    if (img.size() != swatch->size()) {
        *why = QStringLiteral("%1: bitmap %2x%3, control %4x%5")
                   .arg(swatch->objectName())
                   .arg(img.width())
                   .arg(img.height())
                   .arg(swatch->width())
                   .arg(swatch->height());
        return false;
    }
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb want = ToRgb(IsSecondCell(x, y) ? second : first);
            if (img.pixel(x, y) != want) {
                *why = QStringLiteral("%1 pixel %2,%3: got %4 want %5")
                           .arg(swatch->objectName())
                           .arg(x)
                           .arg(y)
                           .arg(img.pixel(x, y) & 0xFFFFFF, 6, 16)
                           .arg(want & 0xFFFFFF, 6, 16);
                return false;
            }
        }
    }
    return true;
}

#define CHECKER(swatch, first, second)                                       \
    do {                                                                     \
        QString why_;                                                        \
        QVERIFY2(CheckerIs(swatch, first, second, &why_), qPrintable(why_)); \
    } while (0)

QList<TPixImage *> Swatches(TPixF &win) {
    return {win.ColLU, win.ColU,  win.ColRU, win.ColL, win.ColC,
            win.ColR,  win.ColLD, win.ColD,  win.ColRD};
}

// Exact KVZ colours: red, black, white and grey 0.5.
const KvzaPixel kRed{1.0f, 0.0f, 0.0f, 1.0f};
KvzaPixel Grey(float w, float a) {
    return KvzaPixel{0.0f, 0.0f, w, a};
}

// An image whose every pixel is fill, background colour (r, g, b).
maintest::ImagePtr Filled(int w, int h, KvzaPixel fill, int r, int g, int b) {
    maintest::ImagePtr img(maintest::MakeImage(w, h, [&](int, int) { return fill; }));
    img->viewinfo[0] = static_cast<uint8_t>(r);
    img->viewinfo[1] = static_cast<uint8_t>(g);
    img->viewinfo[2] = static_cast<uint8_t>(b);
    return img;
}

// b + trunc((v - b) x a) for bytes v of the exact colours used here.
int Mix(int v, int b, double a) {
    return b + static_cast<int>(std::trunc((v - b) * a));
}

}  // namespace

class PixInfoTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        messages.clear();
        kvzaedit::SetMessageHook([this](const QString &kind, const QString &text) {
            messages << kind + ":" + text;
            return QMessageBox::Ok;
        });
    }
    void cleanup() { kvzaedit::SetMessageHook(nullptr); }

    // ---- creation ----

    void controlsAndInitialCaptions() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        QCOMPARE(win.windowTitle(), QStringLiteral("Pixel Info"));
        QCOMPARE(win.size(), QSize(218, 173));
        QCOMPARE(win.L_LocX->text(), QStringLiteral("X:     /"));
        QCOMPARE(win.L_LocY->text(), QStringLiteral("Y:     /"));
        QCOMPARE(win.L_WMode->text(), QString());
        QCOMPARE(win.L_HMode->text(), QString());
        QCOMPARE(win.L_ColR->text(), QStringLiteral("R:         (   )"));
        QCOMPARE(win.L_ColA->text(), QStringLiteral("A:         (   )"));
        QCOMPARE(win.L_ColC->text(), QStringLiteral("C:"));
        QCOMPARE(win.L_ColW->text(), QStringLiteral("W:"));
        // Controls are found by their names, at their places.
        QCOMPARE(win.findChild<QLabel *>(QStringLiteral("L_ColG"))->geometry(),
                 QRect(8, 64, 129, 17));
        QCOMPARE(win.findChild<TPixImage *>(QStringLiteral("ColC"))->geometry(),
                 QRect(166, 70, 24, 24));
        QCOMPARE(win.findChild<TPixImage *>(QStringLiteral("ColRD"))->geometry(),
                 QRect(192, 96, 12, 12));
        QCOMPARE(win.findChild<TPixImage *>(QStringLiteral("ImgKVZ"))->geometry(),
                 QRect(112, 120, 96, 48));
        QCOMPARE(win.findChild<QWidget *>(QStringLiteral("CSLoc"))->geometry(),
                 QRect(142, 142, 5, 5));
        QCOMPARE(win.findChild<QWidget *>(QStringLiteral("WVLoc"))->geometry(),
                 QRect(174, 142, 5, 5));
        QCOMPARE(win.findChild<QLabel *>(QStringLiteral("L_Back"))->geometry(),
                 QRect(144, 48, 68, 68));
        QVERIFY(win.L_ColR->font().fixedPitch());
    }

    void swatchesStartBlackAndSilver() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        for (TPixImage *swatch : Swatches(win)) {
            QCOMPARE(swatch->Bitmap.format(), QImage::Format_Mono);
            QCOMPARE(swatch->Bitmap.colorCount(), 2);
            CHECKER(swatch, Col(0, 0, 0), Col(0xC0, 0xC0, 0xC0));
        }
    }

    void colourPlanes() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        const QImage &plane = win.ImgKVZ->Bitmap;
        QCOMPARE(plane.size(), QSize(96, 48));
        const QRgb face = QApplication::palette().color(QPalette::Button).rgb();
        // Left disc: centre is grey 0.5 (127 after truncation), c = 1 at the
        // right edge is pure red, s = 1 at the top is hue 90 degrees
        // (R = 0.5, G = 1, B = 0).
        QCOMPARE(plane.pixel(32, 24), qRgb(127, 127, 127));
        QCOMPARE(plane.pixel(52, 24), qRgb(255, 0, 0));
        QCOMPARE(plane.pixel(32, 4), qRgb(127, 255, 0));
        QCOMPARE(plane.pixel(12, 24), qRgb(0, 255, 255));  // c = -1: cyan
        // Right half-disc: chroma to the right, whiteness upward.
        QCOMPARE(plane.pixel(64, 24), qRgb(127, 127, 127));
        QCOMPARE(plane.pixel(84, 24), qRgb(255, 0, 0));
        QCOMPARE(plane.pixel(64, 4), qRgb(255, 255, 255));
        QCOMPARE(plane.pixel(64, 44), qRgb(0, 0, 0));
        // Outside the discs, and left of the half-disc: the button face.
        QCOMPARE(plane.pixel(0, 0), face);
        QCOMPARE(plane.pixel(12, 44), face);  // c = s = -1, q = 2: skipped
        QCOMPARE(plane.pixel(60, 24), face);
        QCOMPARE(plane.pixel(95, 47), face);
    }

    // ---- labels ----

    void labelFormatsForExactColours() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        auto img = Filled(4, 3, Grey(0.0f, 0.25f), 0, 0, 0);
        At(img.get(), 1, 2) = kRed;
        UpdatePixInfo(&win, img.get(), 1, 2);
        QCOMPARE(win.L_LocX->text(), QStringLiteral("X:    1/    4"));
        QCOMPARE(win.L_LocY->text(), QStringLiteral("Y:    2/    3"));
        QCOMPARE(win.L_ColR->text(), QStringLiteral("R: 1.000000(255)"));
        QCOMPARE(win.L_ColG->text(), QStringLiteral("G: 0.000000(  0)"));
        QCOMPARE(win.L_ColB->text(), QStringLiteral("B: 0.000000(  0)"));
        QCOMPARE(win.L_ColA->text(), QStringLiteral("A: 1.000000(255)"));
        QCOMPARE(win.L_ColC->text(), QStringLiteral("C: 1.000000"));
        QCOMPARE(win.L_ColS->text(), QStringLiteral("S: 0.000000"));
        QCOMPARE(win.L_ColW->text(), QStringLiteral("W: 0.000000"));

        // Grey 0.5 shows 0.500000 and 128 (rounded); alpha 0.25 gives 64.
        UpdatePixInfo(&win, img.get(), 0, 0);
        QCOMPARE(win.L_ColR->text(), QStringLiteral("R: 0.500000(128)"));
        QCOMPARE(win.L_ColG->text(), QStringLiteral("G: 0.500000(128)"));
        QCOMPARE(win.L_ColA->text(), QStringLiteral("A: 0.250000( 64)"));
    }

    void rawComponentsAndUnclippedRgb() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        // Whiteness 2 is outside the model: R = G = B = 1.5, shown unclipped.
        auto img = Filled(2, 2, KvzaPixel{0.0f, 0.0f, 2.0f, 0.5f}, 0, 0, 0);
        At(img.get(), 1, 1) = KvzaPixel{-0.5f, 0.25f, -0.75f, 1.0f};
        UpdatePixInfo(&win, img.get(), 0, 0);
        QCOMPARE(win.L_ColR->text(), QStringLiteral("R: 1.500000(383)"));
        QCOMPARE(win.L_ColA->text(), QStringLiteral("A: 0.500000(128)"));
        UpdatePixInfo(&win, img.get(), 1, 1);
        QCOMPARE(win.L_ColC->text(), QStringLiteral("C:-0.500000"));
        QCOMPARE(win.L_ColS->text(), QStringLiteral("S: 0.250000"));
        QCOMPARE(win.L_ColW->text(), QStringLiteral("W:-0.750000"));
    }

    void positionOutsideUnderClamp() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        auto img = Filled(4, 2, Grey(0.0f, 1.0f), 0, 0, 0);
        At(img.get(), 3, 1) = kRed;  // the right edge pixel of row 1
        img->wrapx = 0;
        img->wrapy = 1;
        UpdatePixInfo(&win, img.get(), 4, 1);
        QCOMPARE(win.L_LocX->text(), QStringLiteral("X:    4/    4"));
        QCOMPARE(win.L_WMode->text(), QStringLiteral("(Clamp)"));
        QCOMPARE(win.L_HMode->text(), QStringLiteral("(Wrap)"));
        QCOMPARE(win.L_ColR->text(), QStringLiteral("R: 1.000000(255)"));
        QCOMPARE(win.L_ColG->text(), QStringLiteral("G: 0.000000(  0)"));
        // Negative positions are shown as passed.
        UpdatePixInfo(&win, img.get(), -12, -3);
        QCOMPARE(win.L_LocX->text(), QStringLiteral("X:  -12/    4"));
        QCOMPARE(win.L_LocY->text(), QStringLiteral("Y:   -3/    2"));
    }

    void wrapModeCaptions() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        auto img = Filled(2, 2, Grey(0.0f, 1.0f), 0, 0, 0);
        const struct {
            uint8_t mode;
            const char *text;
        } cases[] = {{0, "(Clamp)"},   {1, "(Wrap)"},    {2, "(Mirror)"},   {3, "(Border)"},
                     {4, "(unknown)"}, {7, "(unknown)"}, {255, "(unknown)"}};
        for (const auto &c : cases) {
            img->wrapx = c.mode;
            img->wrapy = c.mode;
            UpdatePixInfo(&win, img.get(), 0, 0);
            QCOMPARE(win.L_WMode->text(), QString::fromLatin1(c.text));
            QCOMPARE(win.L_HMode->text(), QString::fromLatin1(c.text));
        }
    }

    void borderModeShowsBorderColour() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        auto img = Filled(2, 2, Grey(0.0f, 1.0f), 0, 0, 0);
        img->wrapx = 3;
        img->border = KvzaPixel{0.0f, 0.0f, -1.0f, 0.0f};  // transparent black
        UpdatePixInfo(&win, img.get(), -1, 0);
        QCOMPARE(win.L_ColR->text(), QStringLiteral("R: 0.000000(  0)"));
        QCOMPARE(win.L_ColA->text(), QStringLiteral("A: 0.000000(  0)"));
        QCOMPARE(win.L_ColW->text(), QStringLiteral("W:-1.000000"));
    }

    void noImageChangesNothing() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        auto img = Filled(3, 3, kRed, 0, 0, 0);
        UpdatePixInfo(&win, img.get(), 1, 1);
        UpdatePixInfo(&win, nullptr, 2, 2);
        QCOMPARE(win.L_LocX->text(), QStringLiteral("X:    1/    3"));
        QCOMPARE(win.L_ColR->text(), QStringLiteral("R: 1.000000(255)"));
        UpdatePixInfo(nullptr, img.get(), 1, 1);  // no window: nothing to do
    }

    // ---- markers ----

    void markersFollowThePlanes() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        auto img = Filled(1, 1, KvzaPixel{0.5f, -0.25f, 0.3f, 1.0f}, 0, 0, 0);
        UpdatePixInfo(&win, img.get(), 0, 0);
        // c x 20 = 10, s x 20 = -5; chroma 0.559 x 20 = 11.18; w x 20 = 6.
        QCOMPARE(win.CSLoc->pos(), QPoint(112 + 30 + 10, 120 + 22 + 5));
        QCOMPARE(win.WVLoc->pos(), QPoint(112 + 62 + 11, 120 + 22 - 6));

        // Offsets are truncated toward zero: -0.6 and -0.9 give 0, not -1.
        At(img.get(), 0, 0) = KvzaPixel{-0.03f, 0.045f, -0.045f, 1.0f};
        UpdatePixInfo(&win, img.get(), 0, 0);
        QCOMPARE(win.CSLoc->pos(), QPoint(142, 142));
        QCOMPARE(win.WVLoc->pos(), QPoint(175, 142));  // chroma 0.0541 x 20 = 1.08

        // Grey: both markers at the plane centres.
        At(img.get(), 0, 0) = Grey(-1.0f, 1.0f);
        UpdatePixInfo(&win, img.get(), 0, 0);
        QCOMPARE(win.CSLoc->pos(), QPoint(142, 142));
        QCOMPARE(win.WVLoc->pos(), QPoint(174, 162));
    }

    void hugeAndNanValuesStaySound() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float big = 3.0e38f;
        auto img = Filled(2, 2, KvzaPixel{big, -big, nan, nan}, 0, 0, 0);
        UpdatePixInfo(&win, img.get(), std::numeric_limits<int32_t>::max(),
                      std::numeric_limits<int32_t>::min());
        QVERIFY(win.L_ColA->text().startsWith(QStringLiteral("A:")));
        QVERIFY(win.L_ColC->text().startsWith(QStringLiteral("C:")));
        QCOMPARE(win.L_LocX->text(), QStringLiteral("X:2147483647/    2"));
    }

    // ---- swatches ----

    void drawCheckerSwatchPattern() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        DrawCheckerSwatch(*win.ColU, Col(1, 2, 3), Col(200, 100, 50));
        CHECKER(win.ColU, Col(1, 2, 3), Col(200, 100, 50));
        // Rows 0, 1: two of the second colour, two of the first, ...
        const QImage img = win.ColU->Bitmap.convertToFormat(QImage::Format_RGB32);
        QCOMPARE(img.pixel(0, 0), qRgb(200, 100, 50));
        QCOMPARE(img.pixel(1, 1), qRgb(200, 100, 50));
        QCOMPARE(img.pixel(2, 0), qRgb(1, 2, 3));
        QCOMPARE(img.pixel(0, 2), qRgb(1, 2, 3));
        QCOMPARE(img.pixel(2, 3), qRgb(200, 100, 50));
        QCOMPARE(img.pixel(23, 11), qRgb(200, 100, 50));  // cell (11, 5): same parity
        QCOMPARE(img.pixel(21, 11), qRgb(1, 2, 3));
    }

    void blendOverColour() {
        const uint32_t back = Col(10, 200, 30);
        const KvzaPixel red{1.0f, 0.0f, 0.0f, 0.0f};  // as RGB
        QCOMPARE(BlendOverColour(red, back, 0.0f), back);
        QCOMPARE(BlendOverColour(red, back, 1.0f), Col(255, 0, 0));
        // 10 + trunc(245 x 0.5) = 132; 200 + trunc(-100) = 100; 30 - 15 = 15.
        QCOMPARE(BlendOverColour(red, back, 0.5f), Col(132, 100, 15));
        // Toward zero for negative steps: 200 + trunc(-200 x 0.3) = 140,
        // 30 + trunc(-9) = 21; 10 + trunc(73.5) = 83.
        QCOMPARE(BlendOverColour(red, back, 0.3f), Col(83, 140, 21));
        // RGB is clipped first: 2 counts as 1, -1 as 0.
        const KvzaPixel wild{2.0f, -1.0f, 0.5f, 0.0f};
        QCOMPARE(BlendOverColour(wild, Col(0, 0, 0), 1.0f), Col(255, 0, 127));
    }

    void swatchesShowTransparencyAndNeighbours() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        const int br = 10, bg = 200, bb = 30;
        const uint32_t back = Col(br, bg, bb);
        const uint32_t contrast = Col(br ^ 64, bg ^ 64, bb ^ 64);
        // 3 x 3: red at varied alpha, black and white; centre transparent.
        auto img = Filled(3, 3, kRed, br, bg, bb);
        At(img.get(), 0, 0) = KvzaPixel{1.0f, 0.0f, 0.0f, 0.5f};
        At(img.get(), 1, 0) = Grey(-1.0f, 1.0f);
        At(img.get(), 2, 0) = Grey(1.0f, 1.0f);
        At(img.get(), 0, 1) = Grey(1.0f, 0.5f);
        At(img.get(), 1, 1) = Grey(1.0f, 0.0f);
        At(img.get(), 2, 1) = KvzaPixel{1.0f, 0.0f, 0.0f, 0.25f};
        At(img.get(), 0, 2) = Grey(-1.0f, 0.5f);
        At(img.get(), 1, 2) = kRed;
        At(img.get(), 2, 2) = KvzaPixel{1.0f, 0.0f, 0.0f, 0.75f};
        UpdatePixInfo(&win, img.get(), 1, 1);

        QCOMPARE(win.BackColour(), back);
        QCOMPARE(win.L_Back->palette().color(QPalette::Window), QColor(br, bg, bb));

        // Transparent centre: a checker of the background and its contrast.
        CHECKER(win.ColC, contrast, back);
        // Opaque pixels: plain colours.
        CHECKER(win.ColU, Col(0, 0, 0), Col(0, 0, 0));
        CHECKER(win.ColRU, Col(255, 255, 255), Col(255, 255, 255));
        CHECKER(win.ColD, Col(255, 0, 0), Col(255, 0, 0));
        // Partly transparent: over contrast (first) and background (second).
        const auto over = [](int r, int g, int b, uint32_t base, double a) {
            return Col(Mix(r, base & 0xFF, a), Mix(g, (base >> 8) & 0xFF, a),
                       Mix(b, (base >> 16) & 0xFF, a));
        };
        CHECKER(win.ColLU, over(255, 0, 0, contrast, 0.5), over(255, 0, 0, back, 0.5));
        CHECKER(win.ColL, over(255, 255, 255, contrast, 0.5), over(255, 255, 255, back, 0.5));
        CHECKER(win.ColR, over(255, 0, 0, contrast, 0.25), over(255, 0, 0, back, 0.25));
        CHECKER(win.ColLD, over(0, 0, 0, contrast, 0.5), over(0, 0, 0, back, 0.5));
        CHECKER(win.ColRD, over(255, 0, 0, contrast, 0.75), over(255, 0, 0, back, 0.75));
        // A hand check of one of those: red at 0.5 over (10, 200, 30).
        QCOMPARE(over(255, 0, 0, back, 0.5), Col(132, 100, 15));
    }

    void swatchesAtTheCornerUseWrapModes() {
        FakeMain main;
        TPixF win(&OnClose, &main, nullptr);
        const uint32_t black = Col(0, 0, 0), white = Col(255, 255, 255);
        auto img = Filled(2, 2, Grey(1.0f, 1.0f), 0, 0, 0);  // white
        At(img.get(), 0, 0) = Grey(-1.0f, 1.0f);             // black at (0, 0)
        // Clamp: (-1, -1), (0, -1) and (-1, 0) all resolve to (0, 0);
        // (1, -1) to (1, 0) and (-1, 1) to (0, 1).
        UpdatePixInfo(&win, img.get(), 0, 0);
        for (TPixImage *s : {win.ColLU, win.ColU, win.ColL, win.ColC}) CHECKER(s, black, black);
        for (TPixImage *s : {win.ColRU, win.ColR, win.ColLD, win.ColD, win.ColRD})
            CHECKER(s, white, white);
        // Wrap: the neighbours above and left come from the far side.
        img->wrapx = 1;
        img->wrapy = 1;
        UpdatePixInfo(&win, img.get(), 0, 0);
        CHECKER(win.ColC, black, black);
        for (TPixImage *s :
             {win.ColLU, win.ColU, win.ColRU, win.ColL, win.ColR, win.ColLD, win.ColD, win.ColRD})
            CHECKER(s, white, white);
        // Moving on to (1, 1): the black pixel is now above-left (and, tiled,
        // also below-right).
        UpdatePixInfo(&win, img.get(), 1, 1);
        CHECKER(win.ColLU, black, black);
        CHECKER(win.ColRD, black, black);
        CHECKER(win.ColC, white, white);
    }

    // ---- the main window's glue ----

    void commandOpensAndCloses() {
        maintest::Env env;
        TMainF w;
        QVERIFY(w.PixWin == nullptr);
        QVERIFY(w.A_PixInfo->isCheckable());
        w.A_PixInfo->trigger();
        QVERIFY(w.PixWin != nullptr);
        QVERIFY(qobject_cast<TPixF *>(w.PixWin) != nullptr);
        QVERIFY(w.PixWin->isVisible());
        QVERIFY(w.A_PixInfo->isChecked());
        QPointer<QWidget> first = w.PixWin;
        w.A_PixInfo->trigger();
        QVERIFY(w.PixWin == nullptr);
        QVERIFY(!w.A_PixInfo->isChecked());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        QVERIFY(env.boxes.log.isEmpty());
    }

    void ownCloseBoxReleasesTheWindow() {
        maintest::Env env;
        TMainF w;
        w.A_PixInfo->trigger();
        QPointer<QWidget> win = w.PixWin;
        QVERIFY(!win.isNull());
        QVERIFY(win->close());
        QVERIFY(w.PixWin == nullptr);
        QVERIFY(!w.A_PixInfo->isChecked());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(win.isNull());
        // It opens again afterwards.
        w.A_PixInfo->trigger();
        QVERIFY(w.PixWin != nullptr);
        QVERIFY(w.A_PixInfo->isChecked());
    }

    void followsTheMouseAtTheZoom() {
        maintest::Env env;
        TMainF w;
        KvzaImage *img = maintest::MakeImage(10, 8, [](int x, int y) {
            return KvzaPixel{0.0f, 0.0f, x == 2 && y == 2 ? 1.0f : -1.0f, 1.0f};
        });
        maintest::Adopt(w, img);
        w.A_PixInfo->trigger();
        auto *win = qobject_cast<TPixF *>(w.PixWin);
        QVERIFY(win != nullptr);
        w.A_Zoom300->trigger();
        w.ImgMouseMove(Qt::NoModifier, 7, 7);  // 7 x 100 / 300 = 2
        QCOMPARE(win->L_LocX->text(), QStringLiteral("X:    2/   10"));
        QCOMPARE(win->L_LocY->text(), QStringLiteral("Y:    2/    8"));
        QCOMPARE(win->L_ColR->text(), QStringLiteral("R: 1.000000(255)"));
        w.A_Zoom25->trigger();
        w.ImgMouseMove(Qt::NoModifier, 7, 5);  // 28, 20: outside, clamped
        QCOMPARE(win->L_LocX->text(), QStringLiteral("X:   28/   10"));
        QCOMPARE(win->L_LocY->text(), QStringLiteral("Y:   20/    8"));
        QCOMPARE(win->L_ColR->text(), QStringLiteral("R: 0.000000(  0)"));
        // A real mouse move over the view reaches the window too.
        w.A_Zoom100->trigger();
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), w.Img->mapToGlobal(QPointF(2, 2)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w.Img, &move);
        QCOMPARE(win->L_LocX->text(), QStringLiteral("X:    2/   10"));
        QCOMPARE(win->L_ColW->text(), QStringLiteral("W: 1.000000"));
    }

    void withoutDocumentTheLabelsStay() {
        maintest::Env env;
        TMainF w;
        w.A_PixInfo->trigger();
        auto *win = qobject_cast<TPixF *>(w.PixWin);
        QVERIFY(win != nullptr);
        w.ImgMouseMove(Qt::NoModifier, 3, 3);
        QCOMPARE(win->L_LocX->text(), QStringLiteral("X:     /"));
        QCOMPARE(win->L_ColR->text(), QStringLiteral("R:         (   )"));
    }

    void closingTheMainWindowReleasesIt() {
        maintest::Env env;
        auto *w = new TMainF;
        w->A_PixInfo->trigger();
        QPointer<QWidget> win = w->PixWin;
        QVERIFY(!win.isNull());
        QVERIFY(w->close());
        QVERIFY(w->PixWin == nullptr);
        delete w;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(win.isNull());
    }

  private:
    QStringList messages;
};

QTEST_MAIN(PixInfoTest)
#include "pixtrans_pixinfo_test.moc"
