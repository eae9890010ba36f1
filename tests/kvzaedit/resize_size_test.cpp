// The resize dialog: the integer parsing rule, the arithmetic of the pixel
// and percentage fields with their re-entry guard, "Keep Aspective", and the
// Preview / OK / Cancel flow through the main window's ResizeTo.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "F_main.h"
#include "F_size.h"
#include "main_fixture.h"
#include "resize_fixture.h"

using kvzaedit::ParseIntDef;
using kvzaedit::TMainF;
using kvzaedit::TSizeF;
using maintest::Env;
using maintest::ImagePtr;
using maintest::RedoDepth;
using maintest::UndoDepth;
using resizetest::History;

namespace {

int NeverCalled(void *, int32_t, int32_t, int32_t) {
    return 1;
}

// Records the last call and answers `answer`.
struct Recorder {
    static inline int calls = 0;
    static inline int32_t method = -1, width = -1, height = -1;
    static inline void *main = nullptr;
    static inline int answer = 0;
    static int Call(void *m, int32_t md, int32_t w, int32_t h) {
        ++calls;
        main = m, method = md, width = w, height = h;
        return answer;
    }
    static void Reset(int a) {
        calls = 0, method = width = height = -1, main = nullptr, answer = a;
    }
};

// Runs the dialog's modal loop with script acting on it; the script ends by
// closing the dialog. The hook is removed afterwards.
struct ScriptedDialog {
    explicit ScriptedDialog(std::function<void(TSizeF &)> script) {
        kvzaedit::SetSizeDialogHook([this, script](TSizeF &d) {
            ++runs;
            script(d);
            if (d.isVisible()) d.reject();  // never leave the loop hanging
        });
    }
    ~ScriptedDialog() { kvzaedit::SetSizeDialogHook(nullptr); }
    int runs = 0;
};

}  // namespace

class ResizeSizeTest : public QObject {
    Q_OBJECT
  private slots:
    // ---- parsing rule ----

    void parsingAcceptsWholeIntegersOnly() {
        QCOMPARE(ParseIntDef("50", 7), 50);
        QCOMPARE(ParseIntDef("  50", 7), 50);
        QCOMPARE(ParseIntDef("+8", 7), 8);
        QCOMPARE(ParseIntDef("-5", 7), -5);
        QCOMPARE(ParseIntDef("0", 7), 0);
        QCOMPARE(ParseIntDef("$1F", 7), 31);
        QCOMPARE(ParseIntDef("0x10", 7), 16);
        QCOMPARE(ParseIntDef("x10", 7), 16);
        QCOMPARE(ParseIntDef("-$10", 7), -16);
        // Not a number: the default.
        QCOMPARE(ParseIntDef("", 7), 7);
        QCOMPARE(ParseIntDef(" ", 7), 7);
        QCOMPARE(ParseIntDef("-", 7), 7);
        QCOMPARE(ParseIntDef("abc", 7), 7);
        QCOMPARE(ParseIntDef("12a", 7), 7);
        QCOMPARE(ParseIntDef("50 ", 7), 7);
        QCOMPARE(ParseIntDef("1.5", 7), 7);
        QCOMPARE(ParseIntDef("$", 7), 7);
        QCOMPARE(ParseIntDef("$G", 7), 7);
        QCOMPARE(ParseIntDef(QStringLiteral("５"), 7), 7);  // full-width digit
    }

    void parsingKeepsToThirtyTwoBits() {
        QCOMPARE(ParseIntDef("2147483647", 7), INT32_MAX);
        QCOMPARE(ParseIntDef("-2147483648", 7), INT32_MIN);
        QCOMPARE(ParseIntDef("2147483648", 7), 7);
        QCOMPARE(ParseIntDef("-2147483649", 7), 7);
        QCOMPARE(ParseIntDef("99999999999999999999999", 7), 7);
        QCOMPARE(ParseIntDef("000000000000000000000012", 7), 12);
        // Hexadecimal covers every 32-bit pattern.
        QCOMPARE(ParseIntDef("$FFFFFFFF", 7), -1);
        QCOMPARE(ParseIntDef("$80000000", 7), INT32_MIN);
        QCOMPARE(ParseIntDef("$100000000", 7), 7);
    }

    // ---- start ----

