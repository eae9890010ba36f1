// The main window: components, actions and menus, start-up and shut-down,
// the colour dialog with its custom colours, and the file commands.
#include "F_main.h"

#include <unistd.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <cstdio>
#include <string>

#include "F_pal.h"
#include "F_prgrs.h"
#include "dialog_folder.h"
#include "dynlib.h"
#include "image_alloc.h"
#include "ini_file.h"
#include "msgbox.h"
#include "output_host.h"
#include "settings_place.h"

namespace kvzaedit {

namespace {

const QString kCaption = QStringLiteral("KVZA frontend");
const char kBackSection[] = "BackColour";

// 0xBBGGRR (red in the low byte) <-> QColor.
QColor ColourFromNumber(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

uint32_t NumberFromColour(const QColor &colour) {
    const QColor rgb = colour.toRgb();
    return static_cast<uint32_t>(rgb.red()) | (static_cast<uint32_t>(rgb.green()) << 8) |
           (static_cast<uint32_t>(rgb.blue()) << 16);
}

// Key of custom colour i: "PaletteA" with its last letter set to 'A' + i.
std::string PaletteKey(int i) {
    std::string key = "PaletteA";
    key.back() = static_cast<char>('A' + i);
    return key;
}

// The file dialogs' filters: "Any (*)" first and preselected, then one filter
// per format the program's readers or writers handle, "JPEG (*.jpg *.jpeg)".
// Qt's own dialog is used on every desktop and told to match without regard
// to case, so that "*.png" shows a.PNG too (native dialogs may not).
void SetFileFilters(QFileDialog &dialog, PluginDir dir) {
    QStringList filters{QStringLiteral("Any (*)")};
    for (const PluginFormat &format : PluginFormats(dir, ProgramDir())) {
        QStringList patterns;
        for (const std::string &ext : format.extensions)
            patterns << QStringLiteral("*.") + QString::fromStdString(ext);
        filters << QString::fromStdString(format.name) + QStringLiteral(" (") +
                       patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
}

}  // namespace

void RegisterFontSubstitutes() {
    static bool done = false;
    if (done) return;
    done = true;
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPA PGothic")});
    QFont::insertSubstitutions(QStringLiteral("Courier New"),
                               {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")});
}

void EnterProgramFolder() {
    const QString dir = QCoreApplication::applicationDirPath();
    if (!dir.isEmpty()) QDir::setCurrent(dir);
    UseProgramSettings(QDir::currentPath().toStdString());
}

// ---------------------------------------------------------------------------
// Construction and start-up

const uint16_t TMainF::kZoomTable[12] = {25, 50, 75, 100, 150, 200, 300, 400, 600, 800, 1200, 1600};

TMainF::TMainF(const QString &open_name, QWidget *parent) : QMainWindow(parent) {
    RegisterFontSubstitutes();
    // State before the form's creation handler.
    ZoomIdx = 3;
    TransMode = 3;
    SaveOpts = KotSaveOptions{};
    PixWin = nullptr;
    OpenName = open_name;
    SaveName.clear();

    setWindowTitle(kCaption);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);

    Scroll = new QScrollArea(this);
    Scroll->setObjectName(QStringLiteral("ClientArea"));
    Scroll->setFrameShape(QFrame::NoFrame);
    Scroll->setWidgetResizable(false);
    Scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Img = new TImgView(this);
    Scroll->setWidget(Img);
    Img->hide();
    setCentralWidget(Scroll);
    // With no document the client area shows the button face colour.
    SetBackground(QApplication::palette().color(QPalette::Button));

    CreateActions();
    CreateMenus();
    resize(311, 85);
    FormCreate();
}

TMainF::~TMainF() {
    FormDestroy();
}

void TMainF::FormCreate() {
    Img->Bitmap = QImage(0, 0, QImage::Format_RGB888);
    BackColSelColour = ReadIniHex(kBackSection, "Default", BackColSelColour, 6);
    QAction *zooms[12] = {A_Zoom25,  A_Zoom50,  A_Zoom75,  A_Zoom100, A_Zoom150,  A_Zoom200,
                          A_Zoom300, A_Zoom400, A_Zoom600, A_Zoom800, A_Zoom1200, A_Zoom1600};
    for (int i = 0; i < 12; ++i) ZoomActs[i] = zooms[i];
    ZoomActs[ZoomIdx]->setChecked(true);
    A_TransOn->setChecked(true);
    if (!OpenName.isEmpty()) OpenDoc();
    if (CurImg == nullptr) ReceiveFromParent();
    // Dropped files are taken from here on (dragEnterEvent, dropEvent).
    setAcceptDrops(true);
}

void TMainF::CreateActions() {
    struct ActionDef {
        QAction **slot;
        const char *name;
        const char *category;
        const char *caption;
        const char *shortcut;
        bool enabled;
    };
    const ActionDef defs[] = {
        {&A_New, "A_New", "file", "新規(&N)", "", true},
        {&A_Fork, "A_Fork", "file", "複製(&F)", "Ctrl+F", false},
        {&A_TextIn, "A_TextIn", "file", "テクスト取り込み(&T)", "", true},
        {&A_Open, "A_Open", "file", "開く(&O)", "Ctrl+O", true},
        {&A_Close, "A_Close", "file", "閉じる(&C)", "", false},
        {&A_Save, "A_Save", "file", "保存(&S)", "Ctrl+S", false},
        {&A_Save2, "A_Save2", "file", "名前を付けて保存(&A)", "", false},
        {&A_Quit, "A_Quit", "file", "終了(&Q)", "", true},
        {&A_Undo, "A_Undo", "undobuf", "元に戻す(&U)", "Ctrl+Z", false},
        {&A_Redo, "A_Redo", "undobuf", "やり直し(&R)", "Ctrl+Y", false},
        {&A_Size, "A_Size", "edit", "サイズ変更(&S)", "Ctrl+Alt+S", false},
        {&A_AdjOL, "A_AdjOL", "edit", "輪郭色調整(&O)", "Ctrl+Alt+O", false},
        {&A_EdgeAA, "A_EdgeAA", "edit", "輪郭透過(&E)", "Ctrl+Alt+E", false},
        {&A_BackTrans, "A_BackTrans", "edit", "背景透明化(&B)", "Ctrl+Alt+B", false},
        {&A_AddTrans, "A_AddTrans", "edit", "透明(&T)", "", true},
        {&A_AddBorder, "A_AddBorder", "edit", "周辺色(&B)", "", true},
        {&A_Reduce, "A_Reduce", "edit", "減色(&R)", "Ctrl+Alt+R", false},
        {&A_Gray, "A_Gray", "edit", "グレイマップ(&G)", "Ctrl+Alt+G", false},
        {&A_Alpha, "A_Alpha", "edit", "アルファマップ(&A)", "Ctrl+Alt+A", false},
        {&A_AdjWin, "A_AdjWin", "view", "ウィンドウ調整(&A)", "Ctrl+A", true},
        {&A_TransOff, "A_TransOff", "trans", "非透過", "F5", true},
        {&A_Trans0, "A_Trans0", "trans", "a=0透過", "F6", true},
        {&A_Trans1, "A_Trans1", "trans", "a<1透過", "F7", true},
        {&A_TransOn, "A_TransOn", "trans", "半透明", "F8", true},
        {&A_Zoom25, "A_Zoom25", "zoom", "25%", "Shift+F1", true},
        {&A_Zoom50, "A_Zoom50", "zoom", "50%", "Shift+F2", true},
        {&A_Zoom75, "A_Zoom75", "zoom", "75%", "Shift+F3", true},
        {&A_Zoom100, "A_Zoom100", "zoom", "100%", "Shift+F4", true},
        {&A_Zoom150, "A_Zoom150", "zoom", "150%", "Shift+F5", true},
        {&A_Zoom200, "A_Zoom200", "zoom", "200%", "Shift+F6", true},
        {&A_Zoom300, "A_Zoom300", "zoom", "300%", "Shift+F7", true},
        {&A_Zoom400, "A_Zoom400", "zoom", "400%", "Shift+F8", true},
        {&A_Zoom600, "A_Zoom600", "zoom", "600%", "Shift+F9", true},
        {&A_Zoom800, "A_Zoom800", "zoom", "800%", "Shift+F10", true},
        {&A_Zoom1200, "A_Zoom1200", "zoom", "1200%", "Shift+F11", true},
        {&A_Zoom1600, "A_Zoom1600", "zoom", "1600%", "Shift+F12", true},
        {&A_ZoomS, "A_ZoomS", "zoom", "縮小(&S)", "Del", true},
        {&A_ZoomL, "A_ZoomL", "zoom", "拡大(&L)", "Ins", true},
        {&A_PixInfo, "A_PixInfo", "view", "ピクセル情報(&P)", "F2", true},
        {&A_IdxCol, "A_IdxCol", "view", "擬似パレット(&I)", "F3", true},
        {&A_BackCol, "A_BackCol", "setting", "背景色(&B)", "F4", false},
        {&A_BorderCol, "A_BorderCol", "setting", "周辺色(&R)", "Ctrl+F4", false},
        {&A_WrapMode, "A_WrapMode", "setting", "ラップモード(&W)", "", false},
        {&A_About, "A_About", "", "About(&A)", "", true},
    };
    for (const ActionDef &def : defs) {
        auto *action = new QAction(QString::fromUtf8(def.caption), this);
        action->setObjectName(QString::fromLatin1(def.name));
        action->setProperty("category", QString::fromLatin1(def.category));
        if (def.shortcut[0] != '\0')
            action->setShortcut(QKeySequence(QString::fromLatin1(def.shortcut)));
        action->setEnabled(def.enabled);
        addAction(action);  // shortcuts work whatever menu holds the action
        *def.slot = action;
    }

    // Transparency display: four radio items.
    TransGroup = new QActionGroup(this);
    TransGroup->setExclusive(true);
    QAction *trans[4] = {A_TransOff, A_Trans0, A_Trans1, A_TransOn};
    for (int i = 0; i < 4; ++i) {
        trans[i]->setCheckable(true);
        trans[i]->setProperty("tag", i);
        TransGroup->addAction(trans[i]);
    }

    // Zoom: radio items, except "150%", which is a plain check item.
    ZoomGroup = new QActionGroup(this);
    ZoomGroup->setExclusive(true);
    QAction *zooms[12] = {A_Zoom25,  A_Zoom50,  A_Zoom75,  A_Zoom100, A_Zoom150,  A_Zoom200,
                          A_Zoom300, A_Zoom400, A_Zoom600, A_Zoom800, A_Zoom1200, A_Zoom1600};
    for (int i = 0; i < 12; ++i) {
        zooms[i]->setCheckable(true);
        zooms[i]->setProperty("tag", i);
        zooms[i]->setData(i);
        if (zooms[i] != A_Zoom150) ZoomGroup->addAction(zooms[i]);
        QAction *action = zooms[i];
        connect(action, &QAction::triggered, this, [this, action] { A_ZoomExecute(action); });
    }
    A_PixInfo->setCheckable(true);
    A_IdxCol->setCheckable(true);

    connect(A_New, &QAction::triggered, this, &TMainF::A_NewExecute);
    connect(A_Fork, &QAction::triggered, this, &TMainF::A_ForkExecute);
    connect(A_TextIn, &QAction::triggered, this, &TMainF::A_TextInExecute);
    connect(A_Open, &QAction::triggered, this, &TMainF::A_OpenExecute);
    connect(A_Close, &QAction::triggered, this, &TMainF::A_CloseExecute);
    connect(A_Save, &QAction::triggered, this, &TMainF::A_SaveExecute);
    connect(A_Save2, &QAction::triggered, this, &TMainF::A_Save2Execute);
    connect(A_Quit, &QAction::triggered, this, &TMainF::A_QuitExecute);
    connect(A_Undo, &QAction::triggered, this, &TMainF::A_UndoExecute);
    connect(A_Redo, &QAction::triggered, this, &TMainF::A_RedoExecute);
    connect(A_Size, &QAction::triggered, this, &TMainF::A_SizeExecute);
    connect(A_AdjOL, &QAction::triggered, this, &TMainF::A_AdjOLExecute);
    connect(A_EdgeAA, &QAction::triggered, this, &TMainF::A_EdgeAAExecute);
    connect(A_BackTrans, &QAction::triggered, this, &TMainF::A_BackTransExecute);
    connect(A_AddTrans, &QAction::triggered, this, &TMainF::A_AddTransExecute);
    connect(A_AddBorder, &QAction::triggered, this, &TMainF::A_AddBorderExecute);
    connect(A_Reduce, &QAction::triggered, this, &TMainF::A_ReduceExecute);
    connect(A_Gray, &QAction::triggered, this, &TMainF::A_GrayExecute);
    connect(A_Alpha, &QAction::triggered, this, &TMainF::A_AlphaExecute);
    connect(A_AdjWin, &QAction::triggered, this, &TMainF::A_AdjWinExecute);
    connect(A_TransOff, &QAction::triggered, this, &TMainF::A_TransOffExecute);
    connect(A_Trans0, &QAction::triggered, this, &TMainF::A_Trans0Execute);
    connect(A_Trans1, &QAction::triggered, this, &TMainF::A_Trans1Execute);
    connect(A_TransOn, &QAction::triggered, this, &TMainF::A_TransOnExecute);
    connect(A_ZoomS, &QAction::triggered, this, &TMainF::A_ZoomSExecute);
    connect(A_ZoomL, &QAction::triggered, this, &TMainF::A_ZoomLExecute);
    connect(A_PixInfo, &QAction::triggered, this, &TMainF::A_PixInfoExecute);
    connect(A_IdxCol, &QAction::triggered, this, &TMainF::A_IdxColExecute);
    connect(A_BackCol, &QAction::triggered, this, &TMainF::A_BackColExecute);
    connect(A_BorderCol, &QAction::triggered, this, &TMainF::A_BorderColExecute);
    connect(A_WrapMode, &QAction::triggered, this, &TMainF::A_WrapModeExecute);
    connect(A_About, &QAction::triggered, this, &TMainF::A_AboutExecute);
}

void TMainF::CreateMenus() {
    QMenuBar *bar = menuBar();

    QMenu *file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("M_File"));
    file->addActions({A_New, A_Fork, A_TextIn});
    file->addSeparator();
    file->addActions({A_Open, A_Close});
    file->addSeparator();
    file->addActions({A_Save, A_Save2});
    file->addSeparator();
    file->addAction(A_Quit);

    QMenu *edit = bar->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("M_Edit"));
    edit->addActions({A_Undo, A_Redo});
    edit->addSeparator();
    edit->addActions({A_Size, A_AdjOL, A_EdgeAA, A_BackTrans});
    M_AddWall = edit->addMenu(QStringLiteral("枠追加(&W)"));
    M_AddWall->setObjectName(QStringLiteral("M_AddWall"));
    M_AddWall->addActions({A_AddTrans, A_AddBorder});
    M_AddWall->setEnabled(false);
    edit->addAction(A_Reduce);
    edit->addSeparator();
    edit->addActions({A_Gray, A_Alpha});

    QMenu *view = bar->addMenu(QStringLiteral("表示(&V)"));
    view->setObjectName(QStringLiteral("M_View"));
    view->addAction(A_AdjWin);
    QMenu *trans = view->addMenu(QStringLiteral("透過(&T)"));
    trans->setObjectName(QStringLiteral("M_Trans"));
    trans->addActions({A_TransOff, A_Trans0, A_Trans1, A_TransOn});
    QMenu *zoom = view->addMenu(QStringLiteral("拡大率(&Z)"));
    zoom->setObjectName(QStringLiteral("M_Zoom"));
    zoom->addActions({A_Zoom25, A_Zoom50, A_Zoom75, A_Zoom100, A_Zoom150, A_Zoom200, A_Zoom300,
                      A_Zoom400, A_Zoom600, A_Zoom800, A_Zoom1200, A_Zoom1600});
    view->addActions({A_ZoomS, A_ZoomL});
    view->addSeparator();
    view->addActions({A_PixInfo, A_IdxCol});

    QMenu *setting = bar->addMenu(QStringLiteral("設定(&S)"));
    setting->setObjectName(QStringLiteral("M_Setting"));
    setting->addActions({A_BackCol, A_BorderCol, A_WrapMode});

    bar->addAction(A_About);
}

// ---------------------------------------------------------------------------
// Shut-down

void TMainF::closeEvent(QCloseEvent *event) {
    // An operation with a progress dialog is still using the document.
    if (Progress != nullptr || !FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TMainF::FormCloseQuery() {
    if (Modified == 0) return true;
    switch (AskBox(QStringLiteral("image has changed. save OK?"))) {
        case QMessageBox::Yes:
            return SaveDoc() == 0;
        case QMessageBox::No:
            Modified = 0;
            return true;
        default:  // Cancel, or the box closed without an answer
            return false;
    }
}

void TMainF::FormClose() {
    if (PixWin != nullptr) ClosePixWin();
    if (PalWin != nullptr) ClosePalWin();
}

void TMainF::FormDestroy() {
    setAcceptDrops(false);
    if (PixWin != nullptr) {
        delete PixWin;
        PixWin = nullptr;
    }
    if (PalWin != nullptr) {
        delete PalWin;
        PalWin = nullptr;
    }
    if (Progress != nullptr) {
        delete Progress;
        Progress = nullptr;
    }
    CloseDoc();
    // An image that was never shown (or history left over) is released too.
    ClearUndo();
    ClearRedo();
    ReleaseImage(CurImg);
}

// ---------------------------------------------------------------------------
// Custom colours and the colour dialog

void TMainF::LoadCustomColours() {
    const int count = QColorDialog::customCount();
    for (int i = 0; i < count; ++i) QColorDialog::setCustomColor(i, QColor(0, 0, 0));
    for (int i = 0; i < 16 && i < count; ++i) {
        const uint32_t number = ReadIniHex(kBackSection, PaletteKey(i), 0, 6);
        QColorDialog::setCustomColor(i, ColourFromNumber(number));
    }
}

void TMainF::StoreCustomColours() {
    const int count = QColorDialog::customCount();
    for (int i = 0; i < 16 && i < count; ++i)
        WriteIniHex(kBackSection, PaletteKey(i), NumberFromColour(QColorDialog::customColor(i)), 6);
}

bool TMainF::RunColourDialog() {
    QColorDialog dialog(ColourFromNumber(BackColSelColour), this);
    dialog.setObjectName(QStringLiteral("BackColSel"));
    dialog.setOption(QColorDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted) return false;
    BackColSelColour = NumberFromColour(dialog.selectedColor().isValid() ? dialog.selectedColor()
                                                                         : dialog.currentColor());
    return true;
}

void TMainF::A_BackColExecute() {
    LoadCustomColours();
    if (RunColourDialog()) {
        WriteIniHex(kBackSection, "Default", BackColSelColour, 6);
        if (CurImg != nullptr) {
            Doc.SetViewBackground(static_cast<uint8_t>(BackColSelColour & 0xFF),
                                  static_cast<uint8_t>((BackColSelColour >> 8) & 0xFF),
                                  static_cast<uint8_t>((BackColSelColour >> 16) & 0xFF));
            RefreshView(kRedrawOnly);
        }
    }
    StoreCustomColours();
}

void TMainF::A_BorderColExecute() {
    LoadCustomColours();
    if (RunColourDialog()) {
        WriteIniHex(kBackSection, "Default", BackColSelColour, 6);
        if (CurImg != nullptr) {
            Doc.SetBorderColour(static_cast<uint8_t>(BackColSelColour & 0xFF),
                                static_cast<uint8_t>((BackColSelColour >> 8) & 0xFF),
                                static_cast<uint8_t>((BackColSelColour >> 16) & 0xFF));
            RefreshView(kRedrawOnly);
        }
    }
    StoreCustomColours();
}

// ---------------------------------------------------------------------------
// File commands

QString TMainF::StartFolder(const QString &usual) const {
    const QString document = Shown ? SaveName : QString();
    return DialogStartFolder(IsInstalledCopy(ProgramDir()), document, usual);
}

bool TMainF::RunOpenFileDialog(QString &path) {
    QFileDialog dialog(this, QStringLiteral("開く"), StartFolder(QStringLiteral(".")));
    SetFileFilters(dialog, PluginDir::Input);
    dialog.setObjectName(QStringLiteral("F_Img"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first();
    return true;
}

bool TMainF::RunSaveFileDialog(QString &path) {
    QFileDialog dialog(this, QStringLiteral("名前を付けて保存"), StartFolder(F_SaveDir));
    SetFileFilters(dialog, PluginDir::Output);
    dialog.setObjectName(QStringLiteral("F_Save"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!F_SaveFile.isEmpty()) dialog.selectFile(F_SaveFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first();
    F_SaveFile = path;
    F_SaveDir = QFileInfo(path).absolutePath();
    return true;
}

void TMainF::A_OpenExecute() {
    QString path;
    if (!RunOpenFileDialog(path)) return;
    OpenName = path;
    OpenDoc();
}

void TMainF::A_CloseExecute() {
    CloseDoc();
}

void TMainF::A_SaveExecute() {
    SaveDoc();
}

void TMainF::A_Save2Execute() {
    if (CurImg == nullptr) return;
    QString path;
    if (!RunSaveFileDialog(path)) return;
    SaveName = path;
    const int16_t type = SaveOpts.type;
    SaveOpts = KotSaveOptions{};
    SaveOpts.type = type;
    SaveDoc();
}

void TMainF::A_QuitExecute() {
    close();
}

void TMainF::A_AboutExecute() {
    AboutBox();
}

}  // namespace kvzaedit
