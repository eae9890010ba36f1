// The palette window: cells painted over the checkerboard of the image's
// background colour, the blend in integers, the frame of the selected cell,
// the current cell, and the closing callback.
#include <QImage>
#include <QtTest>

#include "F_pal.h"
#include "image_block.h"
#include "kvza.h"
#include "msgbox.h"

using kvzaedit::OpenPaletteWindow;
using kvzaedit::PalDrawCell;
using kvzaedit::TPalF;
using kvzaedit::TPalGrid;

namespace {

// What the main window would be: an image (or none) and a record of closes.
struct FakeMain {
    KvzaImage *image = nullptr;
    int closes = 0;
    TPalF *window = nullptr;
    bool delete_on_close = false;
};

KvzaImage *GetImage(void *main) {
    return static_cast<FakeMain *>(main)->image;
}

void OnClose(void *main) {
    auto *m = static_cast<FakeMain *>(main);
    ++m->closes;
    if (m->delete_on_close) {
        delete m->window;  // the main window releases its palette window here
        m->window = nullptr;
    }
}

// Palette entry from an RGB colour and alpha.
KvzaPixel Entry(float r, float g, float b, float a) {
    const KvzaPixel rgba{r, g, b, a};
    KvzaPixel kvza{};
    kvza_rgba2kvza(&kvza, &rgba);
    return kvza;
}

QRgb Rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

// Expected checkerboard pixel at canvas position (x, y).
QRgb Checker(int x, int y, QRgb base1, QRgb base2) {
    return ((x & 2) == (y & 2)) ? base1 : base2;
}

bool InFrameBand(const QRect &cell, int x, int y) {
    const int right = cell.left() + cell.width();
    const int bottom = cell.top() + cell.height();
    return x < cell.left() + 2 || x >= right - 2 || y < cell.top() + 2 || y >= bottom - 2;
}

QString Where(int col, int row, int x, int y) {
    return QStringLiteral("cell %1,%2 pixel %3,%4").arg(col).arg(row).arg(x).arg(y);
}

}  // namespace

class PaletteWindowTest : public QObject {
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

    // ---- the window ----

    void windowLayout() {
        QWidget owner;
        owner.setGeometry(200, 150, 800, 600);
        owner.show();
        FakeMain main;
        std::unique_ptr<TPalF> window(OpenPaletteWindow(&OnClose, &GetImage, &main, &owner));
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        QCOMPARE(window->windowTitle(), QStringLiteral("Palette"));
        QCOMPARE(window->size(), QSize(226, 281));
        auto *grid = window->findChild<TPalGrid *>(QStringLiteral("Pal"));
        QVERIFY(grid);
        QCOMPARE(grid->geometry(), QRect(8, 8, 211, 211));
        QCOMPARE(grid->col(), 0);
        QCOMPARE(grid->row(), 0);
        QVERIFY(messages.isEmpty());
    }

    void cellRectangles() {
        // 12 x 12 cells with a one-pixel line after each.
        QCOMPARE(TPalGrid::CellRect(0, 0), QRect(0, 0, 12, 12));
        QCOMPARE(TPalGrid::CellRect(1, 0), QRect(13, 0, 12, 12));
        QCOMPARE(TPalGrid::CellRect(15, 15), QRect(195, 195, 12, 12));
    }

    // ---- painting ----

    void noDocumentGivesTheDarkCheckerboard() {
        FakeMain main;
        TPalF window(&OnClose, &GetImage, &main, nullptr);
        const QImage canvas = window.Pal->Render();
        const QRgb black = Rgb(0, 0, 0), grey = Rgb(64, 64, 64);
        for (int row = 0; row < 16; ++row) {
            for (int col = 0; col < 16; ++col) {
                const QRect cell = TPalGrid::CellRect(col, row);
                const bool selected = col == 0 && row == 0;
                for (int y = cell.top(); y <= cell.bottom(); ++y) {
                    for (int x = cell.left(); x <= cell.right(); ++x) {
                        if (selected && InFrameBand(cell, x, y)) continue;
                        if (canvas.pixel(x, y) != Checker(x, y, black, grey)) {
                            QFAIL(qPrintable(Where(col, row, x, y)));
                        }
                    }
                }
            }
        }
        // Outside the cells: black background.
        QCOMPARE(canvas.pixel(210, 210), Rgb(0, 0, 0));
    }