    void startsOnShapeAndTheStartingSize() {
        TSizeF d(101, 40, &NeverCalled, nullptr);
        QCOMPARE(d.windowTitle(), QStringLiteral("Size Change"));
        QCOMPARE(d.CB_Mode->count(), 5);
        const QStringList modes{"Near", "Line", "Slant", "Arc", "Shape"};
        for (int i = 0; i < 5; ++i) QCOMPARE(d.CB_Mode->itemText(i), modes[i]);
        QCOMPARE(d.CB_Mode->currentIndex(), 4);
        QCOMPARE(d.E_WS->text(), QStringLiteral("101"));
        QCOMPARE(d.E_HS->text(), QStringLiteral("40"));
        QCOMPARE(d.E_WR->text(), QStringLiteral("100"));
        QCOMPARE(d.E_HR->text(), QStringLiteral("100"));
        QCOMPARE(d.newWidth(), 101);
        QCOMPARE(d.newHeight(), 40);
        QVERIFY(!d.C_Aspect->isChecked());
        QCOMPARE(d.C_Aspect->text(), QStringLiteral("Keep Aspective"));
        QCOMPARE(d.B_OK->text(), QStringLiteral("OK"));
        QVERIFY(d.B_OK->isDefault());
        QCOMPARE(d.B_Prev->text(), QStringLiteral("Preview"));
        QCOMPARE(d.B_Cancel->text(), QStringLiteral("Cancel"));
        QVERIFY(!d.previewShown());
        // The controls are reachable by their names.
        for (const char *name :
             {"CB_Mode", "E_WS", "E_HS", "E_WR", "E_HR", "C_Aspect", "B_OK", "B_Prev", "B_Cancel"})
            QVERIFY2(d.findChild<QWidget *>(QLatin1String(name)) != nullptr, name);
        QStringList labels;
        for (QLabel *label : d.findChildren<QLabel *>()) labels << label->text();
        for (const char *text : {"Mode", "Width", "Height"}) QVERIFY(labels.contains(text));
        QCOMPARE(labels.count("%"), 2);
    }

    // ---- field arithmetic ----

    void percentFieldGivesRoundedPixels() {
        TSizeF d(101, 40, &NeverCalled, nullptr);
        // (50 x 101 x 10 + 5) div 1000 = 50505 div 1000
        d.E_WR->setText("50");
        QCOMPARE(d.newWidth(), 50);
        QCOMPARE(d.E_WS->text(), QStringLiteral("50"));
        QCOMPARE(d.E_WR->text(), QStringLiteral("50"));  // guard: not rewritten
        // 33 % of 40: 13205 div 1000 = 13; 37.5 -> 38 for 95 %.
        d.E_HR->setText("33");
        QCOMPARE(d.newHeight(), 13);
        QCOMPARE(d.E_HS->text(), QStringLiteral("13"));
        d.E_HR->setText("95");
        QCOMPARE(d.newHeight(), 38);
        QCOMPARE(d.newWidth(), 50);  // the other axis is untouched
    }

    void pixelFieldGivesRoundedPercent() {
        TSizeF d(101, 7, &NeverCalled, nullptr);
        // (50 + 51 x 100) div 101 = 5150 div 101 = 50
        d.E_WS->setText("51");
        QCOMPARE(d.newWidth(), 51);
        QCOMPARE(d.E_WR->text(), QStringLiteral("50"));
        QCOMPARE(d.E_WS->text(), QStringLiteral("51"));
        // 3 of 7 is 42.86 %: (3 + 300) div 7 = 43, rounded up.
        d.E_HS->setText("3");
        QCOMPARE(d.newHeight(), 3);
        QCOMPARE(d.E_HR->text(), QStringLiteral("43"));
        // Growing past 100 %: (50 + 25000) div 101 = 248
        d.E_WS->setText("250");
        QCOMPARE(d.E_WR->text(), QStringLiteral("248"));
    }

