// The main window's actions, menus and form settings: captions, shortcuts,
// categories, availability and check marks, the menu tree, the zoom table
// of actions, and how ShowDoc / CloseDoc switch the document actions.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QtTest>

#include "F_main.h"
#include "F_pal.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using maintest::Env;

namespace {

struct ActionRow {
    const char *name;
    const char *category;
    const char *caption;
    const char *shortcut;
    bool enabled;
};

// The action table as the window must present it.
const ActionRow kActions[] = {
    {"A_New", "file", "新規(&N)", "", true},
    {"A_Fork", "file", "複製(&F)", "Ctrl+F", false},
    {"A_TextIn", "file", "テクスト取り込み(&T)", "", true},
    {"A_Open", "file", "開く(&O)", "Ctrl+O", true},
    {"A_Close", "file", "閉じる(&C)", "", false},
    {"A_Save", "file", "保存(&S)", "Ctrl+S", false},
    {"A_Save2", "file", "名前を付けて保存(&A)", "", false},
    {"A_Quit", "file", "終了(&Q)", "", true},
    {"A_Undo", "undobuf", "元に戻す(&U)", "Ctrl+Z", false},
    {"A_Redo", "undobuf", "やり直し(&R)", "Ctrl+Y", false},
    {"A_Size", "edit", "サイズ変更(&S)", "Ctrl+Alt+S", false},
    {"A_AdjOL", "edit", "輪郭色調整(&O)", "Ctrl+Alt+O", false},
    {"A_EdgeAA", "edit", "輪郭透過(&E)", "Ctrl+Alt+E", false},
    {"A_BackTrans", "edit", "背景透明化(&B)", "Ctrl+Alt+B", false},
    {"A_AddTrans", "edit", "透明(&T)", "", true},
    {"A_AddBorder", "edit", "周辺色(&B)", "", true},
    {"A_Reduce", "edit", "減色(&R)", "Ctrl+Alt+R", false},
    {"A_Gray", "edit", "グレイマップ(&G)", "Ctrl+Alt+G", false},
    {"A_Alpha", "edit", "アルファマップ(&A)", "Ctrl+Alt+A", false},
    {"A_AdjWin", "view", "ウィンドウ調整(&A)", "Ctrl+A", true},
    {"A_TransOff", "trans", "非透過", "F5", true},
    {"A_Trans0", "trans", "a=0透過", "F6", true},
    {"A_Trans1", "trans", "a<1透過", "F7", true},
    {"A_TransOn", "trans", "半透明", "F8", true},
    {"A_Zoom25", "zoom", "25%", "Shift+F1", true},
    {"A_Zoom50", "zoom", "50%", "Shift+F2", true},
    {"A_Zoom75", "zoom", "75%", "Shift+F3", true},
    {"A_Zoom100", "zoom", "100%", "Shift+F4", true},
    {"A_Zoom150", "zoom", "150%", "Shift+F5", true},
    {"A_Zoom200", "zoom", "200%", "Shift+F6", true},
    {"A_Zoom300", "zoom", "300%", "Shift+F7", true},
    {"A_Zoom400", "zoom", "400%", "Shift+F8", true},
    {"A_Zoom600", "zoom", "600%", "Shift+F9", true},
    {"A_Zoom800", "zoom", "800%", "Shift+F10", true},
    {"A_Zoom1200", "zoom", "1200%", "Shift+F11", true},
    {"A_Zoom1600", "zoom", "1600%", "Shift+F12", true},
    {"A_ZoomS", "zoom", "縮小(&S)", "Del", true},
    {"A_ZoomL", "zoom", "拡大(&L)", "Ins", true},
    {"A_PixInfo", "view", "ピクセル情報(&P)", "F2", true},
    {"A_IdxCol", "view", "擬似パレット(&I)", "F3", true},
    {"A_BackCol", "setting", "背景色(&B)", "F4", false},
    {"A_BorderCol", "setting", "周辺色(&R)", "Ctrl+F4", false},
    {"A_WrapMode", "setting", "ラップモード(&W)", "", false},
    {"A_About", "", "About(&A)", "", true},
};

const char *const kDocActions[] = {"A_Fork", "A_BackCol", "A_BorderCol", "A_WrapMode",  "A_Close",
                                   "A_Save", "A_Save2",   "A_AdjOL",     "A_BackTrans", "A_EdgeAA",
                                   "A_Gray", "A_Alpha",   "A_Size",      "A_Reduce"};

QAction *Act(TMainF &w, const char *name) {
    return w.findChild<QAction *>(QString::fromLatin1(name));
}

// A menu's entries: action object names, "-" for separators and
// "menu:<title>" for submenus.
QStringList Entries(const QMenu *menu) {
    QStringList out;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else if (a->menu() != nullptr)
            out << QStringLiteral("menu:") + a->menu()->title();
        else
            out << a->objectName();
    }
    return out;
}

