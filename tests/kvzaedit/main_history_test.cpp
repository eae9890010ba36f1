// The document's undo history and the edits built on it: the 16-slot
// stacks, failed allocations, frames, transparentizing by a reference pixel,
// resizing and colour reduction with its rollback.
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "F_main.h"
#include "F_prgrs.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using maintest::At;
using maintest::Env;
using maintest::ImagePtr;
using maintest::RedoDepth;
using maintest::UndoDepth;

namespace {

KvzaImage *OnePixel(KvzaPixel p) {
    return maintest::MakeImage(1, 1, [p](int, int) { return p; });
}

bool SamePixel(const KvzaPixel &a, const KvzaPixel &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Stack slots are filled from their first slot without gaps.
bool StacksHaveNoGaps(const TMainF &w) {
    for (int base : {0, 8}) {
        bool empty_seen = false;
        for (int k = base; k < base + 8; ++k) {
            if (w.UndoBuf[k] == nullptr)
                empty_seen = true;
            else if (empty_seen)
                return false;
        }
    }
    return true;
}

// Clicks Cancel of the progress dialog as soon as events are processed;
// notes whether the window was disabled and refused to close meanwhile.
void CancelProgressSoon(bool *window_was_disabled, bool *close_refused, TMainF *w) {
    QTimer::singleShot(0, [window_was_disabled, close_refused, w] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<kvzaedit::TPrgrsF *>(top);
            if (dialog == nullptr || !dialog->isVisible()) continue;
            *window_was_disabled = !w->isEnabled();
            *close_refused = !w->close();
            auto *cancel = dialog->findChild<QPushButton *>(QStringLiteral("B_Cancel"));
            if (cancel != nullptr) cancel->click();
        }
    });
}

}  // namespace

class MainHistoryTest : public QObject {
    Q_OBJECT
  private slots:
    void nineEditsLeaveEightUndoSteps() {
        Env env;
        TMainF w;
        maintest::Adopt(w, OnePixel(maintest::Rgba(1, 0, 0, 1)));
        // Every frame grows the image by 2: the width tells the step.
        for (int i = 1; i <= 9; ++i) {
            w.A_AddTrans->trigger();
            QCOMPARE(w.CurImg->width, 1 + 2 * i);
            QVERIFY(StacksHaveNoGaps(w));
        }
        QCOMPARE(UndoDepth(w), 8);
        for (int i = 8; i >= 1; --i) {
            QVERIFY(w.A_Undo->isEnabled());
            w.A_Undo->trigger();
            QCOMPARE(w.CurImg->width, 1 + 2 * i);
            QVERIFY(StacksHaveNoGaps(w));
        }
        // The starting image of the first edit is gone.
        QVERIFY(!w.A_Undo->isEnabled());
        w.A_Undo->trigger();
        w.UndoStep(true);
        QCOMPARE(w.CurImg->width, 3);
        QCOMPARE(RedoDepth(w), 8);
        // Redo all the way forward again.
        for (int i = 2; i <= 9; ++i) {
            QVERIFY(w.A_Redo->isEnabled());
            w.A_Redo->trigger();
            QCOMPARE(w.CurImg->width, 1 + 2 * i);
        }
        QVERIFY(!w.A_Redo->isEnabled());
        QCOMPARE(UndoDepth(w), 8);
        QCOMPARE(RedoDepth(w), 0);
    }

    void anEditAfterUndoEmptiesTheRedoStack() {
        Env env;
        TMainF w;
        maintest::Adopt(w, OnePixel(maintest::Rgba(0, 1, 0, 1)));
        w.A_AddTrans->trigger();
        w.A_AddTrans->trigger();
        w.A_Undo->trigger();
        w.A_Undo->trigger();
        QCOMPARE(RedoDepth(w), 2);
        QVERIFY(w.A_Redo->isEnabled());
        w.A_Gray->trigger();
        QCOMPARE(RedoDepth(w), 0);
        QVERIFY(!w.A_Redo->isEnabled());
        QCOMPARE(UndoDepth(w), 1);
        QVERIFY(w.A_Undo->isEnabled());
    }