    void lettersGiveTheStartingSizeOrHundredPercent() {
        TSizeF d(101, 40, &NeverCalled, nullptr);
        d.E_WS->setText("60");
        d.E_WS->setText("abc");
        QCOMPARE(d.newWidth(), 101);
        QCOMPARE(d.E_WR->text(), QStringLiteral("100"));
        d.E_HR->setText("10");
        QCOMPARE(d.newHeight(), 4);
        d.E_HR->setText("ten");
        QCOMPARE(d.newHeight(), 40);  // 100 %: (100 x 40 x 10 + 5) div 1000
        QCOMPARE(d.E_HS->text(), QStringLiteral("40"));
        d.E_WR->setText("");
        QCOMPARE(d.newWidth(), 101);
    }

    void zeroAndNegativePixelsGiveOne() {
        TSizeF d(101, 40, &NeverCalled, nullptr);
        d.E_HS->setText("0");
        QCOMPARE(d.newHeight(), 1);
        // (20 + 100) div 40
        QCOMPARE(d.E_HR->text(), QStringLiteral("3"));
        QCOMPARE(d.E_HS->text(), QStringLiteral("0"));  // shown as typed until left
        d.E_WS->setText("-5");
        QCOMPARE(d.newWidth(), 1);
        // A percentage that yields no pixel gives one.
        d.E_WR->setText("0");
        QCOMPARE(d.newWidth(), 1);
        QCOMPARE(d.E_WS->text(), QStringLiteral("1"));
        d.E_HR->setText("1");  // (1 x 40 x 10 + 5) div 1000 = 0
        QCOMPARE(d.newHeight(), 1);
    }

    void percentArithmeticIsUnsignedThirtyTwoBit() {
        TSizeF d(101, 101, &NeverCalled, nullptr);
        // -50 is 2^32 - 50 unsigned; times 1010 modulo 2^32 that is
        // 2^32 - 50500 = 4294916796; plus 5, div 1000.
        d.E_WR->setText("-50");
        QCOMPARE(d.newWidth(), 4294916);
        QCOMPARE(d.E_WS->text(), QStringLiteral("4294916"));
        // 5000000 x 1010 = 5050000000, minus 2^32 = 755032704; +5, div 1000.
        d.E_HR->setText("5000000");
        QCOMPARE(d.newHeight(), 755032);
        // Beyond 32 bits the text is no number at all: 100 %.
        d.E_WR->setText("99999999999");
        QCOMPARE(d.newWidth(), 101);
    }

    void hugePixelCountsKeepSixtyFourBitPercentages() {
        TSizeF d(101, 40, &NeverCalled, nullptr);
        d.E_WS->setText("2147483647");
        QCOMPARE(d.newWidth(), INT32_MAX);
        // (50 + 214748364700) div 101, which needs 64 bits.
        QCOMPARE(d.E_WR->text(), QString::number((50LL + 214748364700LL) / 101));
        d.E_WS->setText("2147483648");  // not a 32-bit number
        QCOMPARE(d.newWidth(), 101);
    }

    void leavingAFieldShowsItsNormalForm() {
        TSizeF d(7, 40, &NeverCalled, nullptr);
        d.E_WS->setText("abc");
        d.E_WSExit();
        QCOMPARE(d.E_WS->text(), QStringLiteral("7"));
        d.E_HS->setText("0");
        d.E_HSExit();
        QCOMPARE(d.E_HS->text(), QStringLiteral("1"));
        QCOMPARE(d.newHeight(), 1);
        // Leaving the percentage shows it truncated: 3 x 100 div 7 = 42,
        // where the change handler showed the rounded 43. The size stays.
        d.E_WS->setText("3");
        QCOMPARE(d.E_WR->text(), QStringLiteral("43"));
        d.E_WRExit();
        QCOMPARE(d.E_WR->text(), QStringLiteral("42"));
        QCOMPARE(d.newWidth(), 3);
        QCOMPARE(d.E_WS->text(), QStringLiteral("3"));
        d.E_HR->setText("ab");
        d.E_HRExit();
        QCOMPARE(d.E_HR->text(), QStringLiteral("100"));
        // Without "Keep Aspective" the other axis stays as it was.
        QCOMPARE(d.E_HS->text(), QStringLiteral("40"));
    }

    void keepAspectFollowsTheWidthWhenLeavingIt() {
        TSizeF d(200, 100, &NeverCalled, nullptr);
        d.C_Aspect->setChecked(true);
        d.E_WS->setText("150");
        d.E_WSExit();
        // trunc(150 x 100 / 200 + 0.5) = 75
        QCOMPARE(d.E_HS->text(), QStringLiteral("75"));
        QCOMPARE(d.E_HR->text(), QStringLiteral("75"));
        QCOMPARE(d.newHeight(), 75);
        QCOMPARE(d.E_WR->text(), QStringLiteral("75"));
        QCOMPARE(d.newWidth(), 150);
    }