QMenu *SubMenu(const QMenu *menu, const QString &title) {
    for (QAction *a : menu->actions())
        if (a->menu() != nullptr && a->menu()->title() == title) return a->menu();
    return nullptr;
}

int CheckedZooms(TMainF &w) {
    int n = 0;
    for (QAction *a : w.ZoomActs) n += a->isChecked();
    return n;
}

KvzaImage *SmallImage() {
    return maintest::MakeImage(4, 3, [](int x, int y) { return maintest::Distinct(x, y); });
}

}  // namespace

class MainActionsTest : public QObject {
    Q_OBJECT
  private slots:
    void everyActionHasItsCaptionShortcutCategoryAndStartState() {
        Env env;
        TMainF w;
        for (const ActionRow &row : kActions) {
            QAction *a = Act(w, row.name);
            QVERIFY2(a != nullptr, row.name);
            QCOMPARE(a->text(), QString::fromUtf8(row.caption));
            QCOMPARE(a->shortcut(), QKeySequence(QString::fromLatin1(row.shortcut)));
            QCOMPARE(a->property("category").toString(), QString::fromLatin1(row.category));
            QVERIFY2(a->isEnabled() == row.enabled, row.name);
        }
        // Exactly the table's actions carry an A_ name.
        int named = 0;
        for (QAction *a : w.findChildren<QAction *>())
            named += a->objectName().startsWith(QStringLiteral("A_"));
        QCOMPARE(named, static_cast<int>(std::size(kActions)));
    }

    void checkMarksAtStart() {
        Env env;
        TMainF w;
        for (const ActionRow &row : kActions) {
            const QString name = QString::fromLatin1(row.name);
            const bool expect =
                name == QStringLiteral("A_Zoom100") || name == QStringLiteral("A_TransOn");
            QVERIFY2(Act(w, row.name)->isChecked() == expect, row.name);
        }
        QCOMPARE(int(w.ZoomIdx), 3);
        QCOMPARE(int(w.TransMode), 3);
        QVERIFY(Act(w, "A_PixInfo")->isCheckable());
        QVERIFY(Act(w, "A_IdxCol")->isCheckable());
    }

    void zoomActionsCarryTheirIndexInTableOrder() {
        Env env;
        TMainF w;
        const int percents[12] = {25, 50, 75, 100, 150, 200, 300, 400, 600, 800, 1200, 1600};
        for (int i = 0; i < 12; ++i) {
            QVERIFY(w.ZoomActs[i] != nullptr);
            QCOMPARE(w.ZoomActs[i]->objectName(), QStringLiteral("A_Zoom%1").arg(percents[i]));
            QCOMPARE(w.ZoomActs[i]->property("tag").toInt(), i);
            QCOMPARE(int(TMainF::kZoomTable[i]), percents[i]);
        }
    }

