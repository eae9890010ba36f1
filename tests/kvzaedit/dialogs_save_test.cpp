// The save dialog: the layouts listed and preselected, track bars and
// switches set up from a writer's table and the stored options, and what a
// confirmation or a cancel does to the options.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <functional>
#include <initializer_list>

#include "F_save.h"
#include "kot.h"
#include "msgbox.h"

using kvzaedit::RunSaveDialog;
using kvzaedit::TSaveF;

namespace {

void SetUsable(KotUsableTable &table, std::initializer_list<int> ids) {
    for (int id : ids) table.usable[id / 8] |= static_cast<uint8_t>(1u << (id % 8));
}

KotTrackSpec Track(const char *name, const char *hint, int16_t min, int16_t max, int16_t freq,
                   int16_t line, int16_t page, int16_t position) {
    return KotTrackSpec{name, hint, min, max, freq, line, page, position};
}

// The tables the three writers hand over, built from their published values.
KotUsableTable BmpTable() {
    KotUsableTable table{};
    table.track_count = 2;
    table.switch_mask = 7;
    table.switch_defaults = 0;
    table.switch_name[0] = "Merge to background";
    table.switch_hint[0] = "背景色を混ぜ合わせる";
    table.switch_name[1] = "'Alpha Threshold' enable";
    table.switch_hint[1] = "'Alpha Threshold'を有効にする";
    table.switch_name[2] = "Alpha dithering";
    table.switch_hint[2] = "アルファもディザ対象とする";
    table.track[0] = Track("Dither", "ディザ(中間色表現)の強さ", 0, 256, 16, 1, 16, 128);
    table.track[1] =
        Track("Alpha Threshold", "透過/非透過を区別するアルファの閾値", 0, 256, 16, 1, 16, 128);
    SetUsable(table, {20, 22, 23, 24, 28, 30, 41, 50, 190, 191, 200, 201, 202, 210, 211, 212});
    return table;
}

KotUsableTable IcoTable() {
    KotUsableTable table = BmpTable();
    std::memset(table.usable, 0, sizeof table.usable);
    SetUsable(table, {204, 221, 222, 223, 224, 225});
    return table;
}

KotUsableTable TgaTable() {
    KotUsableTable table{};
    table.track_count = 2;
    table.track[0] = Track("Dither", "ディザ(中間色表現)の強さ", 0, 256, 16, 1, 16, 128);
    table.track[1] = Track("Palette Depth", "パレットの情報量", 2, 4, 1, 1, 2, 4);
    SetUsable(table, {20, 21, 25, 41, 50, 81});
    return table;
}

KotSaveOptions Options(int16_t type, uint16_t switches = 0, uint8_t valid = 0,
                       std::initializer_list<int16_t> track = {}) {
    KotSaveOptions options{};
    options.type = type;
    options.switches = switches;
    options.valid = valid;
    int i = 0;
    for (int16_t t : track) options.track[i++] = t;
    return options;
}

bool SameOptions(const KotSaveOptions &a, const KotSaveOptions &b) {
    return a.type == b.type && a.switches == b.switches && a.valid == b.valid &&
           std::memcmp(a.track, b.track, sizeof a.track) == 0;
}

// Runs the dialog; act sees it filled and closes it.
int Run(const KotUsableTable &table, KotSaveOptions &options,
        const std::function<void(TSaveF &)> &act, QWidget *owner = nullptr) {
    // A failed check inside act must not leave the modal loop running.
    kvzaedit::SetSaveDialogHook([&act](TSaveF &d) {
        act(d);
        if (d.isVisible()) d.reject();
    });
    const int result = RunSaveDialog(&table, &options, owner);
    kvzaedit::SetSaveDialogHook(nullptr);
    return result;
}

// A dialog set up outside the modal loop, for looking at the controls.
struct Shown {
    TSaveF dialog;
    Shown(const KotUsableTable &table, const KotSaveOptions &options) {
        dialog.Setup(table, options);
    }
};

QStringList Entries(const QComboBox *combo) {
    QStringList list;
    for (int i = 0; i < combo->count(); ++i) list << combo->itemText(i);
    return list;
}

}  // namespace

class SaveDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        messages.clear();
        kvzaedit::SetMessageHook([this](const QString &kind, const QString &text) {
            messages << kind + ":" + text;
            return QMessageBox::Ok;
        });
    }
    void cleanup() {
        kvzaedit::SetMessageHook(nullptr);
        kvzaedit::SetSaveDialogHook(nullptr);
    }

    // ---- the form ----

    void formAndControlNames() {
        TSaveF dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Save Setting"));
        QCOMPARE(dialog.size(), QSize(433, 354));
        QVERIFY(dialog.isModal());
        QCOMPARE(dialog.findChild<QLabel *>("Label1")->text(), QStringLiteral("Type"));
        QCOMPARE(dialog.findChild<QComboBox *>("CB_Type")->width(), 361);
        QVERIFY(!dialog.findChild<QComboBox *>("CB_Type")->isEditable());
        const int heights[4] = {64, 128, 192, 256};
        for (int i = 0; i < 4; ++i) {
            auto *bar = dialog.findChild<QSlider *>(QStringLiteral("TB_CL%1").arg(i));
            QVERIFY(bar);
            QCOMPARE(bar->orientation(), Qt::Horizontal);
            QCOMPARE(bar->y(), heights[i]);
            QVERIFY(!bar->isEnabled());
            QCOMPARE(bar->property("Tag").toInt(), i);
            auto *caption = dialog.findChild<QLabel *>(QStringLiteral("L_CL%1").arg(i));
            auto *value = dialog.findChild<QLabel *>(QStringLiteral("L_CR%1").arg(i));
            QVERIFY(caption && value);
            QVERIFY(caption->y() < bar->y());
            QVERIFY(value->alignment() & Qt::AlignRight);
        }
        const char *names = "0123456789abcdef";
        for (int i = 0; i < 16; ++i) {
            auto *box = dialog.findChild<QCheckBox *>(QStringLiteral("C_SW%1").arg(names[i]));
            QVERIFY2(box, qPrintable(QString::number(i)));
            QCOMPARE(box->y(), 48 + 16 * i);
            QVERIFY(box->x() > dialog.TB_CL[0]->geometry().right());
            QVERIFY(!box->isEnabled());
            QVERIFY(!box->isChecked());
        }
        auto *ok = dialog.findChild<QPushButton *>("B_OK");
        auto *cancel = dialog.findChild<QPushButton *>("B_Cancel");
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(ok->isDefault());
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    }

    // ---- the layout list ----

    void captionsInListOrderForTheBmpWriter() {
        Shown s(BmpTable(), Options(0));
        // The sixteen BMP layouts as they come in the dialog's master list.
        const QStringList expected = {"RGB 32bit",
                                      "RGB 30bit(+2bit dummy)",
                                      "RGB 24bit(+8bit dummy)",
                                      "RGB 24bit",
                                      "RGB 16bit",
                                      "RGB 15bit(+1bit dummy)",
                                      "RGB 12bit(+4bit dummy)",
                                      "Index 8bit",
                                      "Index 4bit",
                                      "Index 1bit",
                                      "Grayscale 8bit",
                                      "Grayscale 4bit",
                                      "Grayscale 1bit",
                                      "Alpha 8bit",
                                      "Alpha 4bit",
                                      "Alpha 1bit"};
        QCOMPARE(Entries(s.dialog.CB_Type), expected);
        const std::vector<int16_t> ids = {191, 190, 22, 20,  23,  24, 30,  41,
                                          212, 202, 50, 210, 200, 28, 211, 201};
        QVERIFY(s.dialog.typeIds() == ids);
        QCOMPARE(s.dialog.CB_Type->currentIndex(), -1);  // type 0: nothing chosen
    }

    void onlyKnownUsableIdsAreListed() {
        KotUsableTable table{};
        SetUsable(table, {0, 5, 254, 246, 255, 111});
        Shown s(table, Options(5));
        QCOMPARE(Entries(s.dialog.CB_Type),
                 QStringList({"KVZA direct", "R 16bit floatpointed", "Compressed type 5 for DX"}));
        // 5 is usable but has no entry: nothing is selected.
        QCOMPARE(s.dialog.CB_Type->currentIndex(), -1);
    }

    void everyKnownIdInMasterOrder() {
        KotUsableTable table{};
        std::memset(table.usable, 0xff, sizeof table.usable);
        Shown s(table, Options(246));
        QCOMPARE(s.dialog.CB_Type->count(), 73);
        QCOMPARE(s.dialog.CB_Type->itemText(0), QStringLiteral("KVZA direct"));
        QCOMPARE(s.dialog.CB_Type->itemText(8), QStringLiteral("RGB 48bit(+16bit alpha)"));
        QCOMPARE(s.dialog.CB_Type->itemText(23), QStringLiteral("RGB 24bit"));
        QCOMPARE(s.dialog.CB_Type->itemText(72), QStringLiteral("Compressed type 5 for DX"));
        QCOMPARE(s.dialog.CB_Type->currentIndex(), 72);
    }

    void preselectionByType() {
        {
            Shown s(BmpTable(), Options(41));
            QCOMPARE(s.dialog.CB_Type->currentText(), QStringLiteral("Index 8bit"));
        }
        {
            Shown s(TgaTable(), Options(41));
            QCOMPARE(s.dialog.CB_Type->currentText(), QStringLiteral("Index 8bit"));
            QCOMPARE(s.dialog.CB_Type->currentIndex(), 3);  // 21, 20, 25, 41, ...
        }
        {
            Shown s(IcoTable(), Options(41));  // the ICO writer lacks 41
            QCOMPARE(s.dialog.CB_Type->currentIndex(), -1);
            QCOMPARE(s.dialog.CB_Type->count(), 6);
        }
    }

    void unusableOrOutOfRangeTypeSelectsNothing() {
        for (int16_t type : {int16_t(-1), int16_t(21), int16_t(300), int16_t(-32768)}) {
            Shown s(BmpTable(), Options(type));
            QCOMPARE(s.dialog.CB_Type->currentIndex(), -1);
        }
    }

    // ---- track bars ----

    void trackBarsFromTheTable() {
        Shown s(TgaTable(), Options(20));
        QSlider *dither = s.dialog.TB_CL[0];
        QVERIFY(dither->isEnabled());
        QCOMPARE(s.dialog.L_CL[0]->text(), QStringLiteral("Dither"));
        QCOMPARE(dither->minimum(), 0);
        QCOMPARE(dither->maximum(), 256);
        QCOMPARE(dither->value(), 128);
        QCOMPARE(s.dialog.L_CR[0]->text(), QStringLiteral("128"));
        QCOMPARE(dither->tickInterval(), 16);
        QCOMPARE(dither->singleStep(), 1);
        QCOMPARE(dither->pageStep(), 16);
        QCOMPARE(dither->toolTip(), QString::fromUtf8("ディザ(中間色表現)の強さ"));

        QSlider *depth = s.dialog.TB_CL[1];
        QCOMPARE(s.dialog.L_CL[1]->text(), QStringLiteral("Palette Depth"));
        QCOMPARE(depth->minimum(), 2);
        QCOMPARE(depth->maximum(), 4);
        QCOMPARE(depth->value(), 4);
        QCOMPARE(depth->tickInterval(), 1);
        QCOMPARE(depth->pageStep(), 2);
        QCOMPARE(depth->toolTip(), QString::fromUtf8("パレットの情報量"));

        for (int i = 2; i < 4; ++i) {
            QVERIFY(!s.dialog.TB_CL[i]->isEnabled());
            QVERIFY(s.dialog.L_CL[i]->text().isEmpty());
            QVERIFY(s.dialog.L_CR[i]->text().isEmpty());
        }
    }

    void atMostFourTrackBars() {
        KotUsableTable table = BmpTable();
        table.track_count = 7;
        const char *names[4] = {"A", "B", "C", "D"};
        for (int i = 0; i < 4; ++i) {
            table.track[i] = Track(names[i], "h", 0, 10, 1, 1, 2, static_cast<int16_t>(i + 1));
        }
        Shown s(table, Options(0));
        QCOMPARE(s.dialog.trackCount(), 4);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(s.dialog.TB_CL[i]->isEnabled());
            QCOMPARE(s.dialog.L_CL[i]->text(), QString::fromLatin1(names[i]));
            QCOMPARE(s.dialog.TB_CL[i]->value(), i + 1);
            QCOMPARE(s.dialog.L_CR[i]->text(), QString::number(i + 1));
        }
    }

    void storedPositionsAreClampedWhenValid() {
        Shown s(BmpTable(), Options(20, 0, 1, {300, -5}));
        QCOMPARE(s.dialog.TB_CL[0]->value(), 256);
        QCOMPARE(s.dialog.L_CR[0]->text(), QStringLiteral("256"));
        QCOMPARE(s.dialog.TB_CL[1]->value(), 0);
        QCOMPARE(s.dialog.L_CR[1]->text(), QStringLiteral("0"));
    }

    void storedPositionsIgnoredWhileNotValid() {
        Shown s(BmpTable(), Options(20, 0, 0, {10, 20}));
        QCOMPARE(s.dialog.TB_CL[0]->value(), 128);
        QCOMPARE(s.dialog.TB_CL[1]->value(), 128);
    }

    void storedPositionsUsedWhenValid() {
        Shown s(BmpTable(), Options(20, 0, 1, {10, 20}));
        QCOMPARE(s.dialog.TB_CL[0]->value(), 10);
        QCOMPARE(s.dialog.L_CR[0]->text(), QStringLiteral("10"));
        QCOMPARE(s.dialog.TB_CL[1]->value(), 20);
    }

    void negativeRangeSetsMinFirst() {
        KotUsableTable table{};
        table.track_count = 3;
        table.track[0] = Track("neg", "", -10, -2, 1, 1, 2, -6);
        // Ends in the wrong order: the one set last wins and drags the other.
        // Upper end negative: lower end first, so the upper end (-5) wins.
        table.track[1] = Track("negswap", "", -2, -5, 1, 1, 2, 0);
        // Upper end not negative: upper end first, so the lower end (50) wins.
        table.track[2] = Track("posswap", "", 50, 10, 1, 1, 2, 0);
        Shown s(table, Options(0));
        QCOMPARE(s.dialog.TB_CL[0]->minimum(), -10);
        QCOMPARE(s.dialog.TB_CL[0]->maximum(), -2);
        QCOMPARE(s.dialog.TB_CL[0]->value(), -6);
        QCOMPARE(s.dialog.TB_CL[1]->minimum(), -5);
        QCOMPARE(s.dialog.TB_CL[1]->maximum(), -5);
        QCOMPARE(s.dialog.TB_CL[1]->value(), -5);
        QCOMPARE(s.dialog.L_CR[1]->text(), QStringLiteral("-5"));
        QCOMPARE(s.dialog.TB_CL[2]->minimum(), 50);
        QCOMPARE(s.dialog.TB_CL[2]->maximum(), 50);
        QCOMPARE(s.dialog.TB_CL[2]->value(), 50);
    }

    void movingATrackBarUpdatesItsLabel() {
        Shown s(BmpTable(), Options(20));
        s.dialog.TB_CL[1]->setValue(77);
        QCOMPARE(s.dialog.L_CR[1]->text(), QStringLiteral("77"));
        QCOMPARE(s.dialog.L_CR[0]->text(), QStringLiteral("128"));
        s.dialog.TB_CL[0]->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(s.dialog.L_CR[0]->text(), QStringLiteral("144"));
    }

    // ---- switches ----

    void switchCaptionsAndHints() {
        KotUsableTable table = BmpTable();
        table.switch_mask |= 0x8000;
        table.switch_name[15] = "Last";
        table.switch_hint[15] = "最後";
        Shown s(table, Options(20));
        QCOMPARE(s.dialog.C_SW[0]->text(), QStringLiteral("Merge to background"));
        QCOMPARE(s.dialog.C_SW[0]->toolTip(), QString::fromUtf8("背景色を混ぜ合わせる"));
        QCOMPARE(s.dialog.C_SW[1]->text(), QStringLiteral("'Alpha Threshold' enable"));
        QCOMPARE(s.dialog.C_SW[2]->toolTip(), QString::fromUtf8("アルファもディザ対象とする"));
        QVERIFY(s.dialog.C_SW[0]->isEnabled());
        QVERIFY(s.dialog.C_SW[2]->isEnabled());
        QVERIFY(s.dialog.C_SW[15]->isEnabled());
        QCOMPARE(s.dialog.findChild<QCheckBox *>("C_SWf")->text(), QStringLiteral("Last"));
        for (int i = 3; i < 15; ++i) QVERIFY(!s.dialog.C_SW[i]->isEnabled());
    }

    void switchDefaultsWhileNotValid() {
        KotUsableTable table = BmpTable();
        table.switch_defaults = 0b1101;  // bit 3 has no switch
        Shown s(table, Options(20, /*switches=*/0b0010, /*valid=*/0));
        QVERIFY(s.dialog.C_SW[0]->isChecked());
        QVERIFY(!s.dialog.C_SW[1]->isChecked());
        QVERIFY(s.dialog.C_SW[2]->isChecked());
        QVERIFY(!s.dialog.C_SW[3]->isChecked());
        QVERIFY(!s.dialog.C_SW[3]->isEnabled());
    }

    void storedSwitchesWhenValid() {
        KotUsableTable table = BmpTable();
        table.switch_defaults = 0b101;
        Shown s(table, Options(20, /*switches=*/0b1010, /*valid=*/1, {128, 128}));
        QVERIFY(!s.dialog.C_SW[0]->isChecked());
        QVERIFY(s.dialog.C_SW[1]->isChecked());
        QVERIFY(!s.dialog.C_SW[2]->isChecked());
        QVERIFY(!s.dialog.C_SW[3]->isChecked());  // no such switch
    }

    // ---- running the dialog ----

    void confirmWritesTheChoices() {
        KotSaveOptions options = Options(41, 0, 0, {1, 2, 3, 4});
        const int result = Run(BmpTable(), options, [](TSaveF &d) {
            QVERIFY(d.isVisible());
            d.CB_Type->setCurrentIndex(3);  // "RGB 24bit"
            d.TB_CL[0]->setValue(200);
            d.TB_CL[1]->setValue(17);
            d.C_SW[1]->setChecked(true);
            d.C_SW[2]->setChecked(true);
            QTest::mouseClick(d.B_OK, Qt::LeftButton);
        });
        QCOMPARE(result, 0);
        QCOMPARE(options.type, int16_t(20));
        QCOMPARE(options.track[0], int16_t(200));
        QCOMPARE(options.track[1], int16_t(17));
        QCOMPARE(options.track[2], int16_t(3));  // beyond the count: untouched
        QCOMPARE(options.track[3], int16_t(4));
        QCOMPARE(options.switches, uint16_t(0b110));
        QCOMPARE(options.valid, uint8_t(0));  // only a successful save sets it
        QVERIFY(messages.isEmpty());
    }

    void confirmKeepsThePreselection() {
        KotSaveOptions options = Options(41);
        const int result =
            Run(TgaTable(), options, [](TSaveF &d) { QTest::mouseClick(d.B_OK, Qt::LeftButton); });
        QCOMPARE(result, 0);
        QCOMPARE(options.type, int16_t(41));
        QCOMPARE(options.track[0], int16_t(128));  // defaults, as shown
        QCOMPARE(options.track[1], int16_t(4));
        QCOMPARE(options.switches, uint16_t(0));
    }

    void okWithoutSelectionAbandons() {
        KotSaveOptions options = Options(41, 0x5, 1, {9, 8, 7, 6});
        const KotSaveOptions before = options;
        bool ran = false;
        const int result = Run(IcoTable(), options, [&ran](TSaveF &d) {
            ran = true;
            QCOMPARE(d.CB_Type->currentIndex(), -1);
            d.TB_CL[0]->setValue(1);
            d.C_SW[2]->setChecked(false);
            QTest::mouseClick(d.B_OK, Qt::LeftButton);
        });
        QVERIFY(ran);
        QCOMPARE(result, 1);
        QVERIFY(SameOptions(options, before));
        QVERIFY(messages.isEmpty());
    }

    void cancelLeavesOptionsUntouched() {
        KotSaveOptions options = Options(20, 0x3, 1, {50, 60, 0, 0});
        const KotSaveOptions before = options;
        const int result = Run(BmpTable(), options, [](TSaveF &d) {
            d.CB_Type->setCurrentIndex(0);
            d.TB_CL[0]->setValue(1);
            d.C_SW[0]->setChecked(false);
            QTest::mouseClick(d.B_Cancel, Qt::LeftButton);
        });
        QCOMPARE(result, 1);
        QVERIFY(SameOptions(options, before));
        QVERIFY(messages.isEmpty());
    }

    void escapeCancels() {
        KotSaveOptions options = Options(20);
        const KotSaveOptions before = options;
        const int result =
            Run(BmpTable(), options, [](TSaveF &d) { QTest::keyClick(&d, Qt::Key_Escape); });
        QCOMPARE(result, 1);
        QVERIFY(SameOptions(options, before));
    }

    void runsModallyOverItsOwner() {
        QWidget owner;
        owner.setGeometry(100, 100, 600, 500);
        owner.show();
        KotSaveOptions options = Options(20);
        bool seen = false;
        // Driven from outside, as any modal dialog would be; the second timer
        // only ends the loop should the first fail.
        QTimer::singleShot(5000, &owner, [] {
            if (QWidget *w = QApplication::activeModalWidget()) w->close();
        });
        QTimer::singleShot(0, [&seen, &owner] {
            auto *d = qobject_cast<TSaveF *>(QApplication::activeModalWidget());
            QVERIFY(d != nullptr);
            seen = true;
            QCOMPARE(d->parentWidget(), &owner);
            QVERIFY(d->findChild<QComboBox *>("CB_Type")->currentIndex() >= 0);
            d->findChild<QPushButton *>("B_OK")->click();
        });
        QCOMPARE(RunSaveDialog(&BmpTableStore(), &options, &owner), 0);
        QVERIFY(seen);
        QCOMPARE(options.type, int16_t(20));
    }

    void missingPointers() {
        KotUsableTable table = BmpTable();
        KotSaveOptions options = Options(20);
        bool ran = false;
        kvzaedit::SetSaveDialogHook([&ran](TSaveF &d) {
            ran = true;
            d.reject();
        });
        QCOMPARE(RunSaveDialog(nullptr, &options, nullptr), 1);
        QCOMPARE(messages, QStringList({"error:nullpo"}));
        QCOMPARE(RunSaveDialog(&table, nullptr, nullptr), 1);
        QCOMPARE(messages, QStringList({"error:nullpo", "error:nullpo"}));
        QVERIFY(!ran);
        QCOMPARE(options.type, int16_t(20));
    }

  private:
    static KotUsableTable &BmpTableStore() {
        static KotUsableTable table = BmpTable();
        return table;
    }
    QStringList messages;
};

QTEST_MAIN(SaveDialogTest)
#include "dialogs_save_test.moc"