    void selectedFrameWithoutDocument() {
        FakeMain main;
        TPalF window(&OnClose, &GetImage, &main, nullptr);
        const QImage canvas = window.Pal->Render();
        // Colour over base1 (black) is black; XOR 128 gives mid grey.
        const QRect cell = TPalGrid::CellRect(0, 0);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 12; ++x) {
                if (InFrameBand(cell, x, y)) QCOMPARE(canvas.pixel(x, y), Rgb(128, 128, 128));
            }
        }
        QCOMPARE(canvas.pixel(2, 2), Rgb(0, 0, 0));  // inside: (2 & 2) == (2 & 2)
        QCOMPARE(canvas.pixel(2, 4), Rgb(64, 64, 64));
    }

    void transparentEntryShowsTheBackgroundCheckerboard() {
        auto image = kvzatest::make_image(1, 1);
        image->viewinfo[0] = 200;
        image->viewinfo[1] = 100;
        image->viewinfo[2] = 50;
        image->palette[1 * 16 + 2] = Entry(1.f, 0.f, 1.f, 0.f);  // cell (2, 1)
        QImage canvas(211, 211, QImage::Format_RGB32);
        canvas.fill(0);
        const QRect cell = TPalGrid::CellRect(2, 1);
        PalDrawCell(canvas, image.get(), 2, 1, cell, false);
        const QRgb base1 = Rgb(200, 100, 50);
        const QRgb base2 = Rgb(200 ^ 64, 100 ^ 64, 50 ^ 64);  // 136, 36, 114
        QCOMPARE(base2, Rgb(136, 36, 114));
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                QCOMPARE(canvas.pixel(x, y), Checker(x, y, base1, base2));
            }
        }
        // Nothing outside the cell was touched.
        QCOMPARE(canvas.pixel(cell.left() - 1, cell.top()), Rgb(0, 0, 0));
        QCOMPARE(canvas.pixel(cell.right() + 1, cell.top()), Rgb(0, 0, 0));
    }

    void opaqueEntryShowsItsColourAlone() {
        auto image = kvzatest::make_image(1, 1);
        image->viewinfo[0] = 10;
        image->viewinfo[1] = 20;
        image->viewinfo[2] = 30;
        // 51/255 = 0.2 and 153/255 = 0.6 round to those bytes.
        image->palette[255] = Entry(1.f, 0.2f, 0.6f, 1.f);
        QImage canvas(211, 211, QImage::Format_RGB32);
        const QRect cell = TPalGrid::CellRect(15, 15);
        PalDrawCell(canvas, image.get(), 15, 15, cell, false);
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                QCOMPARE(canvas.pixel(x, y), Rgb(255, 51, 153));
            }
        }
    }

    void halfAlphaBlendsInIntegers() {
        auto image = kvzatest::make_image(1, 1);  // background black, base2 64
        image->palette[0] = Entry(1.f, 0.2f, 0.6f, 0.5f);
        QImage canvas(16, 16, QImage::Format_RGB32);
        const QRect cell(0, 0, 12, 12);
        PalDrawCell(canvas, image.get(), 0, 0, cell, false);
        // A = int(0.5 x 255 + 0.5) = 128. Over 0: 128 x 255 / 255 = 128,
        // 128 x 51 / 255 = 25.6 -> 25, 128 x 153 / 255 = 76.8 -> 76.
        QCOMPARE(canvas.pixel(0, 0), Rgb(128, 25, 76));
        // Over 64: 64 + 128 x 191 / 255 = 64 + 95.9 -> 159;
        // 64 + 128 x (51 - 64) / 255 = 64 - 6.5 -> 64 - 6 = 58 (toward zero);
        // 64 + 128 x 89 / 255 = 64 + 44.7 -> 108.
        QCOMPARE(canvas.pixel(2, 0), Rgb(159, 58, 108));
        QCOMPARE(canvas.pixel(0, 2), Rgb(159, 58, 108));
        QCOMPARE(canvas.pixel(3, 3), Rgb(128, 25, 76));
    }

    void selectedFrameOfAnEntry() {
        auto image = kvzatest::make_image(1, 1);
        image->palette[0] = Entry(1.f, 0.2f, 0.6f, 0.5f);
        QImage canvas(16, 16, QImage::Format_RGB32);
        const QRect cell(0, 0, 12, 12);
        PalDrawCell(canvas, image.get(), 0, 0, cell, true);
        // Blend over base1 is (128, 25, 76); XOR 128 gives (0, 153, 204).
        const QRgb frame = Rgb(0, 153, 204);
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(canvas.pixel(i, 0), frame);
            QCOMPARE(canvas.pixel(i, 1), frame);
            QCOMPARE(canvas.pixel(i, 10), frame);
            QCOMPARE(canvas.pixel(i, 11), frame);
            QCOMPARE(canvas.pixel(0, i), frame);
            QCOMPARE(canvas.pixel(1, i), frame);
            QCOMPARE(canvas.pixel(10, i), frame);
            QCOMPARE(canvas.pixel(11, i), frame);
        }
        // Inside the band the blend stays: (2, 2) lies on base1, (2, 4) on base2.
        QCOMPARE(canvas.pixel(2, 2), Rgb(128, 25, 76));
        QCOMPARE(canvas.pixel(2, 4), Rgb(159, 58, 108));
    }

    void checkerboardFollowsTheCanvasNotTheCell() {
        auto image = kvzatest::make_image(1, 1);
        image->viewinfo[0] = 255;
        image->viewinfo[1] = 255;
        image->viewinfo[2] = 255;
        image->palette[0] = Entry(0.f, 0.f, 0.f, 0.f);
        QImage canvas(20, 20, QImage::Format_RGB32);
        const QRect cell(5, 7, 4, 3);  // odd offset
        PalDrawCell(canvas, image.get(), 0, 0, cell, false);
        const QRgb white = Rgb(255, 255, 255), dark = Rgb(191, 191, 191);
        // (5, 7): 5 & 2 = 0, 7 & 2 = 2 -> base2.
        QCOMPARE(canvas.pixel(5, 7), dark);
        // (6, 7): 6 & 2 = 2 -> base1.
        QCOMPARE(canvas.pixel(6, 7), white);
        // (8, 9): 8 & 2 = 0, 9 & 2 = 0 -> base1.
        QCOMPARE(canvas.pixel(8, 9), white);
        // (7, 8): 7 & 2 = 2, 8 & 2 = 0 -> base2.
        QCOMPARE(canvas.pixel(7, 8), dark);
    }

    void cellsOutsideTheCanvasAreSkipped() {
        auto image = kvzatest::make_image(1, 1);
        QImage canvas(6, 6, QImage::Format_RGB32);
        canvas.fill(Rgb(1, 2, 3));
        PalDrawCell(canvas, image.get(), 0, 0, QRect(-3, -3, 12, 12), true);
        PalDrawCell(canvas, image.get(), 99, -4, QRect(0, 0, 2, 2), false);
        // Out-of-range cell numbers paint as "no entry": black checkerboard.
        QCOMPARE(canvas.pixel(0, 0), Rgb(0, 0, 0));
    }

    void gridDrawsTheGettersImageAndRedraws() {
        auto image = kvzatest::make_image(2, 2);
        image->palette[17] = Entry(1.f, 1.f, 1.f, 1.f);  // cell (1, 1)
        FakeMain main;
        TPalF window(&OnClose, &GetImage, &main, nullptr);
        const QRect cell = TPalGrid::CellRect(1, 1);
        QCOMPARE(window.Pal->Render().pixel(cell.center()), Rgb(0, 0, 0));
        main.image = image.get();
        window.RedrawGrid();
        QCOMPARE(window.Pal->Render().pixel(cell.center()), Rgb(255, 255, 255));
        // The widget itself shows what Render gives.
        window.show();
        const QImage shown = window.Pal->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), QSize(211, 211));
        QCOMPARE(shown.pixel(cell.center()), Rgb(255, 255, 255));
        QCOMPARE(shown.pixel(0, 0), Rgb(128, 128, 128));  // selected frame of (0, 0)
    }

    // ---- current cell ----

    void clicksAndArrowKeysMoveTheSelection() {
        FakeMain main;
        TPalF window(&OnClose, &GetImage, &main, nullptr);
        window.show();
        TPalGrid *grid = window.Pal;
        QTest::mouseClick(grid, Qt::LeftButton, {}, TPalGrid::CellRect(5, 3).center());
        QCOMPARE(grid->col(), 5);
        QCOMPARE(grid->row(), 3);
        QTest::keyClick(grid, Qt::Key_Right);
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(grid->col(), 6);
        QCOMPARE(grid->row(), 4);
        grid->setCurrent(0, 0);
        QTest::keyClick(grid, Qt::Key_Left);
        QTest::keyClick(grid, Qt::Key_Up);
        QCOMPARE(grid->col(), 0);
        QCOMPARE(grid->row(), 0);
        grid->setCurrent(15, 15);
        QTest::keyClick(grid, Qt::Key_Right);
        QCOMPARE(grid->col(), 15);
        // The frame moves with the selection.
        const QImage canvas = grid->Render();
        QCOMPARE(canvas.pixel(TPalGrid::CellRect(15, 15).topLeft()), Rgb(128, 128, 128));
        QCOMPARE(canvas.pixel(0, 0), Rgb(0, 0, 0));
    }

    // ---- closing ----

    void closeBoxCallsTheCallbackWithTheMainWindow() {
        FakeMain main;
        auto *window = OpenPaletteWindow(&OnClose, &GetImage, &main, nullptr);
        QVERIFY(window);
        QVERIFY(window->close());
        QCOMPARE(main.closes, 1);
        QVERIFY(!window->isVisible());
        delete window;
    }

    void callbackMayReleaseTheWindow() {
        FakeMain main;
        main.delete_on_close = true;
        main.window = OpenPaletteWindow(&OnClose, &GetImage, &main, nullptr);
        QVERIFY(main.window);
        QVERIFY(main.window->close());
        QCOMPARE(main.closes, 1);
        QVERIFY(main.window == nullptr);
    }

    void releasingFromOutsideDoesNotCallBack() {
        FakeMain main;
        auto *window = OpenPaletteWindow(&OnClose, &GetImage, &main, nullptr);
        delete window;
        QCOMPARE(main.closes, 0);
    }

  private:
    QStringList messages;
};

QTEST_MAIN(PaletteWindowTest)
#include "dialogs_palette_test.moc"
