// The main window: one document (an image with its undo history), its view,
// the commands of the menu and the glue to the plug-in hosts and dialogs.
#pragma once

#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QString>
#include <cstdint>

#include "document.h"
#include "host_ui.h"
#include "kot.h"
#include "kvza.h"

class QAction;
class QActionGroup;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QScrollArea;

namespace kvzaedit {

class TPalF;
class TPrgrsF;
class TMainF;

// What RefreshView does besides redrawing the view bitmap (flags, combined).
enum RefreshFlags : int {
    kRedrawOnly = 0,
    kResizeView = 1,  // the image control takes the zoomed size of the image
    kFitWindow = 2,   // then the window fits the image
};

// Registers the substitute fonts of the form fonts ("ＭＳ Ｐゴシック" and
// "Courier New"), once per process.
void RegisterFontSubstitutes();

// Makes the program's folder the current directory and points the settings
// file at KVZAEDIT.INI there, or at the user's own file when the program is
// an installed copy (settings_place.h). Run once at start, before the main
// window is built (a file named on the command line must be made absolute
// first).
void EnterProgramFolder();

// The image control: shows its 24-bit bitmap stretched to its own size with
// plain pixel repetition and reports mouse moves to the main window.
class TImgView : public QLabel {
    Q_OBJECT
  public:
    explicit TImgView(TMainF *owner);
    // The view bitmap (RGB888, exactly the image's width by height).
    QImage Bitmap;

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

  private:
    TMainF *owner_;
};

class TMainF : public QMainWindow, public HostUi {
    Q_OBJECT
  public:
    // open_name: the file to open at start (already absolute), or empty.
    explicit TMainF(const QString &open_name = QString(), QWidget *parent = nullptr);
    ~TMainF() override;

    // ---- components ----
    TImgView *Img = nullptr;
    QScrollArea *Scroll = nullptr;  // the scrolling client area holding Img

    // ---- the document: image, history, edits (toolkit-free) ----
    Document Doc{*this};

    // ---- state, in the form's order ----
    uint8_t Shown = 0;                        // a document is shown
    uint8_t &Modified = Doc.Modified;         // the document has unsaved changes
    int8_t ZoomIdx = 3;                       // index into the zoom table (3 = 100 %)
    int8_t TransMode = 3;                     // transparency display mode 0..3
    QWidget *PixWin = nullptr;                // pixel information window, or none
    TPalF *PalWin = nullptr;                  // palette window, or none
    KotSaveOptions &SaveOpts = Doc.SaveOpts;  // save settings of the document
    KvzaImage *&CurImg = Doc.CurImg;          // the image of the document
    KvzaImage *(&UndoBuf)[16] = Doc.UndoBuf;  // 0..7 undo stack, 8..15 redo stack
    QString OpenName;  // file to open; afterwards the file last opened or saved
    QString SaveName;  // file the document is saved to; empty = not chosen yet

    // The twelve zoom actions in table order.
    QAction *ZoomActs[12] = {};
    static const uint16_t kZoomTable[12];

    // Colour of the colour dialog (0xBBGGRR, red in the low byte).
    uint32_t BackColSelColour = 0x808080;
    // Initial folder and file name of the save-file dialog.
    QString F_SaveDir = QStringLiteral(".");
    QString F_SaveFile;
    // Image position of the last mouse move over the view.
    int32_t LastPixX = 0, LastPixY = 0;

    // ---- actions ----
    QAction *A_New, *A_Fork, *A_TextIn, *A_Open, *A_Close, *A_Save, *A_Save2, *A_Quit;
    QAction *A_Undo, *A_Redo;
    QAction *A_Size, *A_AdjOL, *A_EdgeAA, *A_BackTrans, *A_AddTrans, *A_AddBorder, *A_Reduce,
        *A_Gray, *A_Alpha;
    QAction *A_AdjWin, *A_TransOff, *A_Trans0, *A_Trans1, *A_TransOn;
    QAction *A_Zoom25, *A_Zoom50, *A_Zoom75, *A_Zoom100, *A_Zoom150, *A_Zoom200, *A_Zoom300,
        *A_Zoom400, *A_Zoom600, *A_Zoom800, *A_Zoom1200, *A_Zoom1600;
    QAction *A_ZoomS, *A_ZoomL, *A_PixInfo, *A_IdxCol;
    QAction *A_BackCol, *A_BorderCol, *A_WrapMode, *A_About;
    QActionGroup *TransGroup = nullptr;
    QActionGroup *ZoomGroup = nullptr;
    QMenu *M_AddWall = nullptr;

