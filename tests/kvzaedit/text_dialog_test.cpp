// The dialog "Text Importer": its controls, the weight names, the font and
// colour dialogs, confirming and cancelling, and A_TextIn on the window.
#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>
#include <memory>

#include "F_main.h"
#include "F_text.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using kvzaedit::TTextF;
using maintest::Env;

namespace {

const QString kFace = QStringLiteral("ＭＳ Ｐゴシック");

// What the operation was called with.
struct Call {
    int count = 0;
    TMainF *main = nullptr;
    QString face;
    uint8_t charset = 0;
    QStringList lines;
    uint32_t back = 0, text = 0;
    int32_t weight = 0, height = 0;
};
Call g_call;

int RecordCall(TMainF *main, const QString &face, uint8_t charset, const QStringList &lines,
               uint32_t back, uint32_t text, int32_t weight, int32_t height) {
    g_call.count++;
    g_call.main = main;
    g_call.face = face;
    g_call.charset = charset;
    g_call.lines = lines;
    g_call.back = back;
    g_call.text = text;
    g_call.weight = weight;
    g_call.height = height;
    return 0;
}

// Answers the colour dialogs with colour, the font dialog with font.
struct Picker {
    QColor colour;
    QFont font;
    bool accept = true;
    QStringList seen;  // object names of the dialogs shown
};

void InstallPicker(Picker *picker) {
    kvzaedit::SetTextPickerHook([picker](QDialog &dialog) {
        picker->seen << dialog.objectName();
        if (auto *colours = qobject_cast<QColorDialog *>(&dialog))
            colours->setCurrentColor(picker->colour);
        if (auto *fonts = qobject_cast<QFontDialog *>(&dialog)) fonts->setCurrentFont(picker->font);
        if (picker->accept)
            dialog.accept();
        else
            dialog.reject();
    });
}

QColor MemoText(const TTextF &f) {
    return f.TextBox->palette().color(QPalette::Text);
}
QColor MemoBack(const TTextF &f) {
    return f.TextBox->palette().color(QPalette::Base);
}

}  // namespace

class TextDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { kvzaedit::RegisterFontSubstitutes(); }
    void cleanup() {
        kvzaedit::SetTextPickerHook(nullptr);
        kvzaedit::SetTextDialogHook(nullptr);
        kvzaedit::SetTextSendHook(nullptr);
        g_call = Call{};
    }

    // ---- the form ----

    void formAndControls() {
        TTextF f;
        QCOMPARE(f.windowTitle(), QStringLiteral("Text Importer"));
        QCOMPARE(f.size(), QSize(329, 264));
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("Font"));
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("Label2"))->text(), QStringLiteral("Weight"));
        auto *font = f.findChild<QLineEdit *>(QStringLiteral("E_Font"));
        QVERIFY(font != nullptr && font->isReadOnly());
        QCOMPARE(font->text(), kFace);
        QCOMPARE(f.findChild<QPushButton *>(QStringLiteral("B_FontSel"))->text(),
                 QStringLiteral("形"));
        QCOMPARE(f.findChild<QPushButton *>(QStringLiteral("B_ColSel"))->text(),
                 QStringLiteral("色"));
        QCOMPARE(f.findChild<QPushButton *>(QStringLiteral("B_BColSel"))->text(),
                 QStringLiteral("後"));
        auto *ok = f.findChild<QPushButton *>(QStringLiteral("B_OK"));
        QVERIFY(ok != nullptr && ok->isDefault());
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(f.findChild<QPushButton *>(QStringLiteral("B_Cancel"))->text(),
                 QStringLiteral("Cancel"));
        auto *bar = f.findChild<QSlider *>(QStringLiteral("TB_Weight"));
        QVERIFY(bar != nullptr);
        QCOMPARE(bar->minimum(), 1);
        QCOMPARE(bar->maximum(), 9);
        QCOMPARE(bar->value(), 4);
        QCOMPARE(bar->tickPosition(), QSlider::TicksBelow);
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("L_Weight"))->text(),
                 QStringLiteral("Normal"));
        auto *memo = f.findChild<QPlainTextEdit *>(QStringLiteral("TextBox"));
        QVERIFY(memo != nullptr);
        QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(memo->font().pixelSize(), 16);
        QCOMPARE(memo->font().family(), kFace);
        QCOMPARE(MemoText(f), QColor(Qt::white));
        QCOMPARE(MemoBack(f), QColor(Qt::black));
        QCOMPARE(f.OK, 0);
        QCOMPARE(f.FontSelHeight(), -16);
    }

    // ---- weights ----

    void weightNames() {
        const char *names[] = {"Dont Care", "Thin",      "Extra Light", "Light",      "Normal",
                               "Medium",    "Semi Bold", "Bold",        "Extra Bold", "Heavy"};
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(kvzaedit::WeightName(i), QString::fromLatin1(names[i]));
            QCOMPARE(kvzaedit::WeightOfPosition(i), i * 100);
        }
        QVERIFY(kvzaedit::WeightName(10).isEmpty());
        QVERIFY(kvzaedit::WeightName(-1).isEmpty());
    }

    void trackBarShowsTheName() {
        TTextF f;
        f.TB_Weight->setValue(7);
        QCOMPARE(f.L_Weight->text(), QStringLiteral("Bold"));
        f.TB_Weight->setValue(1);
        QCOMPARE(f.L_Weight->text(), QStringLiteral("Thin"));
        f.TB_Weight->setValue(9);
        QCOMPARE(f.L_Weight->text(), QStringLiteral("Heavy"));
        // Position 0 is out of range: the bar stays at 1.
        f.TB_Weight->setValue(0);
        QCOMPARE(f.TB_Weight->value(), 1);
        QCOMPARE(f.L_Weight->text(), QStringLiteral("Thin"));
    }

    // ---- colours and font ----

    void colourDialogsSetTheMemo() {
        TTextF f;
        Picker picker;
        InstallPicker(&picker);
        picker.colour = QColor(255, 0, 0);
        f.B_ColSel->click();
        QCOMPARE(MemoText(f), QColor(255, 0, 0));
        QCOMPARE(f.TextColour(), uint32_t{0x0000FF});
        picker.colour = QColor(0, 0, 255);
        f.B_BColSel->click();
        QCOMPARE(MemoBack(f), QColor(0, 0, 255));
        QCOMPARE(f.BackColour(), uint32_t{0xFF0000});
        QCOMPARE(picker.seen, (QStringList{QStringLiteral("ColSel"), QStringLiteral("BColSel")}));
        // Cancelled dialogs change nothing.
        picker.accept = false;
        picker.colour = QColor(0, 255, 0);
        f.B_ColSel->click();
        f.B_BColSel->click();
        QCOMPARE(MemoText(f), QColor(255, 0, 0));
        QCOMPARE(MemoBack(f), QColor(0, 0, 255));
    }

    void colourDialogsStartOnTheirColours() {
        TTextF f;
        QColor start;
        kvzaedit::SetTextPickerHook([&start](QDialog &dialog) {
            start = qobject_cast<QColorDialog *>(&dialog)->currentColor();
            dialog.reject();
        });
        f.B_ColSel->click();
        QCOMPARE(start, QColor(Qt::white));
        f.B_BColSel->click();
        QCOMPARE(start, QColor(Qt::black));
    }

    void fontChoiceResetsTheTextColour() {
        TTextF f;
        Picker picker;
        InstallPicker(&picker);
        picker.colour = QColor(0, 200, 0);
        f.B_ColSel->click();
        QCOMPARE(MemoText(f), QColor(0, 200, 0));
        picker.font = QFont(QStringLiteral("DejaVu Sans"));
        picker.font.setPixelSize(24);
        f.B_FontSel->click();
        QCOMPARE(picker.seen.back(), QStringLiteral("FontSel"));
        QCOMPARE(MemoText(f), QColor(Qt::white));
        QCOMPARE(f.E_Font->text(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(f.TextBox->font().family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(f.FontSelHeight(), -QFontInfo(f.FontSelFont).pixelSize());
        QVERIFY(f.FontSelHeight() < -16);
        // The background is the memo's own and stays.
        QCOMPARE(MemoBack(f), QColor(Qt::black));
    }

    void cancelledFontChangesNothing() {
        TTextF f;
        Picker picker;
        InstallPicker(&picker);
        picker.colour = QColor(10, 20, 30);
        f.B_ColSel->click();
        picker.accept = false;
        picker.font = QFont(QStringLiteral("DejaVu Sans"));
        f.B_FontSel->click();
        QCOMPARE(f.E_Font->text(), kFace);
        QCOMPARE(MemoText(f), QColor(10, 20, 30));
    }

    void fontApplyWithoutClosing() {
        TTextF f;
        bool open_after_apply = false;
        QString applied_name;
        QColor colour_after;
        // Red text first, then Apply in the font dialog, then Cancel.
        Picker picker;
        picker.colour = QColor(255, 0, 0);
        InstallPicker(&picker);
        f.B_ColSel->click();
        kvzaedit::SetTextPickerHook([&](QDialog &dialog) {
            auto *fonts = qobject_cast<QFontDialog *>(&dialog);
            QVERIFY(fonts != nullptr);
            // No effects section: none of its switches is shown.
            for (const QCheckBox *box : dialog.findChildren<QCheckBox *>())
                QVERIFY(!box->isVisibleTo(&dialog));
            QFont font(QStringLiteral("DejaVu Sans Mono"));
            font.setPixelSize(20);
            fonts->setCurrentFont(font);
            auto *apply = dialog.findChild<QPushButton *>(QStringLiteral("Apply"));
            QVERIFY(apply != nullptr);
            apply->click();
            open_after_apply = dialog.isVisible();
            applied_name = f.E_Font->text();
            colour_after = MemoText(f);
            dialog.reject();
        });
        f.B_FontSel->click();
        QVERIFY(open_after_apply);
        QCOMPARE(applied_name, QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(colour_after, QColor(Qt::white));
        // What Apply took stays after the dialog was cancelled.
        QCOMPARE(f.E_Font->text(), QStringLiteral("DejaVu Sans Mono"));
    }

    void memoLines() {
        TTextF f;
        f.TextBox->setPlainText(QString());
        QVERIFY(f.Lines().isEmpty());
        f.TextBox->setPlainText(QStringLiteral("A"));
        QCOMPARE(f.Lines(), QStringList{QStringLiteral("A")});
        // A final line break does not start another line; a second one does.
        f.TextBox->setPlainText(QStringLiteral("A\n"));
        QCOMPARE(f.Lines(), QStringList{QStringLiteral("A")});
        f.TextBox->setPlainText(QStringLiteral("A\n\n"));
        QCOMPARE(f.Lines(), (QStringList{QStringLiteral("A"), QString()}));
        f.TextBox->setPlainText(QStringLiteral("x\n\ny"));
        QCOMPARE(f.Lines(), (QStringList{QStringLiteral("x"), QString(), QStringLiteral("y")}));
    }

    // ---- running the dialog ----

    void noOperationIsNullpo() {
        Env env;
        QCOMPARE(kvzaedit::RunTextDialog(nullptr, nullptr), 1);
        QCOMPARE(env.boxes.log, QStringList{QStringLiteral("error:nullpo")});
    }

    void cancelCallsNothing() {
        Env env;
        TMainF w;
        kvzaedit::SetTextDialogHook([](TTextF &f) {
            f.TextBox->setPlainText(QStringLiteral("text"));
            f.B_Cancel->click();
        });
        QCOMPARE(kvzaedit::RunTextDialog(RecordCall, &w), 0);
        QCOMPARE(g_call.count, 0);
    }

    void okCallsTheOperationWithTheSettings() {
        Env env;
        TMainF w;
        bool operation_stored = false;
        kvzaedit::SetTextDialogHook([&](TTextF &f) {
            operation_stored = f.Operation == RecordCall && f.MainWin == &w;
            Picker picker;
            picker.colour = QColor(0x12, 0x34, 0x56);
            InstallPicker(&picker);
            f.B_ColSel->click();
            picker.colour = QColor(0xAB, 0xCD, 0xEF);
            f.B_BColSel->click();
            kvzaedit::SetTextPickerHook(nullptr);
            f.TB_Weight->setValue(7);
            f.TextBox->setPlainText(QStringLiteral("first\n\nthird"));
            f.B_OK->click();
        });
        QCOMPARE(kvzaedit::RunTextDialog(RecordCall, &w), 0);
        QVERIFY(operation_stored);
        QCOMPARE(g_call.count, 1);
        QVERIFY(g_call.main == &w);
        QCOMPARE(g_call.face, kFace);
        QCOMPARE(g_call.charset, kvzaedit::kDefaultCharset);
        QCOMPARE(g_call.lines,
                 (QStringList{QStringLiteral("first"), QString(), QStringLiteral("third")}));
        QCOMPARE(g_call.text, uint32_t{0x563412});
        QCOMPARE(g_call.back, uint32_t{0xEFCDAB});
        QCOMPARE(g_call.weight, 700);
        QCOMPARE(g_call.height, -16);
    }

    void everyUseStartsFresh() {
        Env env;
        TMainF w;
        kvzaedit::SetTextDialogHook([](TTextF &f) {
            f.TB_Weight->setValue(2);
            f.TextBox->setPlainText(QStringLiteral("one"));
            f.B_OK->click();
        });
        kvzaedit::RunTextDialog(RecordCall, &w);
        kvzaedit::SetTextDialogHook([](TTextF &f) {
            QCOMPARE(f.TB_Weight->value(), 4);
            QVERIFY(f.TextBox->toPlainText().isEmpty());
            f.B_OK->click();
        });
        kvzaedit::RunTextDialog(RecordCall, &w);
        QCOMPARE(g_call.count, 2);
        QCOMPARE(g_call.weight, 400);
        QVERIFY(g_call.lines.isEmpty());
    }

    // ---- A_TextIn ----

    void textInOnAnEmptyWindow() {
        Env env;
        TMainF w;
        const QString caption = w.windowTitle();
        kvzaedit::SetTextDialogHook([](TTextF &f) {
            f.TextBox->setPlainText(QStringLiteral("Hi"));
            f.B_OK->click();
        });
        w.A_TextIn->trigger();
        QVERIFY(w.CurImg != nullptr);
        QCOMPARE(w.Shown, uint8_t{1});
        QCOMPARE(w.Modified, uint8_t{1});
        QVERIFY(w.SaveName.isEmpty());
        QCOMPARE(w.windowTitle(), caption);
        QVERIFY(w.A_Fork->isEnabled());
        QVERIFY(!w.A_Undo->isEnabled());
        // Black background from the memo.
        QCOMPARE(w.CurImg->viewinfo[0], uint8_t{0});
        QCOMPARE(w.CurImg->viewinfo[2], uint8_t{0});
    }

    void textInOnAnOccupiedWindow() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(2, 2, maintest::Distinct));
        KvzaImage *own = w.CurImg;
        int sent = 0;
        int sent_width = 0;
        kvzaedit::SetTextSendHook([&](const KvzaImage *image) {
            ++sent;
            sent_width = image->width;
        });
        kvzaedit::SetTextDialogHook([](TTextF &f) {
            f.TextBox->setPlainText(QStringLiteral("Hi"));
            f.B_OK->click();
        });
        w.A_TextIn->trigger();
        QCOMPARE(sent, 1);
        QVERIFY(sent_width > 0);
        QVERIFY(w.CurImg == own);
        QCOMPARE(w.CurImg->width, 2);
        QCOMPARE(w.Modified, uint8_t{0});
    }

    void textInWithEmptyTextMakesNothing() {
        Env env;
        TMainF w;
        kvzaedit::SetTextDialogHook([](TTextF &f) {
            f.TextBox->setPlainText(QStringLiteral("\n\n"));
            f.B_OK->click();
        });
        w.A_TextIn->trigger();
        QVERIFY(w.CurImg == nullptr);
        QCOMPARE(w.Shown, uint8_t{0});
        QVERIFY(env.boxes.log.isEmpty());
    }
};

QTEST_MAIN(TextDialogTest)
#include "text_dialog_test.moc"
