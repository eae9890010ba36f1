// The transparentize dialog: controls and radio buttons, parsing and
// rewriting of the fields, the values handed to the operation, each
// reference and the tolerance rules of the document operation, and preview,
// OK and cancel through the undo history.
#include <QAction>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <cmath>
#include <limits>
#include <vector>

#include "F_main.h"
#include "F_trans.h"
#include "main_fixture.h"

using kvzaedit::ParseFieldInt;
using kvzaedit::RunTransDialog;
using kvzaedit::TMainF;
using kvzaedit::ToleranceFromInt;
using kvzaedit::ToleranceText;
using kvzaedit::TTransF;
using maintest::At;
using maintest::Env;

namespace {

// Arguments of the last call of the recording operation.
struct Call {
    int count = 0;
    void *main = nullptr;
    int32_t reference = -1, x = 0, y = 0;
    float ta = 0, tw = 0, tc = 0, th = 0;
    int result = 0;
};
Call g_call;

int RecordOp(void *main, int32_t reference, int32_t x, float ta, float tw, float tc, float th,
             int32_t y) {
    ++g_call.count;
    g_call.main = main;
    g_call.reference = reference;
    g_call.x = x;
    g_call.y = y;
    g_call.ta = ta;
    g_call.tw = tw;
    g_call.tc = tc;
    g_call.th = th;
    return g_call.result;
}

// Runs the dialog with a hook that acts on it; the hook is removed after.
int RunWith(TMainF &w, const std::function<void(TTransF &)> &act,
            kvzaedit::TransOpFn op = &TMainF::TransparentizeRefCb) {
    kvzaedit::SetTransDialogHook(act);
    const int result = RunTransDialog(op, &w);
    kvzaedit::SetTransDialogHook(nullptr);
    return result;
}

void FocusOut(QLineEdit *edit) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
}

// Which pixels are fully transparent, row by row ('0') or not ('1').
QString AlphaMap(const KvzaImage *img) {
    QString out;
    for (int y = 0; y < img->height; ++y) {
        if (y > 0) out += QLatin1Char('/');
        for (int x = 0; x < img->width; ++x)
            out += img->pixels[y * img->width + x].a == 0.0f ? QLatin1Char('0') : QLatin1Char('1');
    }
    return out;
}

const KvzaPixel kRed{1.0f, 0.0f, 0.0f, 1.0f};
const KvzaPixel kCyan{-1.0f, 0.0f, 0.0f, 1.0f};
KvzaPixel Grey(float w, float a = 1.0f) {
    return KvzaPixel{0.0f, 0.0f, w, a};
}

// 4 x 3: every corner its own grey, each repeated once inside, so a zero
// tolerance picks exactly the corner and its twin.
//   row 0: A B C D    A = -0.8, B = 0.1, C = -0.4, D = 0.2
//   row 1: B E F C    E = 0.3, F = 0.35, G = -0.2, H = 0.6
//   row 2: G D A H
KvzaImage *Corners() {
    const float w[3][4] = {
        {-0.8f, 0.1f, -0.4f, 0.2f}, {0.1f, 0.3f, 0.35f, -0.4f}, {-0.2f, 0.2f, -0.8f, 0.6f}};
    return maintest::MakeImage(4, 3, [&](int x, int y) { return Grey(w[y][x]); });
}

}  // namespace

class TransTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { g_call = Call(); }
    void cleanup() { kvzaedit::SetTransDialogHook(nullptr); }

    // ---- controls ----

    void controlsAtStart() {
        TTransF d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Transparentize"));
        QCOMPARE(d.size(), QSize(395, 210));
        QCOMPARE(d.GroupBox1->title(), QStringLiteral("Reference"));
        QCOMPARE(d.GroupBox2->title(), QStringLiteral("Threshold"));
        QCOMPARE(d.R_Any->text(), QStringLiteral("Any Point"));
        QVERIFY(d.R_LU->isChecked());
        QCOMPARE(d.RefMode, 1);
        QVERIFY(!d.E_PX->isEnabled());
        QVERIFY(!d.E_PY->isEnabled());
        for (QLineEdit *e : {d.E_PX, d.E_PY, d.E_Hue, d.E_Chroma, d.E_Bright, d.E_Alpha})
            QCOMPARE(e->text(), QStringLiteral("0"));
        QCOMPARE(d.B_OK->text(), QStringLiteral("OK"));
        QVERIFY(d.B_OK->isDefault());
        QCOMPARE(d.B_Prev->text(), QStringLiteral("Preview"));
        QCOMPARE(d.B_Cancel->text(), QStringLiteral("Cancel"));
        QVERIFY(!d.Confirmed);
        QVERIFY(!d.PreviewShown);
        // Names of the controls, and the captions of the labels.
        for (const char *name : {"R_LU", "R_RU", "R_LD", "R_RD", "R_Any"})
            QVERIFY2(d.findChild<QRadioButton *>(QString::fromLatin1(name)) != nullptr, name);
        for (const char *name : {"E_PX", "E_PY", "E_Hue", "E_Chroma", "E_Bright", "E_Alpha"})
            QVERIFY2(d.findChild<QLineEdit *>(QString::fromLatin1(name)) != nullptr, name);
        QStringList labels;
        for (QLabel *l : d.findChildren<QLabel *>()) labels << l->text();
        for (const char *text :
             {"Top", "Bottom", "Left", "Right", "Hue", "Chroma", "Bright", "Alpha"})
            QVERIFY2(labels.contains(QString::fromLatin1(text)), text);
        QCOMPARE(labels.count(QStringLiteral("%")), 4);
    }

    void radioButtonsSetTheReference() {
        TTransF d;
        d.E_PX->setText(QStringLiteral("5"));
        d.E_PY->setText(QStringLiteral("-6"));
        d.R_Any->click();
        QCOMPARE(d.RefMode, 0);
        QVERIFY(d.E_PX->isEnabled());
        QVERIFY(d.E_PY->isEnabled());
        d.R_RD->click();
        QCOMPARE(d.RefMode, 4);
        QVERIFY(!d.E_PX->isEnabled());
        QVERIFY(!d.E_PY->isEnabled());
        // The point is kept while the fields are disabled.
        QCOMPARE(d.E_PX->text(), QStringLiteral("5"));
        QCOMPARE(d.PointX, 5);
        QCOMPARE(d.PointY, -6);
        d.R_RU->click();
        QCOMPARE(d.RefMode, 2);
        d.R_LD->click();
        QCOMPARE(d.RefMode, 3);
        d.R_LU->click();
        QCOMPARE(d.RefMode, 1);
    }

    // ---- fields ----

    void parseFieldInt() {
        QCOMPARE(ParseFieldInt(QStringLiteral("12")), 12);
        QCOMPARE(ParseFieldInt(QStringLiteral("-7")), -7);
        QCOMPARE(ParseFieldInt(QStringLiteral("+3")), 3);
        QCOMPARE(ParseFieldInt(QStringLiteral("  4")), 4);
        QCOMPARE(ParseFieldInt(QStringLiteral("0042")), 42);
        QCOMPARE(ParseFieldInt(QStringLiteral("12abc")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("abc")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("-")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("4 ")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("1.5")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("1e3")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("2147483647")), 2147483647);
        QCOMPARE(ParseFieldInt(QStringLiteral("-2147483648")), std::numeric_limits<int32_t>::min());
        QCOMPARE(ParseFieldInt(QStringLiteral("2147483648")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("-2147483649")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("99999999999999999999999")), 0);
        QCOMPARE(ParseFieldInt(QStringLiteral("１２")), 0);  // full-width digits
    }

    void toleranceConversions() {
        // n x 0.01f: 50 % is exactly one half, 100 % exactly one.
        QCOMPARE(ToleranceFromInt(50), 0.5f);
        QCOMPARE(ToleranceFromInt(100), 1.0f);
        QCOMPARE(ToleranceFromInt(0), 0.0f);
        QVERIFY(std::fabs(ToleranceFromInt(10) - 0.1f) < 1e-7f);
        QVERIFY(std::fabs(ToleranceFromInt(-5) + 0.05f) < 1e-7f);
        // Rewrite: integer part of t x 100 + 0.5, toward zero.
        QCOMPARE(ToleranceText(0.5f), QStringLiteral("50"));
        QCOMPARE(ToleranceText(0.07f), QStringLiteral("7"));
        QCOMPARE(ToleranceText(0.0f), QStringLiteral("0"));
        QCOMPARE(ToleranceText(0.004f), QStringLiteral("0"));
        QCOMPARE(ToleranceText(0.006f), QStringLiteral("1"));
        // -5 % is -0.05: -5 + 0.5 = -4.5, truncated toward zero: -4.
        QCOMPARE(ToleranceText(-0.05f), QStringLiteral("-4"));
        QCOMPARE(ToleranceText(std::numeric_limits<float>::quiet_NaN()), QStringLiteral("0"));
    }

    void fieldChangesStoreValues() {
        TTransF d;
        d.E_Hue->setText(QStringLiteral("50"));
        d.E_Chroma->setText(QStringLiteral("100"));
        d.E_Bright->setText(QStringLiteral("25"));
        d.E_Alpha->setText(QStringLiteral("12x"));
        d.E_PX->setText(QStringLiteral("-3"));
        d.E_PY->setText(QStringLiteral("70000"));
        QCOMPARE(d.THue, 0.5f);
        QCOMPARE(d.TChroma, 1.0f);
        QCOMPARE(d.TBright, 0.25f);
        QCOMPARE(d.TAlpha, 0.0f);
        QCOMPARE(d.PointX, -3);
        QCOMPARE(d.PointY, 70000);
        // Editing back to a number stores it again.
        d.E_Alpha->setText(QStringLiteral("12"));
        QVERIFY(std::fabs(d.TAlpha - 0.12f) < 1e-7f);
    }

    void leavingAFieldRewritesIt() {
        TTransF d;
        d.E_Hue->setText(QStringLiteral("12abc"));
        FocusOut(d.E_Hue);  // through the focus event, as the user leaves it
        QCOMPARE(d.E_Hue->text(), QStringLiteral("0"));
        QCOMPARE(d.THue, 0.0f);

        d.E_Chroma->setText(QStringLiteral("-5"));
        FocusOut(d.E_Chroma);
        QCOMPARE(d.E_Chroma->text(), QStringLiteral("-4"));
        QVERIFY(std::fabs(d.TChroma + 0.04f) < 1e-7f);  // stored again from the new text

        d.E_Bright->setText(QStringLiteral("+033"));
        d.E_BrightExit();
        QCOMPARE(d.E_Bright->text(), QStringLiteral("33"));

        // 2147483647 x 0.01 is held as the float 21474836, shown as
        // 2147483600.
        d.E_Alpha->setText(QStringLiteral("2147483647"));
        d.E_AlphaExit();
        QCOMPARE(d.E_Alpha->text(), QStringLiteral("2147483600"));
        d.E_Alpha->setText(QStringLiteral("99999999999"));
        d.E_AlphaExit();
        QCOMPARE(d.E_Alpha->text(), QStringLiteral("0"));

        d.E_PX->setText(QStringLiteral("  12"));
        FocusOut(d.E_PX);
        QCOMPARE(d.E_PX->text(), QStringLiteral("12"));
        d.E_PY->setText(QStringLiteral("y"));
        d.E_PYExit();
        QCOMPARE(d.E_PY->text(), QStringLiteral("0"));
        d.E_PY->setText(QStringLiteral("-2147483648"));
        d.E_PYExit();
        QCOMPARE(d.E_PY->text(), QStringLiteral("-2147483648"));
    }

    // ---- the operation's arguments, RunTransDialog ----

    void valuesReachTheOperationInOrder() {
        Env env;
        TMainF w;
        maintest::Adopt(w, Corners());
        const int result = RunWith(
            w,
            [](TTransF &d) {
                d.R_Any->click();
                d.E_PX->setText(QStringLiteral("3"));
                d.E_PY->setText(QStringLiteral("-2"));
                d.E_Hue->setText(QStringLiteral("10"));
                d.E_Chroma->setText(QStringLiteral("20"));
                d.E_Bright->setText(QStringLiteral("30"));
                d.E_Alpha->setText(QStringLiteral("40"));
                d.B_OK->click();
            },
            &RecordOp);
        QCOMPARE(result, 0);
        QCOMPARE(g_call.count, 1);
        QCOMPARE(g_call.main, static_cast<void *>(&w));
        QCOMPARE(g_call.reference, 0);
        QCOMPARE(g_call.x, 3);
        QCOMPARE(g_call.y, -2);
        QCOMPARE(g_call.ta, ToleranceFromInt(40));
        QCOMPARE(g_call.tw, ToleranceFromInt(30));
        QCOMPARE(g_call.tc, ToleranceFromInt(20));
        QCOMPARE(g_call.th, ToleranceFromInt(10));
    }

    void failingOperation() {
        Env env;
        TMainF w;
        maintest::Adopt(w, Corners());
        g_call.result = 1;
        bool shown = true;
        const int result = RunWith(
            w,
            [&shown](TTransF &d) {
                d.B_Prev->click();
                shown = d.PreviewShown;
                d.B_OK->click();
            },
            &RecordOp);
        QVERIFY(!shown);  // a failed preview is not noted
        QCOMPARE(g_call.count, 2);
        QCOMPARE(result, 1);
        QCOMPARE(maintest::UndoDepth(w), 0);
    }

    void missingOperationIsNullpo() {
        Env env;
        TMainF w;
        bool ran = false;
        kvzaedit::SetTransDialogHook([&ran](TTransF &d) {
            ran = true;
            d.B_Cancel->click();
        });
        QCOMPARE(RunTransDialog(nullptr, &w), 1);
        QCoreApplication::processEvents();
        QVERIFY(!ran);
        QCOMPARE(env.boxes.log, QStringList{QStringLiteral("error:nullpo")});
    }

    void cancelAndCloseDoNotRun() {
        Env env;
        TMainF w;
        maintest::Adopt(w, Corners());
        QCOMPARE(RunWith(
                     w, [](TTransF &d) { d.B_Cancel->click(); }, &RecordOp),
                 1);
        QCOMPARE(RunWith(
                     w, [](TTransF &d) { d.close(); }, &RecordOp),
                 1);
        QCOMPARE(RunWith(
                     w, [](TTransF &d) { d.reject(); }, &RecordOp),
                 1);  // Escape
        QCOMPARE(g_call.count, 0);
    }

    // ---- references and tolerances, through the document ----

    void eachReference() {
        const struct {
            int mode;
            int x, y;
            const char *map;
        } cases[] = {
            {1, 0, 0, "0111/1111/1101"},   // A = -0.8 at (0,0) and (2,2)
            {2, 0, 0, "1110/1111/1011"},   // D = 0.2 at (3,0) and (1,2)
            {3, 0, 0, "1111/1111/0111"},   // G = -0.2 at (0,2) only
            {4, 0, 0, "1111/1111/1110"},   // H = 0.6 at (3,2) only
            {0, 1, 1, "1111/1011/1111"},   // E = 0.3 at (1,1)
            {0, 3, 0, "1110/1111/1011"},   // D = 0.2 at (3,0) and (1,2)
            {0, -5, 0, "0111/1111/1101"},  // clamped to (0,0)
            {0, 1, 9, "1110/1111/1011"},   // clamped to (1,2): D
        };
        for (const auto &c : cases) {
            Env env;
            TMainF w;
            maintest::Adopt(w, Corners());
            const int result = RunWith(w, [&c](TTransF &d) {
                QAbstractButton *radio[5] = {d.R_Any, d.R_LU, d.R_RU, d.R_LD, d.R_RD};
                radio[c.mode]->click();
                d.E_PX->setText(QString::number(c.x));
                d.E_PY->setText(QString::number(c.y));
                d.B_OK->click();
            });
            QCOMPARE(result, 0);
            QCOMPARE(AlphaMap(w.CurImg), QString::fromLatin1(c.map));
            QCOMPARE(maintest::UndoDepth(w), 1);
        }
    }

    void anyPointWrapsThroughTheImage() {
        Env env;
        TMainF w;
        KvzaImage *img = Corners();
        img->wrapx = 1;  // Wrap
        maintest::Adopt(w, img);
        // (7, 1) tiles to (3, 1): C = -0.4 at (2,0) and (3,1).
        QCOMPARE(w.TransparentizeRef(0, 7, 0.0f, 0.0f, 0.0f, 0.0f, 1), 0);
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("1101/1110/1111"));
    }

    void brightnessTolerance() {
        Env env;
        TMainF w;
        // Reference black (top left); 100 % admits half of the w range.
        maintest::Adopt(w, maintest::MakeImage(5, 1, [](int x, int) {
                            const float ws[5] = {-1.0f, -0.5f, 0.0f, 0.05f, 0.5f};
                            return Grey(ws[x]);
                        }));
        QCOMPARE(w.TransparentizeRef(1, 0, 0.0f, ToleranceFromInt(100), 0.0f, 0.0f, 0), 0);
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("00011"));
        w.UndoStep(false);
        QCOMPARE(w.TransparentizeRef(1, 0, 0.0f, ToleranceFromInt(51), 0.0f, 0.0f, 0), 0);
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("00111"));
    }

    void alphaTolerance() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(4, 1, [](int x, int) {
                            const float as[4] = {1.0f, 0.8f, 0.6f, 0.2f};
                            return Grey(0.0f, as[x]);
                        }));
        QCOMPARE(w.TransparentizeRef(1, 0, ToleranceFromInt(41), 0.0f, 0.0f, 0.0f, 0), 0);
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("0001"));
        w.UndoStep(false);
        QCOMPARE(w.TransparentizeRef(1, 0, ToleranceFromInt(39), 0.0f, 0.0f, 0.0f, 0), 0);
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("0011"));
    }

    void hueAndChromaTolerances() {
        Env env;
        TMainF w;
        // Red reference; cyan is half a turn away; a colour at 80 degrees
        // (0.222 turns); grey has no hue; a half-chroma red.
        const float rad = 80.0f * 3.14159265f / 180.0f;
        const KvzaPixel at80{std::cos(rad), std::sin(rad), 0.0f, 1.0f};
        const KvzaPixel pale{0.5f, 0.0f, 0.0f, 1.0f};
        const KvzaPixel pixels[5] = {kRed, kCyan, at80, Grey(0.0f), pale};
        maintest::Adopt(w, maintest::MakeImage(5, 1, [&](int x, int) { return pixels[x]; }));
        const float c1 = ToleranceFromInt(1);
        // 50 % admits every hue.
        QCOMPARE(w.TransparentizeRef(1, 0, 0.0f, 0.0f, c1, ToleranceFromInt(50), 0), 0);
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("00011"));
        w.UndoStep(false);
        // 25 % admits 80 degrees, not cyan.
        QCOMPARE(w.TransparentizeRef(1, 0, 0.0f, 0.0f, c1, ToleranceFromInt(25), 0), 0);
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("01011"));
        w.UndoStep(false);
        // Full chroma tolerance with no hue tolerance: grey matches (no hue),
        // the half-chroma red too (same hue); the other hues do not.
        QCOMPARE(w.TransparentizeRef(1, 0, 0.0f, 0.0f, ToleranceFromInt(100), 0.0f, 0), 0);
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("01100"));
        w.UndoStep(false);
        // Negative tolerances admit nothing, not even the reference.
        QCOMPARE(w.TransparentizeRef(1, 0, -0.01f, 1.0f, 1.0f, 1.0f, 0), 0);
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("11111"));
    }

    // ---- preview, OK, cancel ----

    void previewTwiceThenCancelLeavesNoTrace() {
        Env env;
        TMainF w;
        maintest::Adopt(w, Corners());
        // One earlier edit in the history.
        QCOMPARE(w.TransparentizeRef(4, 0, 0.0f, 0.0f, 0.0f, 0.0f, 0), 0);
        w.Modified = 0;
        const auto before = maintest::Clone(w.CurImg);
        const auto slot0 = maintest::Clone(w.UndoBuf[0]);
        const QImage view_before = w.Img->Bitmap.copy();
        QString first, second;
        int depth_first = -1, depth_second = -1;
        bool noted = false;
        const int result = RunWith(w, [&](TTransF &d) {
            d.B_Prev->click();
            first = AlphaMap(w.CurImg);
            depth_first = maintest::UndoDepth(w);
            d.E_Bright->setText(QStringLiteral("45"));  // -0.8 +- 0.45: A and C
            d.B_Prev->click();
            second = AlphaMap(w.CurImg);
            depth_second = maintest::UndoDepth(w);
            noted = d.PreviewShown;
            d.B_Cancel->click();
        });
        QCOMPARE(result, 1);
        QCOMPARE(first, QStringLiteral("0111/1111/1100"));
        QCOMPARE(depth_first, 2);
        // The second preview replaced the first instead of adding to it.
        QCOMPARE(second, QStringLiteral("0101/1110/1100"));
        QCOMPARE(depth_second, 2);
        QVERIFY(noted);
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QCOMPARE(maintest::UndoDepth(w), 1);
        QCOMPARE(maintest::RedoDepth(w), 0);
        QVERIFY(maintest::SamePixels(w.UndoBuf[0], slot0.get()));
        QVERIFY(!w.A_Redo->isEnabled());
        QVERIFY(w.A_Undo->isEnabled());
        QCOMPARE(w.Modified, uint8_t{0});
        QCOMPARE(w.Img->Bitmap, view_before);  // the view shows the image again
    }

    void previewThenOkLeavesOneStep() {
        Env env;
        TMainF w;
        maintest::Adopt(w, Corners());
        const auto before = maintest::Clone(w.CurImg);
        kvzaedit::SetTransDialogHook([](TTransF &d) {
            d.E_Bright->setText(QStringLiteral("90"));
            d.B_Prev->click();
            d.E_Bright->setText(QStringLiteral("0"));
            d.B_OK->click();
        });
        w.A_BackTrans->trigger();
        kvzaedit::SetTransDialogHook(nullptr);
        // The confirmed values (0 %) were applied afresh, once.
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("0111/1111/1101"));
        QCOMPARE(maintest::UndoDepth(w), 1);
        QCOMPARE(maintest::RedoDepth(w), 0);
        QVERIFY(maintest::SamePixels(w.UndoBuf[0], before.get()));
        QCOMPARE(w.Modified, uint8_t{1});
        w.A_Undo->trigger();
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QVERIFY(!w.A_Undo->isEnabled());
    }

    void okWithoutPreview() {
        Env env;
        TMainF w;
        maintest::Adopt(w, Corners());
        kvzaedit::SetTransDialogHook([](TTransF &d) {
            d.R_RD->click();
            d.B_OK->click();
        });
        w.A_BackTrans->trigger();
        QCOMPARE(AlphaMap(w.CurImg), QStringLiteral("1111/1111/1110"));
        QCOMPARE(maintest::UndoDepth(w), 1);
        QCOMPARE(w.Modified, uint8_t{1});
    }

    void commandCancelledOrWithoutDocument() {
        Env env;
        TMainF w;
        int shown = 0;
        kvzaedit::SetTransDialogHook([&shown](TTransF &d) {
            ++shown;
            d.B_Prev->click();
            d.B_Cancel->click();
        });
        w.A_BackTransExecute();  // no document: no dialog
        QCOMPARE(shown, 0);
        maintest::Adopt(w, Corners());
        const auto before = maintest::Clone(w.CurImg);
        w.A_BackTrans->trigger();
        QCOMPARE(shown, 1);
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QCOMPARE(maintest::UndoDepth(w), 0);
        QVERIFY(!w.A_Undo->isEnabled());
        QCOMPARE(w.Modified, uint8_t{0});
        QVERIFY(env.boxes.log.isEmpty());
    }
};

QTEST_MAIN(TransTest)
#include "pixtrans_trans_test.moc"