    // ---- document and history ----
    int BeginEdit(int32_t width, int32_t height);
    void CopyPrevPixels(KvzaImage *dst, const KvzaImage *src);
    void UndoStep(bool refresh);
    void RedoStep(bool refresh);
    void ClearUndo();
    void ClearRedo();
    void ShowDoc();
    void CloseDoc();
    void OpenDoc();
    int SaveDoc();
    int ResizeTo(int32_t method, int32_t width, int32_t height);
    int ReduceColours(int32_t alphamode, uint32_t colours, uint32_t dither);
    int TransparentizeRef(int32_t reference, int32_t x, float ta, float tw, float tc, float th,
                          int32_t y);
    // Takes an image from a parent instance through standard input.
    void ReceiveFromParent();
    // Starts a further instance of the program and hands it image (none:
    // an empty instance). 0 done, 1 failed (message shown).
    int SendToNewInstance(const KvzaImage *image);

    // Callback forms of the three operations, for the dialogs (main = this).
    static int ResizeToCb(void *main, int32_t method, int32_t width, int32_t height);
    static int ReduceColoursCb(void *main, int32_t alphamode, uint32_t colours, uint32_t dither);
    static int TransparentizeRefCb(void *main, int32_t reference, int32_t x, float ta, float tw,
                                   float tc, float th, int32_t y);

    // ---- view ----
    void RefreshView(int flags);
    void ImgMouseMove(Qt::KeyboardModifiers shift, int x, int y);
    // Zoom percent of ZoomIdx.
    int ZoomPercent() const;
    // One control coordinate mapped to image pixels at the percent given.
    static int32_t ViewToImage(int32_t v, int percent);
    void ClosePixWin();
    void ClosePalWin();
    static void ClosePalWinCb(void *main);
    static KvzaImage *CurImgCb(void *main);

    // ---- settings ----
    void LoadCustomColours();
    void StoreCustomColours();

    // ---- HostUi ----
    void ErrorBox(const std::string &text) override;
    int RunSaveDialog(const KotUsableTable *table, KotSaveOptions *options,
                      const TypeHints &hints) override;
    KvzaProgress *OpenProgress() override;
    void CloseProgress() override;

    // ---- file dialogs (return false when cancelled) ----
    // The folder a file dialog opens in: usual when the program runs from its
    // own folder, else the shown document's folder, pictures or home.
    QString StartFolder(const QString &usual) const;
    bool RunOpenFileDialog(QString &path);
    bool RunSaveFileDialog(QString &path);
    // The colour dialog on BackColSelColour; true when confirmed.
    bool RunColourDialog();

  public slots:
    void A_NewExecute();
    void A_ForkExecute();
    void A_TextInExecute();
    void A_OpenExecute();
    void A_CloseExecute();
    void A_SaveExecute();
    void A_Save2Execute();
    void A_QuitExecute();
    void A_UndoExecute();
    void A_RedoExecute();
    void A_SizeExecute();
    void A_AdjOLExecute();
    void A_EdgeAAExecute();
    void A_BackTransExecute();
    void A_AddTransExecute();
    void A_AddBorderExecute();
    void A_ReduceExecute();
    void A_GrayExecute();
    void A_AlphaExecute();
    void A_AdjWinExecute();
    void A_TransOffExecute();
    void A_Trans0Execute();
    void A_Trans1Execute();
    void A_TransOnExecute();
    // The twelve zoom actions share this handler; the action's tag is its index.
    void A_ZoomExecute(QAction *action);
    void A_ZoomSExecute();
    void A_ZoomLExecute();
    void A_PixInfoExecute();
    void A_IdxColExecute();
    void A_BackColExecute();
    void A_BorderColExecute();
    void A_WrapModeExecute();
    void A_AboutExecute();

  protected:
    void closeEvent(QCloseEvent *event) override;
    // Dropped files: one file opens here when the window is empty, else in a
    // further instance; several files at once do nothing.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

  private:
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void FormDestroy();
    void CreateActions();
    void CreateMenus();
    void SetDocActionsEnabled(bool on);
    // The undo and redo actions enabled as the history allows.
    void SyncHistoryActions();
    // After an edit of the document: the actions follow its history, and
    // the view is redrawn (RefreshView flags) when the edit was done.
    void AfterEdit(kvza_status status, int refresh);
    // Window background of the client area.
    void SetBackground(const QColor &colour);
    void SetTransMode(int8_t mode, QAction *action);

    TPrgrsF *Progress = nullptr;  // progress dialog of the running operation
};

}  // namespace kvzaedit
