// The save dialog "Save Setting": shows a writer plug-in's option table (its
// pixel layouts, up to four track bars and sixteen switches) and records the
// user's choices in a KotSaveOptions.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "host_ui.h"
#include "kot.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace kvzaedit {

class TSaveF : public QDialog {
    Q_OBJECT
  public:
    explicit TSaveF(QWidget *owner = nullptr);
    ~TSaveF() override;

    // Fills the controls from the table and the stored options.
    void Setup(const KotUsableTable &table, const KotSaveOptions &options,
               const TypeHints &hints = {});
    // Writes type, track positions and switches into options.
    void Collect(KotSaveOptions &options) const;

    // True once B_OK closed the dialog with an entry selected.
    bool confirmed() const { return confirmed_; }
    // Id recorded by B_OK (0 until then).
    int16_t selectedType() const { return selected_type_; }
    // Pixel-type ids of the CB_Type entries, in entry order.
    const std::vector<int16_t> &typeIds() const { return type_ids_; }
    // Track bars set up from the table (0..4).
    int trackCount() const { return track_count_; }

    QLabel *Label1 = nullptr;
    QComboBox *CB_Type = nullptr;
    std::array<QSlider *, KOT_MAX_TRACKS> TB_CL{};
    std::array<QLabel *, KOT_MAX_TRACKS> L_CL{};
    std::array<QLabel *, KOT_MAX_TRACKS> L_CR{};
    std::array<QCheckBox *, KOT_MAX_SWITCHES> C_SW{};
    QPushButton *B_OK = nullptr;
    QPushButton *B_Cancel = nullptr;

  public slots:
    // Shared by the four track bars: shows the position in the L_CR label
    // with the same Tag.
    void TB_CLChange(int position);
    void B_OKClick();
    void B_CancelClick();

  private:
    std::vector<int16_t> type_ids_;
    int track_count_ = 0;
    int16_t selected_type_ = 0;
    bool confirmed_ = false;
};

// Runs the save dialog modally on a copy of a writer's table. Returns 0 when
// the user confirmed (options then hold the chosen type, track positions and
// switches), 1 otherwise (options untouched). A missing pointer shows
// "nullpo" and returns 1.
// hints: shown as the tool tips of their layouts in the type list.
int RunSaveDialog(const KotUsableTable *table, KotSaveOptions *options, QWidget *owner,
                  const TypeHints &hints = {});

#ifdef KVZA_TEST_HOOKS
// Test seam: while set, the hook is called with the dialog from inside its
// modal loop, once the controls are filled; it is expected to close it
// (B_OK, B_Cancel). Pass an empty function to remove it.
using SaveDialogHook = std::function<void(TSaveF &)>;
void SetSaveDialogHook(SaveDialogHook hook);
#endif

}  // namespace kvzaedit