    void keepAspectFollowsEveryField() {
        TSizeF d(200, 100, &NeverCalled, nullptr);
        d.C_Aspect->setChecked(true);
        d.E_HS->setText("40");
        d.E_HSExit();
        QCOMPARE(d.E_WS->text(), QStringLiteral("80"));  // trunc(40 x 200 / 100 + 0.5)
        QCOMPARE(d.newWidth(), 80);
        QCOMPARE(d.E_WR->text(), QStringLiteral("40"));
        // Percentages: 30 % of 100 rows, then the width follows.
        d.E_HR->setText("30");
        d.E_HRExit();
        QCOMPARE(d.newHeight(), 30);
        QCOMPARE(d.E_WS->text(), QStringLiteral("60"));
        QCOMPARE(d.newWidth(), 60);
        d.E_WR->setText("25");
        d.E_WRExit();
        QCOMPARE(d.newWidth(), 50);
        QCOMPARE(d.E_HS->text(), QStringLiteral("25"));
        QCOMPARE(d.newHeight(), 25);
    }

    void keepAspectRoundsHalfUp() {
        TSizeF d(3, 7, &NeverCalled, nullptr);
        d.C_Aspect->setChecked(true);
        d.E_WS->setText("2");
        d.E_WSExit();
        QCOMPARE(d.newHeight(), 5);  // 2 x 7 / 3 = 4.67 -> 5
        d.E_WS->setText("1");
        d.E_WSExit();
        QCOMPARE(d.newHeight(), 2);  // 2.33 + 0.5 -> 2
        TSizeF e(4, 2, &NeverCalled, nullptr);
        e.C_Aspect->setChecked(true);
        e.E_WS->setText("3");
        e.E_WSExit();
        QCOMPARE(e.newHeight(), 2);  // 1.5 + 0.5 = 2 exactly
    }

    void checkingKeepAspectTakesTheLargerPercentage() {
        TSizeF d(200, 100, &NeverCalled, nullptr);
        d.E_WR->setText("150");
        d.E_HR->setText("120");
        QCOMPARE(d.newWidth(), 300);
        QCOMPARE(d.newHeight(), 120);
        d.C_Aspect->setChecked(true);
        QCOMPARE(d.E_HR->text(), QStringLiteral("150"));
        QCOMPARE(d.newHeight(), 150);
        QCOMPARE(d.E_HS->text(), QStringLiteral("150"));
        QCOMPARE(d.E_WR->text(), QStringLiteral("150"));
        QCOMPARE(d.newWidth(), 300);
        // Unchecking changes nothing.
        d.C_Aspect->setChecked(false);
        QCOMPARE(d.newWidth(), 300);
        QCOMPARE(d.newHeight(), 150);
    }

    void checkingKeepAspectWithTheTallerRatio() {
        TSizeF d(200, 100, &NeverCalled, nullptr);
        d.E_WR->setText("110");
        d.E_HS->setText("130");  // pixels: 130 %
        d.C_Aspect->setChecked(true);
        QCOMPARE(d.E_WR->text(), QStringLiteral("130"));
        QCOMPARE(d.newWidth(), 260);
        QCOMPARE(d.E_WS->text(), QStringLiteral("260"));
        // A percentage field holding letters counts as 100.
        TSizeF e(200, 100, &NeverCalled, nullptr);
        e.E_HS->setText("50");
        e.E_WR->setText("zz");  // width 200: ratio 1 > 0.5
        e.C_Aspect->setChecked(true);
        QCOMPARE(e.E_HR->text(), QStringLiteral("100"));
        QCOMPARE(e.newHeight(), 100);
    }

