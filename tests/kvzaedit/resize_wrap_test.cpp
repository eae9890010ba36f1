// The wrap-mode dialog: its two radio groups start at the image's modes, OK
// writes the selection back, Cancel leaves the bytes alone, and the main
// window's command marks the document modified without an undo step.
#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "F_main.h"
#include "F_wrap.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using kvzaedit::TWrapF;
using maintest::Env;
using maintest::UndoDepth;

namespace {

struct ScriptedDialog {
    explicit ScriptedDialog(std::function<void(TWrapF &)> script) {
        kvzaedit::SetWrapDialogHook([this, script](TWrapF &d) {
            ++runs;
            script(d);
            if (d.isVisible()) d.reject();
        });
    }
    ~ScriptedDialog() { kvzaedit::SetWrapDialogHook(nullptr); }
    int runs = 0;
};

QString Checked(const kvzaedit::TRadioGroup *group) {
    const int i = group->ItemIndex();
    return i < 0 ? QString() : group->button(i)->text();
}

}  // namespace

class ResizeWrapTest : public QObject {
    Q_OBJECT
  private slots:
    void controlsAndCaptions() {
        TWrapF d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Wrap Mode"));
        QCOMPARE(d.RG_WrapW->title(), QStringLiteral("Width"));
        QCOMPARE(d.RG_WrapH->title(), QStringLiteral("Height"));
        QVERIFY(d.findChild<QWidget *>("RG_WrapW") == d.RG_WrapW);
        QVERIFY(d.findChild<QWidget *>("RG_WrapH") == d.RG_WrapH);
        QVERIFY(d.findChild<QWidget *>("B_OK") == d.B_OK);
        QVERIFY(d.findChild<QWidget *>("B_Cancel") == d.B_Cancel);
        const QStringList items{"Clamp", "Wrap", "Mirror", "Border"};
        for (const kvzaedit::TRadioGroup *group : {d.RG_WrapW, d.RG_WrapH}) {
            QCOMPARE(group->count(), 4);
            for (int i = 0; i < 4; ++i) QCOMPARE(group->button(i)->text(), items[i]);
            // Two columns, filled top to bottom.
            QCOMPARE(group->button(1)->x(), group->button(0)->x());
            QVERIFY(group->button(1)->y() > group->button(0)->y());
            QVERIFY(group->button(2)->x() > group->button(0)->x());
            QCOMPARE(group->button(2)->y(), group->button(0)->y());
            QCOMPARE(group->button(3)->y(), group->button(1)->y());
        }
    }

    void radioGroupKeepsOneSelection() {
        TWrapF d;
        kvzaedit::TRadioGroup *g = d.RG_WrapW;
        QCOMPARE(g->ItemIndex(), 0);
        g->SetItemIndex(2);
        QCOMPARE(g->ItemIndex(), 2);
        g->button(1)->click();
        QCOMPARE(g->ItemIndex(), 1);
        QVERIFY(!g->button(2)->isChecked());
        g->SetItemIndex(200);  // past the end: the last item
        QCOMPARE(g->ItemIndex(), 3);
        g->SetItemIndex(-1);
        QCOMPARE(g->ItemIndex(), -1);
        g->SetItemIndex(0);
        QCOMPARE(g->ItemIndex(), 0);
        QCOMPARE(d.RG_WrapH->ItemIndex(), 0);  // the groups are independent
    }

    void startsAtMirrorAndBorder() {
        Env env;
        uint8_t x = 2, y = 3;
        QString shown_w, shown_h;
        ScriptedDialog script([&](TWrapF &d) {
            shown_w = Checked(d.RG_WrapW);
            shown_h = Checked(d.RG_WrapH);
            d.B_Cancel->click();
        });
        QCOMPARE(kvzaedit::RunWrapDialog(&x, &y, nullptr), 1);
        QCOMPARE(script.runs, 1);
        QCOMPARE(shown_w, QStringLiteral("Mirror"));
        QCOMPARE(shown_h, QStringLiteral("Border"));
        QCOMPARE(int(x), 2);
        QCOMPARE(int(y), 3);
    }

    void okWritesTheSelection() {
        Env env;
        uint8_t x = 2, y = 3;
        ScriptedDialog script([](TWrapF &d) {
            d.RG_WrapW->button(1)->click();
            d.RG_WrapH->button(0)->click();
            d.B_OK->click();
        });
        QCOMPARE(kvzaedit::RunWrapDialog(&x, &y, nullptr), 0);
        QCOMPARE(int(x), 1);
        QCOMPARE(int(y), 0);
        // OK without a change writes the same values back and still counts.
        ScriptedDialog again([](TWrapF &d) { d.B_OK->click(); });
        QCOMPARE(kvzaedit::RunWrapDialog(&x, &y, nullptr), 0);
        QCOMPARE(int(x), 1);
        QCOMPARE(int(y), 0);
    }

