// The save dialog "Save Setting".
#include "F_save.h"
#include "test_seam.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <memory>
#include <new>

#include "msgbox.h"
#include "pixtypes.h"

namespace kvzaedit {

namespace {

constexpr int kClientWidth = 433;
constexpr int kClientHeight = 354;

#ifdef KVZA_TEST_HOOKS
SaveDialogHook &Hook() {
    return HookSlot<SaveDialogHook>();
}
#endif

// Whether id is in the table's usable set (ids 0..255).
bool IsUsable(const KotUsableTable &table, int id) {
    if (id < 0 || id >= KOT_USABLE_BYTES * 8) return false;
    return (table.usable[id / 8] >> (id % 8) & 1) != 0;
}

QString Text(const char *utf8) {
    return utf8 == nullptr ? QString() : QString::fromUtf8(utf8);
}

const char *const kSwitchNames[KOT_MAX_SWITCHES] = {
    "C_SW0", "C_SW1", "C_SW2", "C_SW3", "C_SW4", "C_SW5", "C_SW6", "C_SW7",
    "C_SW8", "C_SW9", "C_SWa", "C_SWb", "C_SWc", "C_SWd", "C_SWe", "C_SWf",
};

}  // namespace

TSaveF::TSaveF(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("TSaveF"));
    setWindowTitle(QStringLiteral("Save Setting"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    Label1 = new QLabel(QStringLiteral("Type"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 10, 48, 16);

    CB_Type = new QComboBox(this);
    CB_Type->setObjectName(QStringLiteral("CB_Type"));
    CB_Type->setEditable(false);
    CB_Type->setGeometry(64, 8, 361, 22);
    // The chosen layout's hint, if its writer gave one, is the list's tool tip.
    connect(CB_Type, &QComboBox::currentIndexChanged, this,
            [this] { CB_Type->setToolTip(CB_Type->currentData(Qt::ToolTipRole).toString()); });

    // Left column: captions, position labels and track bars at 64, 128, 192, 256.
    for (int i = 0; i < KOT_MAX_TRACKS; ++i) {
        const int top = 64 * (i + 1);
        L_CL[i] = new QLabel(this);
        L_CL[i]->setObjectName(QStringLiteral("L_CL%1").arg(i));
        L_CL[i]->setGeometry(8, top - 16, 136, 14);
        L_CR[i] = new QLabel(this);
        L_CR[i]->setObjectName(QStringLiteral("L_CR%1").arg(i));
        L_CR[i]->setGeometry(144, top - 16, 64, 14);
        L_CR[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        TB_CL[i] = new QSlider(Qt::Horizontal, this);
        TB_CL[i]->setObjectName(QStringLiteral("TB_CL%1").arg(i));
        TB_CL[i]->setProperty("Tag", i);
        TB_CL[i]->setGeometry(8, top, 200, 40);
        TB_CL[i]->setTickPosition(QSlider::TicksBelow);
        TB_CL[i]->setEnabled(false);
        connect(TB_CL[i], &QSlider::valueChanged, this, &TSaveF::TB_CLChange);
    }

    // Right column: the sixteen switches from height 48 in steps of 16.
    for (int i = 0; i < KOT_MAX_SWITCHES; ++i) {
        C_SW[i] = new QCheckBox(this);
        C_SW[i]->setObjectName(QLatin1String(kSwitchNames[i]));
        C_SW[i]->setGeometry(224, 48 + 16 * i, 201, 16);
        C_SW[i]->setEnabled(false);
    }

    B_OK = new QPushButton(QStringLiteral("OK"), this);
    B_OK->setObjectName(QStringLiteral("B_OK"));
    B_OK->setGeometry(264, 320, 75, 25);
    B_OK->setDefault(true);
    connect(B_OK, &QPushButton::clicked, this, &TSaveF::B_OKClick);

    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    B_Cancel->setObjectName(QStringLiteral("B_Cancel"));
    B_Cancel->setGeometry(350, 320, 75, 25);
    B_Cancel->setAutoDefault(false);
    connect(B_Cancel, &QPushButton::clicked, this, &TSaveF::B_CancelClick);
}

TSaveF::~TSaveF() = default;

void TSaveF::Setup(const KotUsableTable &table, const KotSaveOptions &options,
                   const TypeHints &hints) {
    // The stored type counts only when this writer offers it.
    int current = options.type;
    if (!IsUsable(table, current)) current = 0;

    type_ids_.clear();
    CB_Type->clear();
    int selected = -1;
    for (const kot::PixType &type : kot::kPixTypes) {
        if (!IsUsable(table, type.id)) continue;
        if (current != 0 && type.id == current) selected = static_cast<int>(type_ids_.size());
        type_ids_.push_back(type.id);
        CB_Type->addItem(QString::fromUtf8(type.caption));
        if (const auto hint = hints.find(type.id); hint != hints.end())
            CB_Type->setItemData(CB_Type->count() - 1, QString::fromStdString(hint->second),
                                 Qt::ToolTipRole);
    }
    CB_Type->setCurrentIndex(selected);
    CB_Type->setToolTip(CB_Type->currentData(Qt::ToolTipRole).toString());

    track_count_ = table.track_count < KOT_MAX_TRACKS ? table.track_count : KOT_MAX_TRACKS;
    for (int i = 0; i < track_count_; ++i) {
        const KotTrackSpec &desc = table.track[i];
        QSlider *bar = TB_CL[i];
        L_CL[i]->setText(Text(desc.name));
        // Setting one end past the other drags the other along, so the order
        // matters: a negative upper end goes in after the lower one.
        if (desc.max < 0) {
            bar->setMinimum(desc.min);
            bar->setMaximum(desc.max);
        } else {
            bar->setMaximum(desc.max);
            bar->setMinimum(desc.min);
        }
        int position = options.valid != 0 ? options.track[i] : desc.position;
        if (position < bar->minimum()) position = bar->minimum();
        if (position > bar->maximum()) position = bar->maximum();
        L_CR[i]->setText(QString::number(position));
        bar->setValue(position);
        bar->setTickInterval(desc.frequency);
        bar->setSingleStep(desc.line_size);
        bar->setPageStep(desc.page_size);
        bar->setToolTip(Text(desc.hint));
        bar->setEnabled(true);
    }

    const unsigned switches = options.valid != 0 ? options.switches : table.switch_defaults;
    for (int i = 0; i < KOT_MAX_SWITCHES; ++i) {
        if ((table.switch_mask >> i & 1) == 0) continue;
        C_SW[i]->setText(Text(table.switch_name[i]));
        C_SW[i]->setToolTip(Text(table.switch_hint[i]));
        C_SW[i]->setEnabled(true);
        C_SW[i]->setChecked((switches >> i & 1) != 0);
    }
}

void TSaveF::Collect(KotSaveOptions &options) const {
    options.type = selected_type_;
    for (int i = 0; i < track_count_; ++i) {
        options.track[i] = static_cast<int16_t>(TB_CL[i]->value());
    }
    unsigned switches = 0;
    for (int i = 0; i < KOT_MAX_SWITCHES; ++i) {
        if (C_SW[i]->isChecked()) switches |= 1u << i;
    }
    options.switches = static_cast<uint16_t>(switches);
}

void TSaveF::TB_CLChange(int position) {
    const QObject *bar = sender();
    if (bar == nullptr) return;
    const int tag = bar->property("Tag").toInt();
    if (tag < 0 || tag >= KOT_MAX_TRACKS) return;
    L_CR[tag]->setText(QString::number(position));
}

void TSaveF::B_OKClick() {
    const int index = CB_Type->currentIndex();
    if (index >= 0 && index < static_cast<int>(type_ids_.size())) {
        selected_type_ = type_ids_[static_cast<size_t>(index)];
        confirmed_ = true;
        accept();
    } else {
        reject();
    }
}

void TSaveF::B_CancelClick() {
    reject();
}

int RunSaveDialog(const KotUsableTable *table, KotSaveOptions *options, QWidget *owner,
                  const TypeHints &hints) {
    if (table == nullptr || options == nullptr) {
        ErrorBox(QStringLiteral("nullpo"));
        return 1;
    }
    std::unique_ptr<TSaveF> dialog;
    try {
        dialog = std::make_unique<TSaveF>(owner);
    } catch (const std::bad_alloc &) {
        ErrorBox(QStringLiteral("out of memory"));
        return 1;
    }
    dialog->Setup(*table, *options, hints);
#ifdef KVZA_TEST_HOOKS
    ArmDialogHook(Hook(), dialog.get());
#endif
    dialog->exec();
    if (!dialog->confirmed()) return 1;
    dialog->Collect(*options);
    return 0;
}

#ifdef KVZA_TEST_HOOKS
void SetSaveDialogHook(SaveDialogHook hook) {
    Hook() = std::move(hook);
}
#endif

}  // namespace kvzaedit
