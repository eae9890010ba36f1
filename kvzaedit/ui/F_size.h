// The resize dialog "Size Change": resampling mode and new size, in pixels
// or in percent of the starting size, with an optional fixed aspect ratio.
// The dialog never touches the image itself: a callback of the main window
// makes the preview and the final result, and a preview is withdrawn through
// the main window's undo history.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kvzaedit {

class TMainF;

// Resizes the document to width x height with resampling mode method (0..4);
// 0 done. main is the window handed to the driver.
using ResizeCallback = int (*)(void *main, int32_t method, int32_t width, int32_t height);

// The integer in text, or def when text is not one: optional blanks in front,
// an optional sign, then decimal digits or hexadecimal digits after "$", "0x"
// or "x", and nothing after them; the value must fit 32 bits (hexadecimal
// values above 7FFFFFFF wrap to negative numbers).
int32_t ParseIntDef(const QString &text, int32_t def);

// Takes back a preview made through main's history: one undo step without
// refresh, then the redo stack is emptied. Nothing happens without main.
void WithdrawPreview(TMainF *main);

class TSizeF : public QDialog {
    Q_OBJECT
  public:
    TSizeF(uint32_t start_width, uint32_t start_height, ResizeCallback callback, TMainF *main,
           QWidget *owner = nullptr);
    ~TSizeF() override;

    QLabel *L_Mode = nullptr;
    QComboBox *CB_Mode = nullptr;
    QLabel *L_Width = nullptr;
    QLineEdit *E_WS = nullptr;
    QLineEdit *E_WR = nullptr;
    QLabel *L_WPercent = nullptr;
    QLabel *L_Height = nullptr;
    QLineEdit *E_HS = nullptr;
    QLineEdit *E_HR = nullptr;
    QLabel *L_HPercent = nullptr;
    QCheckBox *C_Aspect = nullptr;
    QPushButton *B_OK = nullptr;
    QPushButton *B_Prev = nullptr;
    QPushButton *B_Cancel = nullptr;

    uint32_t startWidth() const { return start_w_; }
    uint32_t startHeight() const { return start_h_; }
    int32_t newWidth() const { return new_w_; }
    int32_t newHeight() const { return new_h_; }
    bool previewShown() const { return preview_shown_; }
    bool okPressed() const { return ok_; }

    // Takes back a shown preview (flag cleared, one undo step, redo emptied).
    void WithdrawShownPreview();

  public slots:
    void E_WSChange();
    void E_HSChange();
    void E_WRChange();
    void E_HRChange();
    void E_WSExit();
    void E_HSExit();
    void E_WRExit();
    void E_HRExit();
    void C_AspectClick();
    void B_PrevClick();
    void B_OKClick();
    void B_CancelClick();

  protected:
    // Focus leaving one of the four fields runs its Exit handler.
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // Writes text into field with the re-entry guard set, so that the
    // field's own change handler stays out.
    void WriteGuarded(QLineEdit *field, const QString &text);
    // trunc(size x num / den + 0.5) with the sizes as single floats.
    static QString AspectText(int32_t size, uint32_t num, uint32_t den);

    uint32_t start_w_ = 0;
    uint32_t start_h_ = 0;
    int32_t new_w_ = 0;
    int32_t new_h_ = 0;
    ResizeCallback callback_ = nullptr;
    TMainF *main_ = nullptr;
    bool changing_ = false;  // re-entry guard of the field handlers
    bool preview_shown_ = false;
    bool ok_ = false;
};

// Runs the resize dialog modally on an image of start_width x start_height.
// OK: the preview (if any) is withdrawn and the callback's result of the
// final settings is returned. Cancel or closing: preview withdrawn, view
// refreshed, 1. No callback: "nullpo", 1. The dialog's owner is main.
int RunSizeDialog(uint32_t start_width, uint32_t start_height, ResizeCallback callback,
                  TMainF *main);

#ifdef KVZA_TEST_HOOKS
// Test seam: while set, the hook is called with the dialog from inside its
// modal loop; it is expected to close it (B_OK, B_Cancel). Pass an empty
// function to remove it.
using SizeDialogHook = std::function<void(TSizeF &)>;
void SetSizeDialogHook(SizeDialogHook hook);
#endif

}  // namespace kvzaedit
