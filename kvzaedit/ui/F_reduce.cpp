// The colour-reduction dialog "Color Reduceing".
#include "F_reduce.h"
#include "test_seam.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <memory>
#include <new>

#include "F_main.h"
#include "F_size.h"
#include "msgbox.h"

namespace kvzaedit {

namespace {

constexpr int kClientWidth = 281;
constexpr int kClientHeight = 177;

#ifdef KVZA_TEST_HOOKS
ReduceDialogHook &Hook() {
    return HookSlot<ReduceDialogHook>();
}
#endif

}  // namespace

TReduceF::TReduceF(ReduceCallback callback, TMainF *main, QWidget *owner)
    : QDialog(owner), callback_(callback), main_(main) {
    setObjectName(QStringLiteral("TReduceF"));
    setWindowTitle(QStringLiteral("Color Reduceing"));
    // Modal to its owner only: the progress dialog of a preview is a window
    // of its own and must stay usable while this dialog runs.
    setWindowModality(Qt::WindowModal);
    setFixedSize(kClientWidth, kClientHeight);

    L_Colors = new QLabel(QStringLiteral("Colors"), this);
    L_Colors->setObjectName(QStringLiteral("L_Colors"));
    L_Colors->setGeometry(8, 8, 64, 14);
    L_Color = new QLabel(QStringLiteral("256"), this);
    L_Color->setObjectName(QStringLiteral("L_Color"));
    L_Color->setGeometry(208, 8, 65, 14);
    L_Color->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TB_Color = new QSlider(Qt::Horizontal, this);
    TB_Color->setObjectName(QStringLiteral("TB_Color"));
    TB_Color->setGeometry(8, 24, 265, 32);
    TB_Color->setMinimum(2);
    TB_Color->setMaximum(256);
    TB_Color->setValue(256);
    TB_Color->setPageStep(16);
    TB_Color->setSingleStep(1);
    TB_Color->setTickInterval(15);
    TB_Color->setTickPosition(QSlider::TicksBelow);

    L_DitherCaption = new QLabel(QStringLiteral("Dither"), this);
    L_DitherCaption->setObjectName(QStringLiteral("L_DitherCaption"));
    L_DitherCaption->setGeometry(8, 60, 64, 14);
    L_Dither = new QLabel(QStringLiteral("128"), this);
    L_Dither->setObjectName(QStringLiteral("L_Dither"));
    L_Dither->setGeometry(208, 60, 65, 14);
    L_Dither->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TB_Dither = new QSlider(Qt::Horizontal, this);
    TB_Dither->setObjectName(QStringLiteral("TB_Dither"));
    TB_Dither->setGeometry(8, 76, 265, 32);
    TB_Dither->setMinimum(0);
    TB_Dither->setMaximum(256);
    TB_Dither->setValue(128);
    TB_Dither->setSingleStep(1);
    TB_Dither->setTickInterval(16);
    TB_Dither->setTickPosition(QSlider::TicksBelow);

    L_Alpha = new QLabel(QStringLiteral("Alpha"), this);
    L_Alpha->setObjectName(QStringLiteral("L_Alpha"));
    L_Alpha->setGeometry(8, 118, 64, 14);
    CB_Alpha = new QComboBox(this);
    CB_Alpha->setObjectName(QStringLiteral("CB_Alpha"));
    CB_Alpha->setEditable(false);
    CB_Alpha->addItems(
        {QStringLiteral("Opaque"), QStringLiteral("Binary"), QStringLiteral("Full Alpha")});
    CB_Alpha->setCurrentIndex(2);
    CB_Alpha->setGeometry(80, 114, 113, 22);
    L_Alpha->setBuddy(CB_Alpha);

    B_OK = new QPushButton(QStringLiteral("OK"), this);
    B_OK->setObjectName(QStringLiteral("B_OK"));
    B_OK->setGeometry(40, 144, 73, 25);
    B_OK->setDefault(true);
    B_Prev = new QPushButton(QStringLiteral("Preview"), this);
    B_Prev->setObjectName(QStringLiteral("B_Prev"));
    B_Prev->setGeometry(120, 144, 73, 25);
    B_Prev->setAutoDefault(false);
    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    B_Cancel->setObjectName(QStringLiteral("B_Cancel"));
    B_Cancel->setGeometry(200, 144, 73, 25);
    B_Cancel->setAutoDefault(false);

    connect(TB_Color, &QSlider::valueChanged, this, &TReduceF::TB_ColorChange);
    connect(TB_Dither, &QSlider::valueChanged, this, &TReduceF::TB_DitherChange);
    connect(B_OK, &QPushButton::clicked, this, &TReduceF::B_OKClick);
    connect(B_Prev, &QPushButton::clicked, this, &TReduceF::B_PrevClick);
    connect(B_Cancel, &QPushButton::clicked, this, &TReduceF::B_CancelClick);
}

TReduceF::~TReduceF() = default;

void TReduceF::TB_ColorChange(int position) {
    L_Color->setText(QString::number(position));
}

void TReduceF::TB_DitherChange(int position) {
    L_Dither->setText(QString::number(position));
}

int TReduceF::CallBack() {
    if (callback_ == nullptr) return 1;
    return callback_(main_, CB_Alpha->currentIndex(), static_cast<uint32_t>(TB_Color->value()),
                     static_cast<uint32_t>(TB_Dither->value()));
}

void TReduceF::WithdrawShownPreview() {
    if (!preview_shown_) return;
    preview_shown_ = false;
    WithdrawPreview(main_);
}

void TReduceF::B_PrevClick() {
    WithdrawShownPreview();
    if (CallBack() == 0) preview_shown_ = true;
}

void TReduceF::B_OKClick() {
    ok_ = true;
    accept();
}

void TReduceF::B_CancelClick() {
    reject();
}

int RunReduceDialog(ReduceCallback callback, TMainF *main) {
    if (callback == nullptr) {
        ErrorBox(QStringLiteral("nullpo"));
        return 1;
    }
    std::unique_ptr<TReduceF> dialog;
    try {
        dialog = std::make_unique<TReduceF>(callback, main, main);
    } catch (const std::bad_alloc &) {
        ErrorBox(QStringLiteral("out of memory"));
        return 1;
    }
#ifdef KVZA_TEST_HOOKS
    ArmDialogHook(Hook(), dialog.get());
#endif
    dialog->exec();
    dialog->WithdrawShownPreview();
    if (dialog->okPressed()) return dialog->CallBack();
    if (main != nullptr) main->RefreshView(kResizeView | kFitWindow);
    return 1;
}

#ifdef KVZA_TEST_HOOKS
void SetReduceDialogHook(ReduceDialogHook hook) {
    Hook() = std::move(hook);
}
#endif

}  // namespace kvzaedit
