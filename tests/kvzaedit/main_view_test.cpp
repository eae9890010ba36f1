// The image view: the bytes RefreshView writes for each transparency mode,
// the window background from the border colour, zoom sizes and commands,
// mouse positions, window fitting and the stretched drawing.
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QtTest>
#include <limits>

#include "F_main.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using maintest::At;
using maintest::Env;

namespace {

// Bytes of view pixel (x, y): red, green, blue.
struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb ViewAt(const TMainF &w, int x, int y) {
    const uchar *row = w.Img->Bitmap.constScanLine(y);
    return Rgb{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
}

char *Show(const Rgb &c) {
    return QTest::toString(QStringLiteral("(%1,%2,%3)").arg(c.r).arg(c.g).arg(c.b));
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Grey with whiteness w: its RGB is (w + 1) / 2 on every channel.
KvzaPixel Grey(float w, float a) {
    return KvzaPixel{0.0f, 0.0f, w, a};
}

KvzaImage *Row(std::initializer_list<KvzaPixel> pixels, uint8_t br, uint8_t bg, uint8_t bb) {
    const std::vector<KvzaPixel> list(pixels);
    KvzaImage *img =
        maintest::MakeImage(static_cast<int>(list.size()), 1, [&](int x, int) { return list[x]; });
    img->viewinfo[0] = br;
    img->viewinfo[1] = bg;
    img->viewinfo[2] = bb;
    return img;
}

QColor Background(const TMainF &w) {
    return w.Scroll->viewport()->palette().color(QPalette::Window);
}

}  // namespace

namespace QTest {
template <>
char *toString(const Rgb &c) {
    return Show(c);
}
}  // namespace QTest

class MainViewTest : public QObject {
    Q_OBJECT
  private slots:
    void libraryGreyLevelsAreExact() {
        // The expectations below rely on these conversions.
        KvzaPixel out{};
        const KvzaPixel white = Grey(1.0f, 1.0f);
        kvza_kvz2rgb(&out, &white);
        QCOMPARE(out.c, 1.0f);
        const KvzaPixel almost = Grey(0.998f, 1.0f);
        kvza_kvz2rgb(&out, &almost);
        QCOMPARE(out.c, 0.999f);
    }

    void modeZeroIgnoresAlphaAndTruncates() {
        Env env;
        TMainF w;
        w.A_TransOff->trigger();
        maintest::Adopt(w, Row({Grey(1.0f, 0.0f), Grey(0.998f, 0.3f), KvzaPixel{1, 0, 0, kNaN},
                                Grey(-1.0f, 1.0f), KvzaPixel{0, 0, 3.0f, 1.0f}},
                               10, 20, 30));
        QCOMPARE(w.Img->Bitmap.format(), QImage::Format_RGB888);
        QCOMPARE(w.Img->Bitmap.size(), QSize(5, 1));
        QCOMPARE(ViewAt(w, 0, 0), (Rgb{255, 255, 255}));  // 1.0 -> 255
        QCOMPARE(ViewAt(w, 1, 0), (Rgb{254, 254, 254}));  // 0.999 -> 254, not rounded
        QCOMPARE(ViewAt(w, 2, 0), (Rgb{255, 0, 0}));      // pure red, red byte first
        QCOMPARE(ViewAt(w, 3, 0), (Rgb{0, 0, 0}));
        QCOMPARE(ViewAt(w, 4, 0), (Rgb{255, 255, 255}));  // limited to 1 first
        QCOMPARE(w.Img->Bitmap.pixelColor(2, 0), QColor(255, 0, 0));
    }

    void modeOneShowsTheBackgroundOnlyForAlphaZero() {
        Env env;
        TMainF w;
        w.A_Trans0->trigger();
        maintest::Adopt(w, Row({Grey(1.0f, 0.001f), Grey(1.0f, 0.0f), Grey(1.0f, -0.0f),
                                Grey(1.0f, kNaN), Grey(1.0f, -0.5f)},
                               10, 20, 30));
        QCOMPARE(ViewAt(w, 0, 0), (Rgb{255, 255, 255}));
        QCOMPARE(ViewAt(w, 1, 0), (Rgb{10, 20, 30}));
        QCOMPARE(ViewAt(w, 2, 0), (Rgb{10, 20, 30}));  // -0 equals 0
        QCOMPARE(ViewAt(w, 3, 0), (Rgb{10, 20, 30}));  // not a number counts as 0
        QCOMPARE(ViewAt(w, 4, 0), (Rgb{255, 255, 255}));
    }

    void modeTwoShowsTheColourOnlyForFullAlpha() {
        Env env;
        TMainF w;
        w.A_Trans1->trigger();
        maintest::Adopt(w, Row({Grey(1.0f, 0.001f), Grey(1.0f, 1.0f), Grey(1.0f, 1.5f),
                                Grey(1.0f, kNaN), Grey(1.0f, 0.99999994f)},
                               10, 20, 30));
        QCOMPARE(ViewAt(w, 0, 0), (Rgb{10, 20, 30}));
        QCOMPARE(ViewAt(w, 1, 0), (Rgb{255, 255, 255}));
        QCOMPARE(ViewAt(w, 2, 0), (Rgb{255, 255, 255}));
        QCOMPARE(ViewAt(w, 3, 0), (Rgb{10, 20, 30}));
        QCOMPARE(ViewAt(w, 4, 0), (Rgb{10, 20, 30}));
    }

    void modeThreeBlendsOverTheBackground() {
        Env env;
        TMainF w;
        QCOMPARE(int(w.TransMode), 3);
        // Over black: white at 0.5 is 127.5, truncated.
        maintest::Adopt(w, Row({Grey(1.0f, 0.5f), Grey(1.0f, 1.0f), Grey(1.0f, 0.0f),
                                Grey(1.0f, 2.0f), Grey(1.0f, -1.0f), Grey(1.0f, kNaN)},
                               0, 0, 0));
        QCOMPARE(ViewAt(w, 0, 0), (Rgb{127, 127, 127}));
        QCOMPARE(ViewAt(w, 1, 0), (Rgb{255, 255, 255}));
        QCOMPARE(ViewAt(w, 2, 0), (Rgb{0, 0, 0}));
        // Alphas outside 0..1: the low 8 bits of the truncated value
        // (510 -> 254, -255 -> 1); not a number gives 0.
        QCOMPARE(ViewAt(w, 3, 0), (Rgb{254, 254, 254}));
        QCOMPARE(ViewAt(w, 4, 0), (Rgb{1, 1, 1}));
        QCOMPARE(ViewAt(w, 5, 0), (Rgb{0, 0, 0}));
    }

    void modeThreeUsesTheBackgroundAsFloats() {
        Env env;
        TMainF w;
        // Transparent pixels show the background byte through its float
        // (byte x 0.003921569f), times 255, truncated; black at alpha 0.25
        // over white gives 1 - 0.25 = 0.75 -> 191.
        maintest::Adopt(w, Row({Grey(-1.0f, 0.0f), Grey(-1.0f, 0.25f)}, 255, 255, 255));
        QCOMPARE(ViewAt(w, 0, 0), (Rgb{255, 255, 255}));
        QCOMPARE(ViewAt(w, 1, 0), (Rgb{191, 191, 191}));
        // Every byte value of the background survives a fully transparent pixel
        // within one step of truncation.
        for (int v = 0; v < 256; ++v) {
            w.CurImg->viewinfo[0] = static_cast<uint8_t>(v);
            w.RefreshView(0);
            const int got = ViewAt(w, 0, 0).r;
            const float f = static_cast<float>(v) * 0.003921569f;
            QCOMPARE(got, static_cast<int>(static_cast<double>(f) * 255.0));
            QVERIFY(got == v || got == v - 1);
        }
    }

    void transChangeRedrawsAtOnce() {
        Env env;
        TMainF w;
        maintest::Adopt(w, Row({Grey(1.0f, 0.0f)}, 0, 0, 0));
        QCOMPARE(ViewAt(w, 0, 0), (Rgb{0, 0, 0}));
        w.A_TransOff->trigger();
        QCOMPARE(ViewAt(w, 0, 0), (Rgb{255, 255, 255}));
        w.A_TransOn->trigger();
        QCOMPARE(ViewAt(w, 0, 0), (Rgb{0, 0, 0}));
    }

    void emptyWindowStartsWithTheButtonFace() {
        // Button face and window colours apart, so the start colour tells.
        const QPalette saved = QApplication::palette();
        QPalette pal = saved;
        pal.setColor(QPalette::Button, QColor(10, 200, 30));
        pal.setColor(QPalette::Window, QColor(240, 240, 240));
        QApplication::setPalette(pal);
        {
            Env env;
            TMainF w;
            QCOMPARE(Background(w), QColor(10, 200, 30));
        }
        QApplication::setPalette(saved);
    }

    void windowBackgroundFollowsTheBorderColour() {
        Env env;
        TMainF w;
        // Empty window: the button face colour.
        w.RefreshView(0);
        QCOMPARE(Background(w), QApplication::palette().color(QPalette::Button));
        KvzaImage *img = Row({Grey(0, 1)}, 0, 0, 0);
        img->border = maintest::Rgba(1.0f, 0.0f, 0.0f, 0.0f);
        maintest::Adopt(w, img);
        QCOMPARE(Background(w), QColor(255, 0, 0));
        // Grey 0.5 rounds to 128 (0.5 x 255 + 0.5).
        w.CurImg->border = Grey(0.0f, 1.0f);
        w.RefreshView(0);
        QCOMPARE(Background(w), QColor(128, 128, 128));
        // Out of range and not a number are limited.
        w.CurImg->border = KvzaPixel{0, 0, 5.0f, 1};
        w.RefreshView(0);
        QCOMPARE(Background(w), QColor(255, 255, 255));
        w.CurImg->border = KvzaPixel{0, 0, kNaN, 1};
        w.RefreshView(0);
        QCOMPARE(Background(w), QColor(0, 0, 0));
        // After closing the document the colour stays until the next refresh.
        w.CurImg->border = Grey(0.0f, 1.0f);
        w.RefreshView(0);
        w.CloseDoc();
        QCOMPARE(Background(w), QColor(128, 128, 128));
        w.RefreshView(0);
        QCOMPARE(Background(w), QApplication::palette().color(QPalette::Button));
    }

    void zoomSizes() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(3, 3, maintest::Distinct));
        QCOMPARE(w.Img->size(), QSize(3, 3));
        const int expect[12] = {0, 1, 2, 3, 4, 6, 9, 12, 18, 24, 36, 48};
        for (int i = 0; i < 12; ++i) {
            w.ZoomActs[i]->trigger();
            QCOMPARE(w.Img->size(), QSize(expect[i], expect[i]));
            QCOMPARE(w.Img->Bitmap.size(), QSize(3, 3));  // the bitmap keeps the image size
        }
        // Zoom without a document changes the index only.
        w.CloseDoc();
        w.A_Zoom100->trigger();
        QCOMPARE(int(w.ZoomIdx), 3);
        QCOMPARE(w.Img->size(), QSize(48, 48));
    }

