// The wrap-mode dialog "Wrap Mode".
#include "F_wrap.h"
#include "test_seam.h"

#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <memory>
#include <new>

#include "msgbox.h"

namespace kvzaedit {

namespace {

constexpr int kClientWidth = 185;
constexpr int kClientHeight = 185;
constexpr int kItemHeight = 20;

#ifdef KVZA_TEST_HOOKS
WrapDialogHook &Hook() {
    return HookSlot<WrapDialogHook>();
}
#endif

QStringList WrapItems() {
    return {QStringLiteral("Clamp"), QStringLiteral("Wrap"), QStringLiteral("Mirror"),
            QStringLiteral("Border")};
}

}  // namespace

TRadioGroup::TRadioGroup(const QString &caption, const QStringList &items, int columns,
                         QWidget *parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        buttons_.push_back(button);
    }
    LayOut(columns < 1 ? 1 : columns);
}

void TRadioGroup::LayOut(int columns) {
    const int n = count();
    const int per_column = (n + columns - 1) / columns;
    for (int i = 0; i < n; ++i) {
        const int column = per_column == 0 ? 0 : i / per_column;
        const int row = per_column == 0 ? 0 : i % per_column;
        buttons_[static_cast<size_t>(i)]->setGeometry(8 + column * 80, 18 + row * kItemHeight, 76,
                                                      kItemHeight);
    }
}

int TRadioGroup::ItemIndex() const {
    return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (count() == 0) return;
    if (index >= count()) index = count() - 1;
    if (index < 0) {
        // An exclusive group keeps one button checked; lift that for a moment.
        group_->setExclusive(false);
        for (QRadioButton *button : buttons_) button->setChecked(false);
        group_->setExclusive(true);
        return;
    }
    buttons_[static_cast<size_t>(index)]->setChecked(true);
}

TWrapF::TWrapF(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("TWrapF"));
    setWindowTitle(QStringLiteral("Wrap Mode"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    RG_WrapW = new TRadioGroup(QStringLiteral("Width"), WrapItems(), 2, this);
    RG_WrapW->setObjectName(QStringLiteral("RG_WrapW"));
    RG_WrapW->setGeometry(8, 8, 169, 64);
    RG_WrapH = new TRadioGroup(QStringLiteral("Height"), WrapItems(), 2, this);
    RG_WrapH->setObjectName(QStringLiteral("RG_WrapH"));
    RG_WrapH->setGeometry(8, 80, 169, 64);
    for (TRadioGroup *group : {RG_WrapW, RG_WrapH}) {
        for (int i = 0; i < group->count(); ++i)
            group->button(i)->setObjectName(group->objectName() + QStringLiteral("_%1").arg(i));
        group->SetItemIndex(0);
    }

    B_OK = new QPushButton(QStringLiteral("OK"), this);
    B_OK->setObjectName(QStringLiteral("B_OK"));
    B_OK->setGeometry(16, 152, 73, 25);
    B_OK->setDefault(true);
    connect(B_OK, &QPushButton::clicked, this, &TWrapF::B_OKClick);
    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    B_Cancel->setObjectName(QStringLiteral("B_Cancel"));
    B_Cancel->setGeometry(96, 152, 73, 25);
    B_Cancel->setAutoDefault(false);
    connect(B_Cancel, &QPushButton::clicked, this, &TWrapF::B_CancelClick);
}

TWrapF::~TWrapF() = default;

void TWrapF::B_OKClick() {
    ok_ = true;
    accept();
}

void TWrapF::B_CancelClick() {
    reject();
}

int RunWrapDialog(uint8_t *wrapx, uint8_t *wrapy, QWidget *owner) {
    std::unique_ptr<TWrapF> dialog;
    try {
        dialog = std::make_unique<TWrapF>(owner);
    } catch (const std::bad_alloc &) {
        ErrorBox(QStringLiteral("out of memory"));
        return 1;
    }
    if (wrapx != nullptr) dialog->RG_WrapW->SetItemIndex(*wrapx);
    if (wrapy != nullptr) dialog->RG_WrapH->SetItemIndex(*wrapy);
#ifdef KVZA_TEST_HOOKS
    ArmDialogHook(Hook(), dialog.get());
#endif
    dialog->exec();
    if (!dialog->okPressed()) return 1;
    // A group always has a selection here: it starts with one and radio
    // buttons cannot be unchecked by the user.
    const int x = dialog->RG_WrapW->ItemIndex(), y = dialog->RG_WrapH->ItemIndex();
    if (wrapx != nullptr && x >= 0) *wrapx = static_cast<uint8_t>(x);
    if (wrapy != nullptr && y >= 0) *wrapy = static_cast<uint8_t>(y);
    return 0;
}

#ifdef KVZA_TEST_HOOKS
void SetWrapDialogHook(WrapDialogHook hook) {
    Hook() = std::move(hook);
}
#endif

}  // namespace kvzaedit