    void leavingAFieldByFocusRunsItsExitHandler() {
        Env env;
        bool was_active = false;
        QString height_after_tab;
        int code = -1;
        ScriptedDialog script([&](TSizeF &d) {
            d.activateWindow();
            was_active = QTest::qWaitForWindowActive(&d);
            d.C_Aspect->setChecked(true);
            d.E_WS->setFocus(Qt::OtherFocusReason);
            d.E_WS->selectAll();
            QTest::keyClicks(d.E_WS, "150");
            QTest::keyClick(d.E_WS, Qt::Key_Tab);
            height_after_tab = d.E_HS->text();
            d.B_Cancel->click();
        });
        code = kvzaedit::RunSizeDialog(200, 100, &NeverCalled, nullptr);
        QCOMPARE(script.runs, 1);
        QCOMPARE(code, 1);
        if (!was_active) QSKIP("the platform gave the dialog no focus");
        QCOMPARE(height_after_tab, QStringLiteral("75"));
    }

    // ---- driver ----

    void missingCallbackIsNullpo() {
        Env env;
        ScriptedDialog script([](TSizeF &d) { d.B_OK->click(); });
        QCOMPARE(kvzaedit::RunSizeDialog(4, 4, nullptr, nullptr), 1);
        QCOMPARE(script.runs, 0);
        QCOMPARE(env.boxes.log, QStringList({"error:nullpo"}));
    }

    void okCallsBackOnceWithTheFinalSettings() {
        Env env;
        Recorder::Reset(0);
        ScriptedDialog script([](TSizeF &d) {
            d.CB_Mode->setCurrentIndex(2);
            d.E_WS->setText("12");
            d.E_HR->setText("50");
            d.B_OK->click();
        });
        QCOMPARE(kvzaedit::RunSizeDialog(30, 20, &Recorder::Call, nullptr), 0);
        QCOMPARE(Recorder::calls, 1);
        QCOMPARE(Recorder::method, 2);
        QCOMPARE(Recorder::width, 12);
        QCOMPARE(Recorder::height, 10);
        QVERIFY(Recorder::main == nullptr);
        // OK hands back whatever the callback says.
        Recorder::Reset(5);
        QCOMPARE(kvzaedit::RunSizeDialog(30, 20, &Recorder::Call, nullptr), 5);
        QCOMPARE(Recorder::width, 12);
        QVERIFY(env.boxes.log.isEmpty());
    }

    void cancelAndEscapeNeverCallBack() {
        Env env;
        Recorder::Reset(0);
        {
            ScriptedDialog script([](TSizeF &d) { d.B_Cancel->click(); });
            QCOMPARE(kvzaedit::RunSizeDialog(30, 20, &Recorder::Call, nullptr), 1);
        }
        {
            ScriptedDialog script([](TSizeF &d) { QTest::keyClick(&d, Qt::Key_Escape); });
            QCOMPARE(kvzaedit::RunSizeDialog(30, 20, &Recorder::Call, nullptr), 1);
        }
        {
            ScriptedDialog script([](TSizeF &d) { d.close(); });
            QCOMPARE(kvzaedit::RunSizeDialog(30, 20, &Recorder::Call, nullptr), 1);
        }
        QCOMPARE(Recorder::calls, 0);
    }

