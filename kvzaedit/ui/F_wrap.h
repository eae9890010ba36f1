// The wrap-mode dialog "Wrap Mode": how each axis of the image resolves a
// position outside it (Clamp, Wrap, Mirror, Border).
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

class QButtonGroup;
class QPushButton;
class QRadioButton;

namespace kvzaedit {

// A captioned group of radio buttons laid out in columns, filled top to
// bottom and then left to right; exactly one item is selected.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
  public:
    TRadioGroup(const QString &caption, const QStringList &items, int columns,
                QWidget *parent = nullptr);

    int count() const { return static_cast<int>(buttons_.size()); }
    // The selected item, or -1 when none is.
    int ItemIndex() const;
    // Selects an item; values past the last item select the last one,
    // values below 0 clear the selection.
    void SetItemIndex(int index);
    QRadioButton *button(int index) const { return buttons_.at(static_cast<size_t>(index)); }

  private:
    void LayOut(int columns);

    QButtonGroup *group_ = nullptr;
    std::vector<QRadioButton *> buttons_;
};

class TWrapF : public QDialog {
    Q_OBJECT
  public:
    explicit TWrapF(QWidget *owner = nullptr);
    ~TWrapF() override;

    TRadioGroup *RG_WrapW = nullptr;
    TRadioGroup *RG_WrapH = nullptr;
    QPushButton *B_OK = nullptr;
    QPushButton *B_Cancel = nullptr;

    bool okPressed() const { return ok_; }

  public slots:
    void B_OKClick();
    void B_CancelClick();

  private:
    bool ok_ = false;
};

// Runs the dialog modally on the two wrap-mode bytes. Either pointer may be
// missing: its group then starts at "Clamp" and nothing is written for it.
// OK: the selected item indices are written into the bytes, 0. Cancel or
// closing: nothing changes, 1. "out of memory" and 1 when the dialog cannot
// be made.
int RunWrapDialog(uint8_t *wrapx, uint8_t *wrapy, QWidget *owner);

#ifdef KVZA_TEST_HOOKS
// Test seam: while set, the hook is called with the dialog from inside its
// modal loop; it is expected to close it. Pass an empty function to remove it.
using WrapDialogHook = std::function<void(TWrapF &)>;
void SetWrapDialogHook(WrapDialogHook hook);
#endif

}  // namespace kvzaedit