    void radioGroupsAndThePlainCheckItem() {
        Env env;
        TMainF w;
        // The four trans actions form one exclusive group.
        QActionGroup *trans = Act(w, "A_TransOff")->actionGroup();
        QVERIFY(trans != nullptr);
        QVERIFY(trans->isExclusive());
        QCOMPARE(trans->actions().size(), 4);
        for (const char *n : {"A_Trans0", "A_Trans1", "A_TransOn"})
            QCOMPARE(Act(w, n)->actionGroup(), trans);
        // Eleven zoom actions are radio items; "150%" is a plain check item.
        QActionGroup *zoom = Act(w, "A_Zoom25")->actionGroup();
        QVERIFY(zoom != nullptr);
        QVERIFY(zoom->isExclusive());
        QCOMPARE(zoom->actions().size(), 11);
        QVERIFY(Act(w, "A_Zoom150")->actionGroup() == nullptr);
        QVERIFY(Act(w, "A_Zoom150")->isCheckable());
    }

    void menuTree() {
        Env env;
        TMainF w;
        const QList<QAction *> top = w.menuBar()->actions();
        QCOMPARE(top.size(), 5);
        QCOMPARE(top[0]->menu()->title(), QStringLiteral("ファイル(&F)"));
        QCOMPARE(top[1]->menu()->title(), QStringLiteral("編集(&E)"));
        QCOMPARE(top[2]->menu()->title(), QStringLiteral("表示(&V)"));
        QCOMPARE(top[3]->menu()->title(), QStringLiteral("設定(&S)"));
        QCOMPARE(top[4], Act(w, "A_About"));

        QCOMPARE(Entries(top[0]->menu()),
                 QStringList({"A_New", "A_Fork", "A_TextIn", "-", "A_Open", "A_Close", "-",
                              "A_Save", "A_Save2", "-", "A_Quit"}));
        QCOMPARE(Entries(top[1]->menu()),
                 QStringList({"A_Undo", "A_Redo", "-", "A_Size", "A_AdjOL", "A_EdgeAA",
                              "A_BackTrans", QStringLiteral("menu:") + "枠追加(&W)", "A_Reduce",
                              "-", "A_Gray", "A_Alpha"}));
        QMenu *wall = SubMenu(top[1]->menu(), QStringLiteral("枠追加(&W)"));
        QVERIFY(wall != nullptr);
        QCOMPARE(wall->objectName(), QStringLiteral("M_AddWall"));
        QCOMPARE(wall, w.M_AddWall);
        QVERIFY(!wall->isEnabled());
        QCOMPARE(Entries(wall), QStringList({"A_AddTrans", "A_AddBorder"}));

        QCOMPARE(Entries(top[2]->menu()),
                 QStringList({"A_AdjWin", QStringLiteral("menu:") + "透過(&T)",
                              QStringLiteral("menu:") + "拡大率(&Z)", "A_ZoomS", "A_ZoomL", "-",
                              "A_PixInfo", "A_IdxCol"}));
        QCOMPARE(Entries(SubMenu(top[2]->menu(), QStringLiteral("透過(&T)"))),
                 QStringList({"A_TransOff", "A_Trans0", "A_Trans1", "A_TransOn"}));
        QCOMPARE(Entries(SubMenu(top[2]->menu(), QStringLiteral("拡大率(&Z)"))),
                 QStringList({"A_Zoom25", "A_Zoom50", "A_Zoom75", "A_Zoom100", "A_Zoom150",
                              "A_Zoom200", "A_Zoom300", "A_Zoom400", "A_Zoom600", "A_Zoom800",
                              "A_Zoom1200", "A_Zoom1600"}));
        QCOMPARE(Entries(top[3]->menu()), QStringList({"A_BackCol", "A_BorderCol", "A_WrapMode"}));
    }

