// The colour-reduction dialog: its controls, the settings it hands to the
// callback, Preview / OK / Cancel through the main window's ReduceColours,
// and a reduction cancelled in its progress dialog.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include "F_main.h"
#include "F_reduce.h"
#include "main_fixture.h"
#include "resize_fixture.h"

using kvzaedit::TMainF;
using kvzaedit::TReduceF;
using maintest::Env;
using maintest::ImagePtr;
using maintest::RedoDepth;
using maintest::UndoDepth;
using resizetest::History;

namespace {

struct Call {
    void *main;
    int32_t alphamode;
    uint32_t colours, dither;
};

// Records every call and answers `answer`.
struct Recorder {
    static inline std::vector<Call> calls;
    static inline int answer = 0;
    static int Reduce(void *main, int32_t alphamode, uint32_t colours, uint32_t dither) {
        calls.push_back({main, alphamode, colours, dither});
        return answer;
    }
    static void Reset(int a) {
        calls.clear();
        answer = a;
    }
};

struct ScriptedDialog {
    explicit ScriptedDialog(std::function<void(TReduceF &)> script) {
        kvzaedit::SetReduceDialogHook([this, script](TReduceF &d) {
            ++runs;
            script(d);
            if (d.isVisible()) d.reject();
        });
    }
    ~ScriptedDialog() { kvzaedit::SetReduceDialogHook(nullptr); }
    int runs = 0;
};

// A 64 x 64 image of many colours: 4096 progress steps, so the progress
// callback runs several times during a reduction.
KvzaImage *Colourful() {
    return maintest::MakeImage(64, 64, maintest::Distinct);
}

}  // namespace

class ResizeReduceTest : public QObject {
    Q_OBJECT
  private slots:
    void startingControls() {
        TReduceF d(&Recorder::Reduce, nullptr);
        QCOMPARE(d.windowTitle(), QStringLiteral("Color Reduceing"));
        QCOMPARE(d.TB_Color->minimum(), 2);
        QCOMPARE(d.TB_Color->maximum(), 256);
        QCOMPARE(d.TB_Color->value(), 256);
        QCOMPARE(d.TB_Color->pageStep(), 16);
        QCOMPARE(d.TB_Color->tickInterval(), 15);
        QCOMPARE(d.L_Color->text(), QStringLiteral("256"));
        QVERIFY(d.L_Color->alignment() & Qt::AlignRight);
        QCOMPARE(d.TB_Dither->minimum(), 0);
        QCOMPARE(d.TB_Dither->maximum(), 256);
        QCOMPARE(d.TB_Dither->value(), 128);
        QCOMPARE(d.TB_Dither->tickInterval(), 16);
        QCOMPARE(d.L_Dither->text(), QStringLiteral("128"));
        QCOMPARE(d.CB_Alpha->count(), 3);
        QCOMPARE(d.CB_Alpha->itemText(0), QStringLiteral("Opaque"));
        QCOMPARE(d.CB_Alpha->itemText(1), QStringLiteral("Binary"));
        QCOMPARE(d.CB_Alpha->itemText(2), QStringLiteral("Full Alpha"));
        QCOMPARE(d.CB_Alpha->currentIndex(), 2);
        QCOMPARE(d.B_OK->text(), QStringLiteral("OK"));
        QCOMPARE(d.B_Prev->text(), QStringLiteral("Preview"));
        QCOMPARE(d.B_Cancel->text(), QStringLiteral("Cancel"));
        for (const char *name : {"TB_Color", "L_Color", "TB_Dither", "L_Dither", "CB_Alpha", "B_OK",
                                 "B_Prev", "B_Cancel"})
            QVERIFY2(d.findChild<QWidget *>(QLatin1String(name)) != nullptr, name);
        QStringList labels;
        for (QLabel *label : d.findChildren<QLabel *>()) labels << label->text();
        for (const char *text : {"Colors", "Dither", "Alpha"}) QVERIFY(labels.contains(text));
    }

    void trackBarsOnlyUpdateTheirLabels() {
        Recorder::Reset(0);
        TReduceF d(&Recorder::Reduce, nullptr);
        d.TB_Color->setValue(17);
        QCOMPARE(d.L_Color->text(), QStringLiteral("17"));
        d.TB_Color->setValue(1);  // below the minimum: held at 2
        QCOMPARE(d.L_Color->text(), QStringLiteral("2"));
        d.TB_Dither->setValue(0);
        QCOMPARE(d.L_Dither->text(), QStringLiteral("0"));
        d.TB_Dither->setValue(300);
        QCOMPARE(d.L_Dither->text(), QStringLiteral("256"));
        QVERIFY(Recorder::calls.empty());
    }

