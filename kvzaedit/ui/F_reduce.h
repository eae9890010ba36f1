// The colour-reduction dialog "Color Reduceing": number of colours, dither
// strength and alpha mode. Like the resize dialog it calls back an operation
// of the main window for the preview and for the final result, and withdraws
// a preview through the main window's undo history.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace kvzaedit {

class TMainF;

// Reduces the document's colours; returns the reduction's status (0 done).
using ReduceCallback = int (*)(void *main, int32_t alphamode, uint32_t colours, uint32_t dither);

class TReduceF : public QDialog {
    Q_OBJECT
  public:
    TReduceF(ReduceCallback callback, TMainF *main, QWidget *owner = nullptr);
    ~TReduceF() override;

    QLabel *L_Colors = nullptr;
    QSlider *TB_Color = nullptr;
    QLabel *L_Color = nullptr;
    QLabel *L_DitherCaption = nullptr;
    QSlider *TB_Dither = nullptr;
    QLabel *L_Dither = nullptr;
    QLabel *L_Alpha = nullptr;
    QComboBox *CB_Alpha = nullptr;
    QPushButton *B_OK = nullptr;
    QPushButton *B_Prev = nullptr;
    QPushButton *B_Cancel = nullptr;

    bool previewShown() const { return preview_shown_; }
    bool okPressed() const { return ok_; }

    // Calls the callback with the current settings.
    int CallBack();
    // Takes back a shown preview (flag cleared, one undo step, redo emptied).
    void WithdrawShownPreview();

  public slots:
    void TB_ColorChange(int position);
    void TB_DitherChange(int position);
    void B_PrevClick();
    void B_OKClick();
    void B_CancelClick();

  private:
    ReduceCallback callback_ = nullptr;
    TMainF *main_ = nullptr;
    bool preview_shown_ = false;
    bool ok_ = false;
};

// Runs the reduction dialog modally. OK: the preview (if any) is withdrawn
// and the callback's result of the final settings is returned. Cancel or
// closing: preview withdrawn, view refreshed, 1. No callback: "nullpo", 1.
// The dialog's owner is main.
int RunReduceDialog(ReduceCallback callback, TMainF *main);

#ifdef KVZA_TEST_HOOKS
// Test seam: while set, the hook is called with the dialog from inside its
// modal loop; it is expected to close it. Pass an empty function to remove it.
using ReduceDialogHook = std::function<void(TReduceF &)>;
void SetReduceDialogHook(ReduceDialogHook hook);
#endif

}  // namespace kvzaedit