    void formSettings() {
        Env env;
        TMainF w;
        QCOMPARE(w.windowTitle(), QStringLiteral("KVZA frontend"));
        QCOMPARE(w.size(), QSize(311, 85));
        QCOMPARE(w.font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(w.font().pixelSize(), 12);
        QStringList subs = QFont::substitutes(QStringLiteral("ＭＳ Ｐゴシック"));
        QVERIFY(subs.contains(QStringLiteral("IPAPGothic"), Qt::CaseInsensitive));
        QVERIFY(QFont::substitutes(QStringLiteral("Courier New"))
                    .contains(QStringLiteral("DejaVu Sans Mono"), Qt::CaseInsensitive));
        // The Japanese captions render in the installed substitute.
        QCOMPARE(QFontInfo(w.font()).family(), QStringLiteral("IPAPGothic"));
        QWidget *img = w.findChild<QWidget *>(QStringLiteral("Img"));
        QVERIFY(img != nullptr);
        QVERIFY(img->isHidden());
        QVERIFY(img->hasMouseTracking());
        // The image control sits in the scrolling client area.
        auto *scroll = qobject_cast<QScrollArea *>(w.centralWidget());
        QVERIFY(scroll != nullptr);
        QCOMPARE(scroll->widget(), img);
        QCOMPARE(w.Shown, uint8_t(0));
        QCOMPARE(w.Modified, uint8_t(0));
        QVERIFY(w.CurImg == nullptr);
        QVERIFY(w.PixWin == nullptr);
        QVERIFY(w.PalWin == nullptr);
        QVERIFY(w.SaveName.isEmpty());
        for (KvzaImage *slot : w.UndoBuf) QVERIFY(slot == nullptr);
    }

    void showDocEnablesTheDocumentActionsAndCloseDocDisablesThem() {
        Env env;
        TMainF w;
        maintest::Adopt(w, SmallImage());
        QCOMPARE(w.Shown, uint8_t(1));
        for (const char *n : kDocActions) QVERIFY2(Act(w, n)->isEnabled(), n);
        QVERIFY(w.M_AddWall->isEnabled());
        QVERIFY(!w.Img->isHidden());
        // The history is empty: undo and redo stay off.
        QVERIFY(!Act(w, "A_Undo")->isEnabled());
        QVERIFY(!Act(w, "A_Redo")->isEnabled());
        Act(w, "A_Gray")->trigger();
        QVERIFY(Act(w, "A_Undo")->isEnabled());

        Act(w, "A_Close")->trigger();  // no question, even with changes
        QVERIFY(env.boxes.log.isEmpty());
        QCOMPARE(w.Shown, uint8_t(0));
        QCOMPARE(w.Modified, uint8_t(0));
        QVERIFY(w.CurImg == nullptr);
        for (const char *n : kDocActions) QVERIFY2(!Act(w, n)->isEnabled(), n);
        QVERIFY(!w.M_AddWall->isEnabled());
        QVERIFY(!Act(w, "A_Undo")->isEnabled());
        QVERIFY(w.Img->isHidden());
        QCOMPARE(w.windowTitle(), QStringLiteral("KVZA frontend"));
        // The frame actions stay enabled and do nothing without an image.
        QVERIFY(Act(w, "A_AddTrans")->isEnabled());
        Act(w, "A_AddTrans")->trigger();
        Act(w, "A_AddBorder")->trigger();
        Act(w, "A_Gray")->trigger();  // disabled: no effect
        QVERIFY(w.CurImg == nullptr);
        QCOMPARE(w.Modified, uint8_t(0));
    }

    void closeDocKeepsOnlyThePixelTypeOfTheSaveOptions() {
        Env env;
        TMainF w;
        maintest::Adopt(w, SmallImage());
        w.SaveOpts.type = 21;
        w.SaveOpts.switches = 5;
        w.SaveOpts.valid = 1;
        w.SaveOpts.track[0] = 7;
        w.SaveName = QStringLiteral("/tmp/x.bmp");
        w.OpenName = QStringLiteral("/tmp/y.bmp");
        w.CloseDoc();
        QCOMPARE(w.SaveOpts.type, int16_t(21));
        QCOMPARE(w.SaveOpts.switches, uint16_t(0));
        QCOMPARE(w.SaveOpts.valid, uint8_t(0));
        QCOMPARE(w.SaveOpts.track[0], int16_t(0));
        QVERIFY(w.SaveName.isEmpty());
        QCOMPARE(w.OpenName, QStringLiteral("/tmp/y.bmp"));  // kept
    }

    void zoomChecksFollowTheIndex() {
        Env env;
        TMainF w;
        Act(w, "A_Zoom150")->trigger();
        QCOMPARE(int(w.ZoomIdx), 4);
        QCOMPARE(CheckedZooms(w), 1);
        QVERIFY(Act(w, "A_Zoom150")->isChecked());
        Act(w, "A_Zoom200")->trigger();
        QCOMPARE(int(w.ZoomIdx), 5);
        QCOMPARE(CheckedZooms(w), 1);
        QVERIFY(!Act(w, "A_Zoom150")->isChecked());
        // Triggering the checked plain item again keeps it checked.
        Act(w, "A_Zoom150")->trigger();
        Act(w, "A_Zoom150")->trigger();
        QVERIFY(Act(w, "A_Zoom150")->isChecked());
        QCOMPARE(CheckedZooms(w), 1);
        Act(w, "A_ZoomS")->trigger();
        QCOMPARE(int(w.ZoomIdx), 3);
        QVERIFY(Act(w, "A_Zoom100")->isChecked());
        QCOMPARE(CheckedZooms(w), 1);
        Act(w, "A_ZoomL")->trigger();
        Act(w, "A_ZoomL")->trigger();
        QCOMPARE(int(w.ZoomIdx), 5);
        QCOMPARE(CheckedZooms(w), 1);
        QVERIFY(Act(w, "A_Zoom200")->isChecked());
    }

    void transActionsSetTheModeAndTheirCheckMark() {
        Env env;
        TMainF w;
        const char *names[4] = {"A_TransOff", "A_Trans0", "A_Trans1", "A_TransOn"};
        for (int mode : {1, 0, 2, 3, 1}) {
            Act(w, names[mode])->trigger();
            QCOMPARE(int(w.TransMode), mode);
            for (int k = 0; k < 4; ++k) QVERIFY(Act(w, names[k])->isChecked() == (k == mode));
        }
    }

    void shortcutsReachTheActions() {
        Env env;
        TMainF w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F6);
        QCOMPARE(int(w.TransMode), 1);
        QTest::keyClick(&w, Qt::Key_F7, Qt::ShiftModifier);
        QCOMPARE(int(w.ZoomIdx), 6);
        QTest::keyClick(&w, Qt::Key_Delete);
        QCOMPARE(int(w.ZoomIdx), 5);
        QTest::keyClick(&w, Qt::Key_Insert);
        QTest::keyClick(&w, Qt::Key_Insert);
        QCOMPARE(int(w.ZoomIdx), 7);
    }