    void previewTwiceThenCancelLeavesDocumentAndHistory() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(4, 3, maintest::Distinct));
        w.A_Gray->trigger();  // one step of history to keep
        w.Modified = 0;
        KvzaImage *const cur = w.CurImg;
        ImagePtr before = maintest::Clone(cur);
        const History history(w);
        int width_after_first = 0, width_after_second = 0, undo_after_second = 0;
        bool shown_after_second = false;
        ScriptedDialog script([&](TSizeF &d) {
            d.E_WS->setText("8");
            d.E_HS->setText("6");
            d.B_Prev->click();
            width_after_first = w.CurImg->width;
            d.E_WS->setText("9");
            d.B_Prev->click();
            width_after_second = w.CurImg->width;
            undo_after_second = UndoDepth(w);
            shown_after_second = d.previewShown();
            d.B_Cancel->click();
        });
        w.A_Size->trigger();
        QCOMPARE(script.runs, 1);
        QCOMPARE(width_after_first, 8);
        QCOMPARE(width_after_second, 9);
        QCOMPARE(undo_after_second, 2);  // one preview step on top of the gray map
        QVERIFY(shown_after_second);
        // As before: the same image, history and state.
        QCOMPARE(w.CurImg, cur);
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QVERIFY(History(w) == history);
        QCOMPARE(RedoDepth(w), 0);
        QVERIFY(!w.A_Redo->isEnabled());
        QVERIFY(w.A_Undo->isEnabled());
        QCOMPARE(w.Modified, uint8_t(0));
        // The view was refreshed back to the image's size.
        QCOMPARE(w.Img->size(), QSize(4, 3));
        QVERIFY(env.boxes.log.isEmpty());
    }

    void previewThenOkLeavesExactlyOneStep() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(4, 4, maintest::Distinct));
        w.Modified = 0;
        KvzaImage *const original = w.CurImg;
        ImagePtr before = maintest::Clone(original);
        ScriptedDialog script([](TSizeF &d) {
            d.CB_Mode->setCurrentIndex(0);  // Near
            d.E_WR->setText("200");
            d.E_HR->setText("200");
            d.B_Prev->click();
            d.B_OK->click();
        });
        w.A_Size->trigger();
        QCOMPARE(w.CurImg->width, 8);
        QCOMPARE(w.CurImg->height, 8);
        QCOMPARE(UndoDepth(w), 1);
        QCOMPARE(RedoDepth(w), 0);
        QCOMPARE(w.UndoBuf[0], original);
        QCOMPARE(w.Modified, uint8_t(1));
        QCOMPARE(w.Img->size(), QSize(8, 8));
        // Nearest-neighbour doubling repeats every pixel of the original.
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                QVERIFY(std::memcmp(&maintest::At(w.CurImg, x, y),
                                    &maintest::At(before.get(), x / 2, y / 2),
                                    sizeof(KvzaPixel)) == 0);
        w.A_Undo->trigger();
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QVERIFY(!w.A_Undo->isEnabled());
    }

    void cancelAfterNoPreviewStillRefreshes() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(5, 2, maintest::Distinct));
        w.Modified = 0;
        w.Img->resize(1, 1);  // a stale view, so the refresh shows
        ScriptedDialog script([](TSizeF &d) { d.B_Cancel->click(); });
        w.A_Size->trigger();
        QCOMPARE(w.Img->size(), QSize(5, 2));
        QCOMPARE(UndoDepth(w), 0);
        QCOMPARE(w.Modified, uint8_t(0));
    }

    void sizesBeyondMemoryEndInOutOfMemory() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(101, 101, maintest::Distinct));
        w.A_Gray->trigger();
        w.Modified = 0;
        KvzaImage *const cur = w.CurImg;
        ImagePtr before = maintest::Clone(cur);
        const History history(w);
        bool shown = true;
        // Negative percentages ask for 4294916 x 4294916 pixels.
        ScriptedDialog script([&](TSizeF &d) {
            d.E_WR->setText("-50");
            d.E_HR->setText("-50");
            d.B_Prev->click();
            shown = d.previewShown();
            d.B_OK->click();
        });
        w.A_Size->trigger();
        QVERIFY(!shown);
        QCOMPARE(env.boxes.log, QStringList({"error:out of memory", "error:out of memory"}));
        QCOMPARE(w.CurImg, cur);
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QVERIFY(History(w) == history);
        QCOMPARE(w.Modified, uint8_t(0));
    }

    void largestPixelSizesEndInOutOfMemory() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(3, 3, maintest::Distinct));
        w.Modified = 0;
        KvzaImage *const cur = w.CurImg;
        ScriptedDialog script([](TSizeF &d) {
            d.E_WS->setText("2147483647");
            d.E_HS->setText("2147483647");
            d.B_OK->click();
        });
        w.A_Size->trigger();
        QCOMPARE(env.boxes.log, QStringList({"error:out of memory"}));
        QCOMPARE(w.CurImg, cur);
        QCOMPARE(w.CurImg->width, 3);
        QCOMPARE(UndoDepth(w), 0);
        QCOMPARE(w.Modified, uint8_t(0));
    }

    void noDocumentNoDialog() {
        Env env;
        TMainF w;
        ScriptedDialog script([](TSizeF &d) { d.B_OK->click(); });
        w.A_SizeExecute();
        QCOMPARE(script.runs, 0);
        QVERIFY(w.CurImg == nullptr);
        QCOMPARE(w.Modified, uint8_t(0));
    }
};

QTEST_MAIN(ResizeSizeTest)
#include "resize_size_test.moc"