    void missingCallbackIsNullpo() {
        Env env;
        ScriptedDialog script([](TReduceF &d) { d.B_OK->click(); });
        QCOMPARE(kvzaedit::RunReduceDialog(nullptr, nullptr), 1);
        QCOMPARE(script.runs, 0);
        QCOMPARE(env.boxes.log, QStringList({"error:nullpo"}));
    }

    void previewsAndOkHandTheSettingsOver() {
        Env env;
        Recorder::Reset(0);
        ScriptedDialog script([](TReduceF &d) {
            d.CB_Alpha->setCurrentIndex(1);
            d.TB_Color->setValue(40);
            d.TB_Dither->setValue(3);
            d.B_Prev->click();
            d.TB_Color->setValue(41);
            d.B_Prev->click();
            d.CB_Alpha->setCurrentIndex(0);
            d.B_OK->click();
        });
        QCOMPARE(kvzaedit::RunReduceDialog(&Recorder::Reduce, nullptr), 0);
        QCOMPARE(Recorder::calls.size(), size_t(3));
        QCOMPARE(Recorder::calls[0].alphamode, 1);
        QCOMPARE(Recorder::calls[0].colours, 40u);
        QCOMPARE(Recorder::calls[0].dither, 3u);
        QCOMPARE(Recorder::calls[1].colours, 41u);
        QCOMPARE(Recorder::calls[2].alphamode, 0);
        QCOMPARE(Recorder::calls[2].colours, 41u);
        QCOMPARE(Recorder::calls[2].dither, 3u);
        QVERIFY(Recorder::calls[2].main == nullptr);
        // OK returns the callback's own status; Cancel returns 1 and calls
        // nothing more.
        Recorder::Reset(2);
        {
            ScriptedDialog ok([](TReduceF &d) { d.B_OK->click(); });
            QCOMPARE(kvzaedit::RunReduceDialog(&Recorder::Reduce, nullptr), 2);
        }
        QCOMPARE(Recorder::calls.size(), size_t(1));
        QCOMPARE(Recorder::calls[0].alphamode, 2);
        QCOMPARE(Recorder::calls[0].colours, 256u);
        QCOMPARE(Recorder::calls[0].dither, 128u);
        Recorder::Reset(0);
        {
            ScriptedDialog cancel([](TReduceF &d) { QTest::keyClick(&d, Qt::Key_Escape); });
            QCOMPARE(kvzaedit::RunReduceDialog(&Recorder::Reduce, nullptr), 1);
        }
        QVERIFY(Recorder::calls.empty());
    }

