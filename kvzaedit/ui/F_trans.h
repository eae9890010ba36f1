// The transparentize dialog "Transparentize": a reference colour (a corner
// pixel or any point) and four tolerances; every pixel that resembles the
// reference within them becomes fully transparent, tried out by "Preview"
// and applied for good by "OK".
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

#include "edit_values.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kvzaedit {

class TMainF;

// The operation the dialog runs: reference mode, point x, alpha, whiteness,
// chroma and hue tolerances, point y. 0 done, 1 failed (its own message
// shown).
using TransOpFn = int (*)(void *main, int32_t reference, int32_t x, float ta, float tw, float tc,
                          float th, int32_t y);

class TTransF : public QDialog {
    Q_OBJECT
  public:
    explicit TTransF(QWidget *owner = nullptr);
    ~TTransF() override;

    // The operation and the main window it belongs to.
    void SetOperation(TransOpFn op, TMainF *main);

    // Takes a shown preview back: one undo step without refreshing the view
    // and the redo steps discarded, so the history keeps no trace of it.
    void RollBackPreview();
    // Runs the operation with the current values; its result.
    int RunOperation();

    // ---- state ----
    bool Confirmed = false;
    bool PreviewShown = false;
    int32_t RefMode = 1;  // 1 top left, 2 top right, 3 bottom left, 4 bottom right, 0 any point
    int32_t PointX = 0, PointY = 0;
    float THue = 0.0f, TChroma = 0.0f, TBright = 0.0f, TAlpha = 0.0f;

    // ---- controls ----
    QGroupBox *GroupBox1 = nullptr;
    QRadioButton *R_LU = nullptr, *R_RU = nullptr, *R_LD = nullptr, *R_RD = nullptr;
    QRadioButton *R_Any = nullptr;
    QLineEdit *E_PX = nullptr, *E_PY = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLineEdit *E_Hue = nullptr, *E_Chroma = nullptr, *E_Bright = nullptr, *E_Alpha = nullptr;
    QPushButton *B_OK = nullptr, *B_Prev = nullptr, *B_Cancel = nullptr;

  public slots:
    // Shared by the five radio buttons; tag = the button's reference mode.
    void R_Click(int tag);
    void E_PXChange(const QString &text);
    void E_PYChange(const QString &text);
    void E_HueChange(const QString &text);
    void E_ChromaChange(const QString &text);
    void E_BrightChange(const QString &text);
    void E_AlphaChange(const QString &text);
    void E_PXExit();
    void E_PYExit();
    void E_HueExit();
    void E_ChromaExit();
    void E_BrightExit();
    void E_AlphaExit();
    void B_PrevClick();
    void B_OKClick();
    void B_CancelClick();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    TransOpFn op_ = nullptr;
    TMainF *main_ = nullptr;
};

// The text of an edit field as a decimal integer: optional leading blanks,
// an optional sign and digits, nothing else, within 32 bits; 0 otherwise.
int32_t ParseFieldInt(const QString &text);
// The text a tolerance is rewritten to: the integer part (toward zero) of
// t x 100 + 0.5.
QString ToleranceText(float t);

// Shows the dialog modally over main with op as its operation. Returns the
// operation's result when the dialog was confirmed, 1 otherwise (the view
// then refreshed with flags 3). A missing operation or window shows "nullpo"
// and returns 1.
int RunTransDialog(TransOpFn op, TMainF *main);

#ifdef KVZA_TEST_HOOKS
// Test seam: while set, the hook is called with the dialog from inside its
// modal loop; it is expected to close it (B_OK, B_Cancel). Pass an empty
// function to remove it.
using TransDialogHook = std::function<void(TTransF &)>;
void SetTransDialogHook(TransDialogHook hook);
#endif

}  // namespace kvzaedit