    void zoomStepsStopAtTheEnds() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(3, 3, maintest::Distinct));
        w.A_Zoom1600->trigger();
        w.A_ZoomL->trigger();
        QCOMPARE(int(w.ZoomIdx), 11);
        QVERIFY(w.A_Zoom1600->isChecked());
        QCOMPARE(w.Img->size(), QSize(48, 48));
        w.A_Zoom25->trigger();
        w.A_ZoomS->trigger();
        QCOMPARE(int(w.ZoomIdx), 0);
        QVERIFY(w.A_Zoom25->isChecked());
        QCOMPARE(w.Img->size(), QSize(0, 0));
        w.A_ZoomL->trigger();
        QCOMPARE(int(w.ZoomIdx), 1);
        QCOMPARE(w.Img->size(), QSize(1, 1));
    }

    void refreshFlags() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(10, 4, maintest::Distinct));
        w.ZoomIdx = 5;  // 200 %, without the command's refresh
        w.RefreshView(0);
        QCOMPARE(w.Img->size(), QSize(10, 4));  // bit 0 clear: size kept
        w.RefreshView(1);
        QCOMPARE(w.Img->size(), QSize(20, 8));
    }

    void mousePositionsMapToImagePixels() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(40, 40, maintest::Distinct));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.A_Zoom300->trigger();
        QTest::mouseMove(w.Img, QPoint(7, 7));
        QTRY_COMPARE(w.LastPixX, 2);
        QCOMPARE(w.LastPixY, 2);
        w.A_Zoom25->trigger();
        w.ImgMouseMove(Qt::NoModifier, 7, 7);
        QCOMPARE(w.LastPixX, 28);
        QCOMPARE(w.LastPixY, 28);
        // Signed arithmetic, truncated toward zero.
        QCOMPARE(TMainF::ViewToImage(-7, 300), -2);
        QCOMPARE(TMainF::ViewToImage(-1, 150), 0);
        QCOMPARE(TMainF::ViewToImage(599, 600), 99);
    }

    void adjustWindowFitsTheViewOrTheDesktop() {
        Env env;
        TMainF w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.move(100, 50);
        QScreen *scr = w.screen();
        QVERIFY(scr != nullptr);
        const QRect desk = scr->availableGeometry();
        // A large view is cut at the desktop less 32 pixels.
        maintest::Adopt(w, maintest::MakeImage(3000, 2000, [](int, int) {
                            return KvzaPixel{0, 0, 0, 1};
                        }));
        const QRect frame = w.frameGeometry();
        QTRY_COMPARE(w.centralWidget()->size(), QSize(desk.x() + desk.width() - frame.x() - 32,
                                                      desk.y() + desk.height() - frame.y() - 32));
        // A small view: the client area takes its size.
        w.CloseDoc();
        maintest::Adopt(w, maintest::MakeImage(150, 120, maintest::Distinct));
        QTRY_COMPARE(w.centralWidget()->size(), QSize(150, 120));
    }

    void viewIsDrawnStretchedWithoutSmoothing() {
        Env env;
        TMainF w;
        w.A_TransOff->trigger();
        maintest::Adopt(w, Row({Grey(1.0f, 1.0f), Grey(-1.0f, 1.0f)}, 0, 0, 0));
        w.A_Zoom400->trigger();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QImage shot = w.Img->grab().toImage();
        QCOMPARE(shot.size(), QSize(8, 4));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x)
                QCOMPARE(shot.pixelColor(x, y), x < 4 ? QColor(255, 255, 255) : QColor(0, 0, 0));
    }
};

QTEST_MAIN(MainViewTest)
#include "main_view_test.moc"
