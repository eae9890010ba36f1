// The progress dialog. It is created without a parent so that disabling the
// main window for the duration of an operation leaves its Cancel button
// usable; it is placed over its owner by hand instead.
#include "F_prgrs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <climits>
#include <new>

#include "msgbox.h"

namespace kvzaedit {

namespace {

constexpr int kClientWidth = 217;
constexpr int kClientHeight = 92;

// Centres window over owner, or over the primary screen without an owner.
void CentreOver(QWidget *window, QWidget *owner) {
    QRect area;
    if (owner != nullptr) {
        area = owner->window()->frameGeometry();
    } else if (QScreen *screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isEmpty()) return;
    const QSize size = window->frameGeometry().size();
    window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

}  // namespace

TPrgrsF::TPrgrsF(QWidget *owner) : QDialog(nullptr) {
    setObjectName(QStringLiteral("TPrgrsF"));
    setWindowTitle(QStringLiteral("Now Processing..."));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);
    QFont font(QString::fromUtf8("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(kClientWidth, kClientHeight);

    PrgM = new QProgressBar(this);
    PrgM->setObjectName(QStringLiteral("PrgM"));
    PrgM->setGeometry(8, 8, 200, 16);
    PrgM->setRange(0, 100);
    PrgM->setValue(0);
    PrgM->setTextVisible(false);

    L_Count = new QLabel(QStringLiteral("0/0"), this);
    L_Count->setObjectName(QStringLiteral("L_Count"));
    L_Count->setGeometry(8, 32, 201, 16);
    L_Count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    B_Cancel->setObjectName(QStringLiteral("B_Cancel"));
    B_Cancel->setGeometry(72, 56, 75, 25);
    connect(B_Cancel, &QPushButton::clicked, this, &TPrgrsF::B_CancelClick);

    progress_.callback = &ShowProgress;
    progress_.userdata = this;
    CentreOver(this, owner);
}

TPrgrsF::~TPrgrsF() = default;

void TPrgrsF::B_CancelClick() {
    cancel_ = 1;
}

// The dialog goes away only when its caller deletes it.
void TPrgrsF::closeEvent(QCloseEvent *event) {
    event->ignore();
}

// Escape presses the Cancel button, as long as that button can be pressed.
void TPrgrsF::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (B_Cancel->isEnabled()) B_Cancel->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// QDialog's own rejection would hide the window; here it means Cancel.
void TPrgrsF::reject() {
    if (B_Cancel->isEnabled()) B_CancelClick();
}

TPrgrsF *OpenProgressDialog(int disable_cancel, uint32_t interval, QWidget *owner) {
    TPrgrsF *dialog = nullptr;
    try {
        dialog = new TPrgrsF(owner);
    } catch (const std::bad_alloc &) {
        ErrorBox(QStringLiteral("out of memory"));
        return nullptr;
    }
    KvzaProgress *progress = dialog->progress();
    progress->callback = &ShowProgress;
    progress->userdata = dialog;
    progress->interval = interval;
    if (disable_cancel != 0) dialog->B_Cancel->setEnabled(false);
    dialog->show();
    CentreOver(dialog, owner);
    return dialog;
}

int32_t ShowProgress(void *userdata, uint32_t done, uint32_t total) {
    auto *dialog = static_cast<TPrgrsF *>(userdata);
    if (dialog == nullptr) return 0;
    // The bar counts in int; counts beyond its range are scaled down together
    // so the proportion stays right.
    uint32_t bar_done = done;
    uint32_t bar_total = total;
    while (bar_total > static_cast<uint32_t>(INT_MAX)) {
        bar_total >>= 1;
        bar_done >>= 1;
    }
    dialog->PrgM->setMaximum(static_cast<int>(bar_total));
    dialog->PrgM->setValue(static_cast<int>(bar_done));
    dialog->L_Count->setText(QStringLiteral("%1/%2").arg(done).arg(total));
    QCoreApplication::processEvents();
    return dialog->cancel_;
}

}  // namespace kvzaedit
