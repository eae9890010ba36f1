// The progress dialog: a small modeless window that owns a KvzaProgress
// record. Its callback shows done/total in a bar and a label, keeps the
// window system responsive while a long operation runs on the user-interface
// thread, and hands the user's Cancel back to the operation.
#pragma once

#include <QDialog>
#include <cstdint>

#include "kvza.h"

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;

namespace kvzaedit {

class TPrgrsF : public QDialog {
    Q_OBJECT
  public:
    explicit TPrgrsF(QWidget *owner = nullptr);
    ~TPrgrsF() override;

    // The embedded record to hand to the operation.
    KvzaProgress *progress() { return &progress_; }
    // True once Cancel was pressed (stays set).
    bool canceled() const { return cancel_ != 0; }
    // The cancel flag as the callback returns it (0 or 1).
    uint8_t cancelFlag() const { return cancel_; }

    QProgressBar *PrgM = nullptr;
    QLabel *L_Count = nullptr;
    QPushButton *B_Cancel = nullptr;

  public slots:
    void B_CancelClick();
    // Escape and other rejections mean Cancel; the dialog stays open.
    void reject() override;

  protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    friend int32_t ShowProgress(void *userdata, uint32_t done, uint32_t total);

    KvzaProgress progress_{};
    uint8_t cancel_ = 0;
};

// Creates and shows the dialog (not modal), its record set up with
// ShowProgress, the dialog as userdata and the given interval. A nonzero
// disable_cancel disables B_Cancel. Shows "out of memory" and returns nullptr
// when the dialog cannot be made. The caller deletes the dialog when the
// operation returns.
TPrgrsF *OpenProgressDialog(int disable_cancel, uint32_t interval, QWidget *owner);

// The record's callback: bar maximum = total, position = done, label
// "done/total", pending events processed; returns the cancel flag.
int32_t ShowProgress(void *userdata, uint32_t done, uint32_t total);

}  // namespace kvzaedit