    void escapeAndCloseChangeNothing() {
        Env env;
        uint8_t x = 1, y = 2;
        for (int how = 0; how < 2; ++how) {
            ScriptedDialog script([how](TWrapF &d) {
                d.RG_WrapW->button(3)->click();
                if (how == 0)
                    QTest::keyClick(&d, Qt::Key_Escape);
                else
                    d.close();
            });
            QCOMPARE(kvzaedit::RunWrapDialog(&x, &y, nullptr), 1);
            QCOMPARE(int(x), 1);
            QCOMPARE(int(y), 2);
        }
    }

    void missingPointersAreSkipped() {
        Env env;
        uint8_t y = 1;
        int start_w = -2;
        ScriptedDialog script([&](TWrapF &d) {
            start_w = d.RG_WrapW->ItemIndex();
            d.RG_WrapW->button(2)->click();
            d.RG_WrapH->button(3)->click();
            d.B_OK->click();
        });
        QCOMPARE(kvzaedit::RunWrapDialog(nullptr, &y, nullptr), 0);
        QCOMPARE(start_w, 0);
        QCOMPARE(int(y), 3);
        QCOMPARE(kvzaedit::RunWrapDialog(nullptr, nullptr, nullptr), 0);
    }

    void unknownModeShowsAsBorder() {
        Env env;
        uint8_t x = 7, y = 255;
        QString shown_w;
        ScriptedDialog script([&](TWrapF &d) {
            shown_w = Checked(d.RG_WrapW);
            d.B_OK->click();
        });
        QCOMPARE(kvzaedit::RunWrapDialog(&x, &y, nullptr), 0);
        QCOMPARE(shown_w, QStringLiteral("Border"));
        QCOMPARE(int(x), 3);
        QCOMPARE(int(y), 3);
    }

    void commandEditsTheImageInPlace() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(4, 3, maintest::Distinct));
        w.CurImg->wrapx = 2;
        w.CurImg->wrapy = 3;
        w.Modified = 0;
        KvzaImage *const cur = w.CurImg;
        QString shown_w, shown_h;
        ScriptedDialog script([&](TWrapF &d) {
            shown_w = Checked(d.RG_WrapW);
            shown_h = Checked(d.RG_WrapH);
            d.RG_WrapW->button(1)->click();  // Wrap
            d.RG_WrapH->button(0)->click();  // Clamp
            d.B_OK->click();
        });
        QVERIFY(w.A_WrapMode->isEnabled());
        w.A_WrapMode->trigger();
        QCOMPARE(shown_w, QStringLiteral("Mirror"));
        QCOMPARE(shown_h, QStringLiteral("Border"));
        QCOMPARE(w.CurImg, cur);
        QCOMPARE(int(w.CurImg->wrapx), 1);
        QCOMPARE(int(w.CurImg->wrapy), 0);
        QCOMPARE(w.Modified, uint8_t(1));
        QCOMPARE(UndoDepth(w), 0);
        QVERIFY(!w.A_Undo->isEnabled());
        // Later pixel accesses follow the new modes: x = -1 wraps to the
        // last column, y = 5 clamps to the last row.
        QCOMPARE(kvza_getpixptr(w.CurImg, -1, 0), &maintest::At(w.CurImg, 3, 0));
        QCOMPARE(kvza_getpixptr(w.CurImg, 0, 5), &maintest::At(w.CurImg, 0, 2));
    }

    void cancelledCommandLeavesTheDocumentClean() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(2, 2, maintest::Distinct));
        w.CurImg->wrapx = 0;
        w.CurImg->wrapy = 1;
        w.Modified = 0;
        ScriptedDialog script([](TWrapF &d) {
            d.RG_WrapW->button(3)->click();
            d.B_Cancel->click();
        });
        w.A_WrapMode->trigger();
        QCOMPARE(script.runs, 1);
        QCOMPARE(int(w.CurImg->wrapx), 0);
        QCOMPARE(int(w.CurImg->wrapy), 1);
        QCOMPARE(w.Modified, uint8_t(0));
    }

    void noDocumentNoDialog() {
        Env env;
        TMainF w;
        ScriptedDialog script([](TWrapF &d) { d.B_OK->click(); });
        w.A_WrapModeExecute();
        QCOMPARE(script.runs, 0);
        QCOMPARE(w.Modified, uint8_t(0));
    }
};

QTEST_MAIN(ResizeWrapTest)
#include "resize_wrap_test.moc"