    void failedPreviewIsNotWithdrawn() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(3, 3, maintest::Distinct));
        w.A_Gray->trigger();
        KvzaImage *const cur = w.CurImg;
        const History history(w);
        Recorder::Reset(1);
        bool shown = true;
        ScriptedDialog script([&](TReduceF &d) {
            d.B_Prev->click();
            shown = d.previewShown();
            d.B_Prev->click();
            d.B_Cancel->click();
        });
        QCOMPARE(kvzaedit::RunReduceDialog(&Recorder::Reduce, &w), 1);
        QVERIFY(!shown);
        QCOMPARE(Recorder::calls.size(), size_t(2));
        QCOMPARE(Recorder::calls[0].main, static_cast<void *>(&w));
        // No undo step was taken on the failed previews' behalf.
        QCOMPARE(w.CurImg, cur);
        QVERIFY(History(w) == history);
        QCOMPARE(UndoDepth(w), 1);
    }

    void previewTwiceThenCancelRestoresTheImage() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(16, 16, maintest::Distinct));
        w.A_AddTrans->trigger();  // a step of history to keep
        w.Modified = 0;
        KvzaImage *const cur = w.CurImg;
        ImagePtr before = maintest::Clone(cur);
        const History history(w);
        bool changed_by_preview = false;
        int undo_during = 0;
        ScriptedDialog script([&](TReduceF &d) {
            d.CB_Alpha->setCurrentIndex(0);
            d.TB_Color->setValue(4);
            d.TB_Dither->setValue(0);
            d.B_Prev->click();
            d.B_Prev->click();
            changed_by_preview = !maintest::SamePixels(w.CurImg, before.get());
            undo_during = UndoDepth(w);
            d.B_Cancel->click();
        });
        w.A_Reduce->trigger();
        QVERIFY(changed_by_preview);
        QCOMPARE(undo_during, 2);
        QCOMPARE(w.CurImg, cur);
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QVERIFY(History(w) == history);
        QCOMPARE(RedoDepth(w), 0);
        QVERIFY(!w.A_Redo->isEnabled());
        QCOMPARE(w.Modified, uint8_t(0));
        QVERIFY(w.isEnabled());
        QVERIFY(env.boxes.log.isEmpty());
    }

    void previewThenOkLeavesOneStepOfTheChosenReduction() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(16, 16, maintest::Distinct));
        w.Modified = 0;
        KvzaImage *const original = w.CurImg;
        ImagePtr before = maintest::Clone(original);
        ScriptedDialog script([](TReduceF &d) {
            d.CB_Alpha->setCurrentIndex(0);
            d.TB_Color->setValue(4);
            d.TB_Dither->setValue(0);
            d.B_Prev->click();
            d.B_OK->click();
        });
        w.A_Reduce->trigger();
        QCOMPARE(UndoDepth(w), 1);
        QCOMPARE(RedoDepth(w), 0);
        QCOMPARE(w.UndoBuf[0], original);
        QVERIFY(maintest::SamePixels(w.UndoBuf[0], before.get()));
        QCOMPARE(w.Modified, uint8_t(1));
        // The same reduction run directly on the same image gives the same
        // pixels: the dialog passed mode 0, 4 colours, no dither.
        TMainF reference;
        maintest::Adopt(reference, maintest::Clone(before.get()).release());
        QCOMPARE(reference.ReduceColours(0, 4, 0), 0);
        QVERIFY(maintest::SamePixels(w.CurImg, reference.CurImg));
        // At most 4 distinct colours remain.
        QList<QByteArray> seen;
        for (int i = 0; i < 16 * 16; ++i) {
            const QByteArray bytes(reinterpret_cast<const char *>(&w.CurImg->pixels[i]),
                                   sizeof(KvzaPixel));
            if (!seen.contains(bytes)) seen << bytes;
        }
        QVERIFY(seen.size() <= 4);
        QVERIFY(env.boxes.log.isEmpty());
    }

    void previewCancelledInTheProgressDialogRollsBack() {
        Env env;
        TMainF w;
        maintest::Adopt(w, Colourful());
        w.A_Gray->trigger();
        w.Modified = 0;
        KvzaImage *const cur = w.CurImg;
        ImagePtr before = maintest::Clone(cur);
        const History history(w);
        bool shown = true;
        int presses = 0;
        ScriptedDialog script([&](TReduceF &d) {
            d.TB_Color->setValue(8);
            resizetest::ProgressCanceller canceller;
            d.B_Prev->click();
            presses = canceller.presses;
            shown = d.previewShown();
            d.B_Cancel->click();
        });
        w.A_Reduce->trigger();
        QCOMPARE(presses, 1);
        QVERIFY(!shown);
        QCOMPARE(env.boxes.log, QStringList({"error:canceled"}));
        QCOMPARE(w.CurImg, cur);
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QVERIFY(History(w) == history);
        QCOMPARE(RedoDepth(w), 0);
        QVERIFY(!w.A_Redo->isEnabled());
        QCOMPARE(w.Modified, uint8_t(0));
        QVERIFY(w.isEnabled());
    }

    void okCancelledInTheProgressDialogRollsBack() {
        Env env;
        TMainF w;
        maintest::Adopt(w, Colourful());
        w.Modified = 0;
        KvzaImage *const cur = w.CurImg;
        ImagePtr before = maintest::Clone(cur);
        // A preview that completes, then a canceller armed for the final
        // reduction's progress dialog.
        bool armed = false;
        std::unique_ptr<resizetest::ProgressCanceller> canceller;
        kvzaedit::SetReduceDialogHook([&](TReduceF &d) {
            d.TB_Color->setValue(8);
            d.B_Prev->click();
            armed = d.previewShown();
            canceller = std::make_unique<resizetest::ProgressCanceller>();
            d.B_OK->click();
        });
        w.A_Reduce->trigger();
        kvzaedit::SetReduceDialogHook(nullptr);
        QVERIFY(armed);
        QVERIFY(canceller != nullptr);
        QCOMPARE(canceller->presses, 1);
        QCOMPARE(env.boxes.log, QStringList({"error:canceled"}));
        QCOMPARE(w.CurImg, cur);
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QCOMPARE(UndoDepth(w), 0);
        QCOMPARE(RedoDepth(w), 0);
        QCOMPARE(w.Modified, uint8_t(0));
        QVERIFY(w.isEnabled());
    }

    void noDocumentNoDialog() {
        Env env;
        TMainF w;
        ScriptedDialog script([](TReduceF &d) { d.B_OK->click(); });
        w.A_ReduceExecute();
        QCOMPARE(script.runs, 0);
        QCOMPARE(w.Modified, uint8_t(0));
    }
};

QTEST_MAIN(ResizeReduceTest)
#include "resize_reduce_test.moc"