    void undoAndRedoLeaveModifiedAlone() {
        Env env;
        TMainF w;
        maintest::Adopt(w, OnePixel(maintest::Rgba(0, 0, 1, 1)));
        w.Modified = 0;  // as if just opened
        w.A_Gray->trigger();
        QCOMPARE(w.Modified, uint8_t(1));
        w.A_Undo->trigger();  // back at the opened image
        QCOMPARE(w.Modified, uint8_t(1));
        w.A_Redo->trigger();
        QCOMPARE(w.Modified, uint8_t(1));
        w.A_Undo->trigger();
        // Closing still asks.
        env.boxes.answer = QMessageBox::Cancel;
        QVERIFY(!w.close());
        QCOMPARE(env.boxes.count(QStringLiteral("ask:image has changed. save OK?")), 1);
    }

    void standardEditWorksOnACopyAndUndoRestoresIt() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(5, 4, maintest::Distinct));
        ImagePtr before = maintest::Clone(w.CurImg);
        KvzaImage *old = w.CurImg;
        w.A_Gray->trigger();
        QVERIFY(w.CurImg != old);     // a new image ...
        QCOMPARE(w.UndoBuf[0], old);  // ... and the old one is the newest undo state
        QVERIFY(maintest::SamePixels(w.UndoBuf[0], before.get()));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                QCOMPARE(At(w.CurImg, x, y).c, 0.0f);
                QCOMPARE(At(w.CurImg, x, y).s, 0.0f);
            }
        w.A_Undo->trigger();
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
    }

    void failedAllocationKeepsTheDocument() {
        Env env;
        TMainF w;
        maintest::Adopt(w, OnePixel(maintest::Rgba(1, 1, 0, 1)));
        for (int i = 0; i < 3; ++i) w.A_AddTrans->trigger();
        w.A_Undo->trigger();  // 2 undo steps, 1 redo step
        KvzaImage *cur = w.CurImg;
        KvzaImage *newest = w.UndoBuf[0];
        KvzaImage *oldest = w.UndoBuf[1];
        ImagePtr before = maintest::Clone(cur);
        // Blocks far beyond memory cannot be made; the second one's byte count
        // (2^60 pixels of 16 bytes) does not even fit in 64 bits.
        QCOMPARE(w.ResizeTo(0, 100000, 100000), 1);
        QCOMPARE(w.ResizeTo(4, 1 << 30, 1 << 30), 1);
        QCOMPARE(env.boxes.log, QStringList({"error:out of memory", "error:out of memory"}));
        QCOMPARE(w.CurImg, cur);  // unchanged
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QCOMPARE(RedoDepth(w), 0);  // redo stack emptied
        QVERIFY(!w.A_Redo->isEnabled());
        QCOMPARE(w.UndoBuf[0], newest);  // undo stack in place
        QCOMPARE(w.UndoBuf[1], oldest);
        QCOMPARE(UndoDepth(w), 2);
        QVERIFY(w.A_Undo->isEnabled());
        QVERIFY(StacksHaveNoGaps(w));
        QCOMPARE(w.Img->size(), QSize(5, 5));
    }

    void failedAllocationWithAFullUndoStackDropsTheOldestState() {
        Env env;
        TMainF w;
        maintest::Adopt(w, OnePixel(maintest::Rgba(1, 1, 0, 1)));
        for (int i = 0; i < 8; ++i) w.A_AddTrans->trigger();
        QCOMPARE(UndoDepth(w), 8);
        KvzaImage *slot6 = w.UndoBuf[6];
        QCOMPARE(w.BeginEdit(-5, 3), 1);
        QCOMPARE(env.boxes.log, QStringList({"error:out of memory"}));
        QCOMPARE(UndoDepth(w), 7);
        QCOMPARE(w.UndoBuf[6], slot6);
        QVERIFY(w.UndoBuf[7] == nullptr);
    }

    void beginEditWithoutAnImageFailsSilently() {
        Env env;
        TMainF w;
        QCOMPARE(w.BeginEdit(4, 4), 1);
        QVERIFY(env.boxes.log.isEmpty());
        QCOMPARE(w.ResizeTo(0, 4, 4), 1);
        QCOMPARE(w.ReduceColours(2, 16, 128), 1);
        QCOMPARE(w.TransparentizeRef(1, 0, 0, 0, 0, 0, 0), 1);
        QVERIFY(w.CurImg == nullptr);
    }

    void copyPrevPixelsRefusesDifferentSizes() {
        Env env;
        TMainF w;
        ImagePtr a(maintest::MakeImage(2, 3, maintest::Distinct));
        ImagePtr b(maintest::MakeImage(3, 2, [](int, int) { return KvzaPixel{}; }));
        w.CopyPrevPixels(b.get(), a.get());
        QCOMPARE(env.boxes.log, QStringList({"error:different image size"}));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) QCOMPARE(At(b.get(), x, y).a, 0.0f);
        ImagePtr c(maintest::MakeImage(2, 3, [](int, int) { return KvzaPixel{}; }));
        w.CopyPrevPixels(c.get(), a.get());
        QVERIFY(maintest::SamePixels(c.get(), a.get()));
    }

    void transparentFrameOnOnePixel() {
        Env env;
        TMainF w;
        const KvzaPixel p = maintest::Rgba(0.2f, 0.6f, 0.4f, 0.75f);
        maintest::Adopt(w, OnePixel(p));
        w.CurImg->border = maintest::Rgba(1, 0, 1, 1);
        w.A_AddTrans->trigger();
        QCOMPARE(w.CurImg->width, 3);
        QCOMPARE(w.CurImg->height, 3);
        QCOMPARE(w.Modified, uint8_t(1));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                const KvzaPixel &q = At(w.CurImg, x, y);
                QCOMPARE(q.c, p.c);
                QCOMPARE(q.s, p.s);
                QCOMPARE(q.w, p.w);
                QCOMPARE(q.a, (x == 1 && y == 1) ? p.a : 0.0f);
            }
        // The image keeps its attributes.
        QVERIFY(SamePixel(w.CurImg->border, maintest::Rgba(1, 0, 1, 1)));
    }

    void transparentFrameRepeatsTheEdgeColours() {
        Env env;
        TMainF w;
        ImagePtr src(maintest::MakeImage(3, 2, maintest::Distinct));
        maintest::Adopt(w, maintest::Clone(src.get()).release());
        w.A_AddTrans->trigger();
        QCOMPARE(w.CurImg->width, 5);
        QCOMPARE(w.CurImg->height, 4);
        auto colour_of = [&](int x, int y) {  // old pixel nearest to (x, y) of the new image
            const int ox = std::clamp(x - 1, 0, 2), oy = std::clamp(y - 1, 0, 1);
            return At(src.get(), ox, oy);
        };
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const KvzaPixel &q = At(w.CurImg, x, y);
                const KvzaPixel e = colour_of(x, y);
                const bool inner = x >= 1 && x <= 3 && y >= 1 && y <= 2;
                QCOMPARE(q.c, e.c);
                QCOMPARE(q.s, e.s);
                QCOMPARE(q.w, e.w);
                QCOMPARE(q.a, inner ? e.a : 0.0f);
            }
    }

    void borderFrameSetsEveryFramePixelToTheBorderColour() {
        Env env;
        TMainF w;
        ImagePtr src(maintest::MakeImage(2, 2, maintest::Distinct));
        KvzaImage *img = maintest::Clone(src.get()).release();
        img->border = KvzaPixel{0.25f, -0.5f, 0.125f, 0.5f};
        maintest::Adopt(w, img);
        w.A_AddBorder->trigger();
        QCOMPARE(w.CurImg->width, 4);
        QCOMPARE(w.CurImg->height, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const bool frame = x == 0 || y == 0 || x == 3 || y == 3;
                const KvzaPixel expect =
                    frame ? KvzaPixel{0.25f, -0.5f, 0.125f, 0.5f} : At(src.get(), x - 1, y - 1);
                QVERIFY2(SamePixel(At(w.CurImg, x, y), expect),
                         qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
            }
        // Frames refresh the view at the new size.
        QCOMPARE(w.Img->size(), QSize(4, 4));
        QCOMPARE(w.Img->Bitmap.size(), QSize(4, 4));
    }

    void transparentizeCompareWithThePixelBeforeTheEdit() {
        Env env;
        TMainF w;
        const KvzaPixel ref = maintest::Rgba(0.9f, 0.1f, 0.3f, 1.0f);
        const KvzaPixel other = maintest::Rgba(0.1f, 0.8f, 0.3f, 1.0f);
        // Reference 4 on 10 x 6 is (9, 5). Several pixels share its colour.
        KvzaImage *img = maintest::MakeImage(10, 6, [&](int x, int y) {
            return ((x + y) % 3 == 2) ? ref : other;  // (9, 5): 14 % 3 == 2
        });
        maintest::Adopt(w, img);
        QCOMPARE(w.TransparentizeRef(4, 0, 0.0f, 0.0f, 0.0f, 0.0f, 0), 0);
        QCOMPARE(UndoDepth(w), 1);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 10; ++x) {
                const bool like = (x + y) % 3 == 2;
                QCOMPARE(At(w.CurImg, x, y).a, like ? 0.0f : 1.0f);
                QCOMPARE(At(w.CurImg, x, y).c, like ? ref.c : other.c);  // colour kept
            }
    }

    void transparentizeReferenceComesFromTheUneditedImage() {
        Env env;
        TMainF w;
        // Reference 1 is (0, 0), the first pixel the pass itself changes; the
        // later look-alikes must still match the unchanged reference.
        const KvzaPixel ref = maintest::Rgba(0.5f, 0.5f, 0.9f, 1.0f);
        maintest::Adopt(w, maintest::MakeImage(4, 4, [&](int, int) { return ref; }));
        QCOMPARE(w.TransparentizeRef(1, 0, 0.0f, 0.0f, 0.0f, 0.0f, 0), 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) QCOMPARE(At(w.CurImg, x, y).a, 0.0f);
    }

    void transparentizeCornersAndAnyPoint() {
        Env env;
        const KvzaPixel base = maintest::Rgba(0.2f, 0.2f, 0.2f, 1.0f);
        const KvzaPixel mark = maintest::Rgba(1.0f, 1.0f, 0.0f, 1.0f);
        struct Case {
            int ref, x, y;  // arguments
            int mx, my;     // the pixel that carries the mark
        };
        const Case cases[] = {{1, 0, 0, 0, 0}, {2, 0, 0, 4, 0}, {3, 0, 0, 0, 2}, {4, 0, 0, 4, 2},
                              {0, 3, 1, 3, 1}, {0, -7, 9, 0, 2}};  // outside: Clamp gives (0, 2)
        for (const Case &c : cases) {
            TMainF w;
            maintest::Adopt(w, maintest::MakeImage(5, 3, [&](int x, int y) {
                                return (x == c.mx && y == c.my) ? mark : base;
                            }));
            QCOMPARE(w.TransparentizeRef(c.ref, c.x, 0, 0, 0, 0, c.y), 0);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    QCOMPARE(At(w.CurImg, x, y).a, (x == c.mx && y == c.my) ? 0.0f : 1.0f);
        }
    }

    void transparentizeTolerances() {
        Env env;
        TMainF w;
        // Row 0: alpha steps, row 1: whiteness steps, row 2: chroma steps,
        // row 3: hue steps, all against the reference at (0, 0).
        const KvzaPixel ref{0.4f, 0.0f, 0.0f, 1.0f};
        KvzaImage *img = maintest::MakeImage(3, 4, [&](int x, int y) {
            const float d = 0.1f * static_cast<float>(x);  // 0, 0.1, 0.2
            KvzaPixel p = ref;
            switch (y) {
                case 0:
                    p.a -= d;
                    break;
                case 1:
                    p.w += d;
                    break;
                case 2:
                    p.c += d;
                    break;
                default: {  // same chroma 0.4, hue turned by d / 4 turns
                    const double angle = 2.0 * M_PI * d / 4.0;
                    p.c = static_cast<float>(0.4 * std::cos(angle));
                    p.s = static_cast<float>(0.4 * std::sin(angle));
                }
            }
            return p;
        });
        maintest::Adopt(w, img);
        // Alpha tolerance 0.15 admits a difference of 0.1 but not 0.2, and so on.
        QCOMPARE(w.TransparentizeRef(1, 0, 0.15f, 1.0f, 1.0f, 0.5f, 0), 0);
        QCOMPARE(At(w.CurImg, 0, 0).a, 0.0f);
        QCOMPARE(At(w.CurImg, 1, 0).a, 0.0f);
        QVERIFY(At(w.CurImg, 2, 0).a > 0.7f);
        w.A_Undo->trigger();
        QCOMPARE(w.TransparentizeRef(1, 0, 1.0f, 0.15f, 1.0f, 0.5f, 0), 0);
        QCOMPARE(At(w.CurImg, 1, 1).a, 0.0f);
        QCOMPARE(At(w.CurImg, 2, 1).a, 1.0f);
        w.A_Undo->trigger();
        QCOMPARE(w.TransparentizeRef(1, 0, 1.0f, 1.0f, 0.15f, 0.5f, 0), 0);
        QCOMPARE(At(w.CurImg, 1, 2).a, 0.0f);
        QCOMPARE(At(w.CurImg, 2, 2).a, 1.0f);
        w.A_Undo->trigger();
        // Hue differences of 0.025 and 0.05 turns; tolerance 0.03.
        QCOMPARE(w.TransparentizeRef(1, 0, 1.0f, 1.0f, 1.0f, 0.03f, 0), 0);
        QCOMPARE(At(w.CurImg, 1, 3).a, 0.0f);
        QCOMPARE(At(w.CurImg, 2, 3).a, 1.0f);
        QCOMPARE(UndoDepth(w), 1);
    }

    void resizeMakesANewImageOfTheSizeWithTheOldAttributes() {
        Env env;
        TMainF w;
        KvzaImage *img = maintest::MakeImage(4, 2, maintest::Distinct);
        img->wrapx = 2;
        img->viewinfo[0] = 9;
        img->pixtype = 41;
        maintest::Adopt(w, img);
        for (int method : {0, 1, 2, 3, 4, 99}) {
            QCOMPARE(w.ResizeTo(method, 8, 3), 0);
            QCOMPARE(w.CurImg->width, 8);
            QCOMPARE(w.CurImg->height, 3);
            QCOMPARE(int(w.CurImg->wrapx), 2);
            QCOMPARE(int(w.CurImg->viewinfo[0]), 9);
            QCOMPARE(int(w.CurImg->pixtype), 41);
            QCOMPARE(w.Img->size(), QSize(8, 3));
            w.A_Undo->trigger();
            QCOMPARE(w.CurImg->width, 4);
        }
        // Nearest-neighbour doubling repeats every pixel.
        QCOMPARE(w.ResizeTo(0, 8, 4), 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x)
                QVERIFY(SamePixel(At(w.CurImg, x, y), At(w.UndoBuf[0], x / 2, y / 2)));
    }

    void reductionReplacesThePixelsByAPalette() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(16, 16, maintest::Distinct));
        QCOMPARE(w.ReduceColours(0, 4, 0), 0);
        QVERIFY(w.isEnabled());
        QVERIFY(w.A_Undo->isEnabled());
        QVERIFY(env.boxes.log.isEmpty());
        QSet<QByteArray> colours;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                colours.insert(QByteArray(reinterpret_cast<const char *>(&At(w.CurImg, x, y)),
                                          sizeof(KvzaPixel)));
        QVERIFY(colours.size() <= 4);
        // The dialog, not the operation, marks the document.
        QCOMPARE(w.Modified, uint8_t(0));
    }

    void cancelledReductionRollsBack() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(160, 120, maintest::Distinct));
        w.A_AddTrans->trigger();
        w.A_Undo->trigger();  // one redo step to be dropped
        ImagePtr before = maintest::Clone(w.CurImg);
        KvzaImage *cur = w.CurImg;
        bool disabled_while_running = false, close_refused = false;
        w.Modified = 0;  // closing would not even ask
        CancelProgressSoon(&disabled_while_running, &close_refused, &w);
        QCOMPARE(w.ReduceColours(2, 16, 128), 2);
        QVERIFY(disabled_while_running);
        QVERIFY(close_refused);
        QVERIFY(w.isEnabled());
        QCOMPARE(env.boxes.log, QStringList({"error:canceled"}));
        QCOMPARE(w.CurImg, cur);
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QVERIFY(!w.A_Redo->isEnabled());
        QCOMPARE(RedoDepth(w), 0);
        QCOMPARE(UndoDepth(w), 0);
        QVERIFY(!w.A_Undo->isEnabled());
        // No progress dialog is left behind.
        QCoreApplication::processEvents();
        for (QWidget *top : QApplication::topLevelWidgets())
            QVERIFY(qobject_cast<kvzaedit::TPrgrsF *>(top) == nullptr || !top->isVisible());
    }

    void operationCallbacksReachTheWindow() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(3, 3, maintest::Distinct));
        QCOMPARE(TMainF::ResizeToCb(&w, 0, 6, 6), 0);
        QCOMPARE(w.CurImg->width, 6);
        QCOMPARE(TMainF::TransparentizeRefCb(&w, 1, 0, 0, 0, 0, 0, 0), 0);
        QCOMPARE(At(w.CurImg, 0, 0).a, 0.0f);
        QCOMPARE(TMainF::ReduceColoursCb(&w, 0, 2, 0), 0);
        QCOMPARE(UndoDepth(w), 3);
        QCOMPARE(TMainF::ResizeToCb(nullptr, 0, 6, 6), 1);
    }
};

QTEST_MAIN(MainHistoryTest)
#include "main_history_test.moc"