    void pixelInfoCommandShowsACheckOnlyWithAWindow() {
        Env env;
        TMainF w;
        Act(w, "A_PixInfo")->trigger();
        QVERIFY((w.PixWin != nullptr) == Act(w, "A_PixInfo")->isChecked());
    }

    void paletteWindowFollowsItsCommandAndItsCloseBox() {
        Env env;
        TMainF w;
        Act(w, "A_IdxCol")->trigger();
        QVERIFY(w.PalWin != nullptr);
        QVERIFY(Act(w, "A_IdxCol")->isChecked());
        QVERIFY(w.PalWin->isVisible());
        Act(w, "A_IdxCol")->trigger();
        QVERIFY(w.PalWin == nullptr);
        QVERIFY(!Act(w, "A_IdxCol")->isChecked());
        // Closed by its own close box: the callback empties PalWin.
        Act(w, "A_IdxCol")->trigger();
        QVERIFY(w.PalWin != nullptr);
        QPointer<QWidget> pal = w.PalWin;
        pal->close();
        QVERIFY(w.PalWin == nullptr);
        QVERIFY(!Act(w, "A_IdxCol")->isChecked());
        QTRY_VERIFY(pal.isNull());  // released
    }

    void aboutShowsTheAboutBox() {
        Env env;
        TMainF w;
        Act(w, "A_About")->trigger();
        QCOMPARE(env.boxes.log.size(), 1);
        QVERIFY(env.boxes.log[0].startsWith(QStringLiteral("about:KVZA frontend prototype")));
    }

    void quitClosesAnUnchangedWindow() {
        Env env;
        TMainF w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Act(w, "A_Quit")->trigger();
        QVERIFY(!w.isVisible());
        QVERIFY(env.boxes.log.isEmpty());
    }
};

QTEST_MAIN(MainActionsTest)
#include "main_actions_test.moc"
