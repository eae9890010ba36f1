// The main window's side of its document (core/document.h holds the image,
// the history and the edits): the undo and redo actions follow the history,
// the view is redrawn after each step, and opening, saving and closing the
// document go through the plug-in hosts.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

#include "F_main.h"
#include "F_pal.h"
#include "image_alloc.h"
#include "input_host.h"
#include "output_host.h"

namespace kvzaedit {

namespace {

std::string LocalPath(const QString &path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

// ---------------------------------------------------------------------------
// History

void TMainF::SyncHistoryActions() {
    A_Undo->setEnabled(Doc.CanUndo());
    A_Redo->setEnabled(Doc.CanRedo());
}

void TMainF::ClearUndo() {
    Doc.ClearUndo();
    SyncHistoryActions();
}

void TMainF::ClearRedo() {
    Doc.ClearRedo();
    SyncHistoryActions();
}

int TMainF::BeginEdit(int32_t width, int32_t height) {
    const kvza_status status = Doc.BeginEdit(width, height);
    SyncHistoryActions();
    return status;
}

void TMainF::CopyPrevPixels(KvzaImage *dst, const KvzaImage *src) {
    Doc.CopyPrevPixels(dst, src);
}

void TMainF::UndoStep(bool refresh) {
    if (!A_Undo->isEnabled() || !Doc.Undo()) return;
    SyncHistoryActions();
    if (refresh) RefreshView(kResizeView | kFitWindow);
}

void TMainF::RedoStep(bool refresh) {
    if (!A_Redo->isEnabled() || !Doc.Redo()) return;
    SyncHistoryActions();
    if (refresh) RefreshView(kResizeView | kFitWindow);
}

void TMainF::A_UndoExecute() {
    UndoStep(true);
}

void TMainF::A_RedoExecute() {
    RedoStep(true);
}

// ---------------------------------------------------------------------------
// Edits: the document's, then the actions and the view follow.

void TMainF::AfterEdit(kvza_status status, int refresh) {
    SyncHistoryActions();
    if (status == KVZA_OK) RefreshView(refresh);
}

void TMainF::A_AdjOLExecute() {
    AfterEdit(Doc.AdjustOutline(), kRedrawOnly);
}

void TMainF::A_EdgeAAExecute() {
    AfterEdit(Doc.EdgeAntialias(), kRedrawOnly);
}

void TMainF::A_GrayExecute() {
    AfterEdit(Doc.GreyMap(), kRedrawOnly);
}

void TMainF::A_AlphaExecute() {
    AfterEdit(Doc.AlphaMap(), kRedrawOnly);
}

void TMainF::A_AddTransExecute() {
    AfterEdit(Doc.AddTransparentFrame(), kResizeView | kFitWindow);
}

void TMainF::A_AddBorderExecute() {
    AfterEdit(Doc.AddBorderFrame(), kResizeView | kFitWindow);
}

int TMainF::ResizeTo(int32_t method, int32_t width, int32_t height) {
    const kvza_status status = Doc.ResizeTo(static_cast<ResampleMode>(method), width, height);
    AfterEdit(status, kResizeView | kFitWindow);
    return status;
}

int TMainF::ReduceColours(int32_t alphamode, uint32_t colours, uint32_t dither) {
    const kvza_status status =
        Doc.ReduceColours(static_cast<kvza_alpha_mode>(alphamode), colours, dither);
    AfterEdit(status, kRedrawOnly);
    return status;
}

int TMainF::TransparentizeRef(int32_t reference, int32_t x, float ta, float tw, float tc, float th,
                              int32_t y) {
    Tolerances t;
    t.alpha = ta;
    t.whiteness = tw;
    t.chroma = tc;
    t.hue = th;
    const kvza_status status = Doc.TransparentizeRef(static_cast<RefPoint>(reference), x, y, t);
    AfterEdit(status, kRedrawOnly);
    return status;
}

int TMainF::ResizeToCb(void *main, int32_t method, int32_t width, int32_t height) {
    return main == nullptr ? 1 : static_cast<TMainF *>(main)->ResizeTo(method, width, height);
}

int TMainF::ReduceColoursCb(void *main, int32_t alphamode, uint32_t colours, uint32_t dither) {
    return main == nullptr ? 1
                           : static_cast<TMainF *>(main)->ReduceColours(alphamode, colours, dither);
}

int TMainF::TransparentizeRefCb(void *main, int32_t reference, int32_t x, float ta, float tw,
                                float tc, float th, int32_t y) {
    return main == nullptr
               ? 1
               : static_cast<TMainF *>(main)->TransparentizeRef(reference, x, ta, tw, tc, th, y);
}

// ---------------------------------------------------------------------------
// Document life

void TMainF::SetDocActionsEnabled(bool on) {
    for (QAction *action : {A_Fork, A_BackCol, A_BorderCol, A_WrapMode, A_Close, A_Save, A_Save2,
                            A_AdjOL, A_BackTrans, A_EdgeAA, A_Gray, A_Alpha, A_Size, A_Reduce})
        action->setEnabled(on);
    M_AddWall->setEnabled(on);
}

void TMainF::ShowDoc() {
    if (CurImg == nullptr) return;
    RefreshView(kResizeView | kFitWindow);
    Img->show();
    SetDocActionsEnabled(true);
    Shown = 1;
    if (PalWin != nullptr) PalWin->RedrawGrid();
}

void TMainF::CloseDoc() {
    if (Shown == 0) return;
    Img->hide();
    Doc.Close();
    SyncHistoryActions();
    SetDocActionsEnabled(false);
    Shown = 0;
    setWindowTitle(QStringLiteral("KVZA frontend"));
    SaveName.clear();
    F_SaveFile.clear();
}

void TMainF::OpenDoc() {
    if (OpenName.isEmpty()) return;
    if (Shown != 0) CloseDoc();
    const std::string path = LocalPath(OpenName);
    const std::string library = PluginLibraryName(PluginDir::Input, path);
    KvzaImage *image = LoadImageFile(path, library, *this);
    if (image == nullptr) return;
    Doc.Take(image);  // none is left at this point
    setWindowTitle(OpenName);
    SaveName = OpenName;
    F_SaveDir = QFileInfo(OpenName).absolutePath();
    ShowDoc();
}

int TMainF::SaveDoc() {
    if (Shown == 0 || CurImg == nullptr) return 1;
    if (SaveName.isEmpty()) {
        QString path;
        if (!RunSaveFileDialog(path)) return 1;
        SaveName = path;
        const int16_t type = SaveOpts.type;
        SaveOpts = KotSaveOptions{};
        SaveOpts.type = type;
    }
    const std::string path = LocalPath(SaveName);
    const std::string library = PluginLibraryName(PluginDir::Output, path);
    if (SaveWithPlugin(path, library, CurImg, &SaveOpts, *this) != 0) return 1;
    Modified = 0;
    OpenName = SaveName;
    setWindowTitle(SaveName);
    return 0;
}

}  // namespace kvzaedit
