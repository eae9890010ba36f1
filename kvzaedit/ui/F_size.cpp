// The resize dialog "Size Change".
#include "F_size.h"
#include "edit_values.h"
#include "test_seam.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <memory>
#include <new>

#include "F_main.h"
#include "msgbox.h"

namespace kvzaedit {

namespace {

constexpr int kClientWidth = 241;
constexpr int kClientHeight = 153;

#ifdef KVZA_TEST_HOOKS
SizeDialogHook &Hook() {
    return HookSlot<SizeDialogHook>();
}
#endif

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Rounded percentage of size against start: (start div 2 + size x 100) div
// start, in 64 bits so that no size overflows the product.
int64_t RoundedPercent(int32_t size, uint32_t start) {
    if (start == 0) return 0;
    return (static_cast<int64_t>(start / 2) + static_cast<int64_t>(size) * 100) /
           static_cast<int64_t>(start);
}

// Truncated percentage: size x 100 div start.
int64_t TruncatedPercent(int32_t size, uint32_t start) {
    if (start == 0) return 0;
    return static_cast<int64_t>(size) * 100 / static_cast<int64_t>(start);
}

}  // namespace

int32_t ParseIntDef(const QString &text, int32_t def) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == u' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && text[i] == u'$') {
        hex = true;
        ++i;
    } else if (i < n && (text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n) return def;  // no digits
    uint64_t value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const int digit = hex ? HexDigit(c) : (c >= u'0' && c <= u'9' ? c - u'0' : -1);
        if (digit < 0) return def;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        // Decimal: at most 2^31 (the magnitude of the smallest number);
        // hexadecimal: any 32-bit pattern.
        if (value > (hex ? uint64_t{UINT32_MAX} : uint64_t{1} << 31)) return def;
    }
    if (hex) {
        const auto bits = static_cast<uint32_t>(value);
        const auto result = static_cast<int32_t>(bits);
        return negative ? static_cast<int32_t>(0u - bits) : result;
    }
    if (negative) return static_cast<int32_t>(-static_cast<int64_t>(value));
    if (value > static_cast<uint64_t>(INT32_MAX)) return def;
    return static_cast<int32_t>(value);
}

void WithdrawPreview(TMainF *main) {
    if (main == nullptr) return;
    main->UndoStep(false);
    main->ClearRedo();
}

TSizeF::TSizeF(uint32_t start_width, uint32_t start_height, ResizeCallback callback, TMainF *main,
               QWidget *owner)
    : QDialog(owner),
      start_w_(start_width),
      start_h_(start_height),
      new_w_(static_cast<int32_t>(start_width)),
      new_h_(static_cast<int32_t>(start_height)),
      callback_(callback),
      main_(main) {
    setObjectName(QStringLiteral("TSizeF"));
    setWindowTitle(QStringLiteral("Size Change"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    L_Mode = new QLabel(QStringLiteral("Mode"), this);
    L_Mode->setObjectName(QStringLiteral("L_Mode"));
    L_Mode->setGeometry(8, 12, 52, 14);
    CB_Mode = new QComboBox(this);
    CB_Mode->setObjectName(QStringLiteral("CB_Mode"));
    CB_Mode->setEditable(false);
    CB_Mode->addItems({QStringLiteral("Near"), QStringLiteral("Line"), QStringLiteral("Slant"),
                       QStringLiteral("Arc"), QStringLiteral("Shape")});
    CB_Mode->setGeometry(64, 8, 113, 22);
    L_Mode->setBuddy(CB_Mode);

    L_Width = new QLabel(QStringLiteral("Width"), this);
    L_Width->setObjectName(QStringLiteral("L_Width"));
    L_Width->setGeometry(8, 44, 52, 14);
    L_Height = new QLabel(QStringLiteral("Height"), this);
    L_Height->setObjectName(QStringLiteral("L_Height"));
    L_Height->setGeometry(8, 72, 52, 14);

    // Pixel fields in the first column, percentages in the second; the tab
    // order runs down the pixel column first.
    E_WS = new QLineEdit(this);
    E_WS->setObjectName(QStringLiteral("E_WS"));
    E_WS->setGeometry(64, 40, 65, 22);
    E_HS = new QLineEdit(this);
    E_HS->setObjectName(QStringLiteral("E_HS"));
    E_HS->setGeometry(64, 68, 65, 22);
    E_WR = new QLineEdit(this);
    E_WR->setObjectName(QStringLiteral("E_WR"));
    E_WR->setGeometry(136, 40, 41, 22);
    E_HR = new QLineEdit(this);
    E_HR->setObjectName(QStringLiteral("E_HR"));
    E_HR->setGeometry(136, 68, 41, 22);
    L_WPercent = new QLabel(QStringLiteral("%"), this);
    L_WPercent->setObjectName(QStringLiteral("L_WPercent"));
    L_WPercent->setGeometry(181, 44, 16, 14);
    L_HPercent = new QLabel(QStringLiteral("%"), this);
    L_HPercent->setObjectName(QStringLiteral("L_HPercent"));
    L_HPercent->setGeometry(181, 72, 16, 14);

    C_Aspect = new QCheckBox(QStringLiteral("Keep Aspective"), this);
    C_Aspect->setObjectName(QStringLiteral("C_Aspect"));
    C_Aspect->setGeometry(64, 96, 169, 18);

    B_OK = new QPushButton(QStringLiteral("OK"), this);
    B_OK->setObjectName(QStringLiteral("B_OK"));
    B_OK->setGeometry(8, 120, 73, 25);
    B_OK->setDefault(true);
    B_Prev = new QPushButton(QStringLiteral("Preview"), this);
    B_Prev->setObjectName(QStringLiteral("B_Prev"));
    B_Prev->setGeometry(84, 120, 73, 25);
    B_Prev->setAutoDefault(false);
    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    B_Cancel->setObjectName(QStringLiteral("B_Cancel"));
    B_Cancel->setGeometry(160, 120, 73, 25);
    B_Cancel->setAutoDefault(false);

    // Starting state: "Shape", the starting size, 100 %.
    CB_Mode->setCurrentIndex(4);
    changing_ = true;
    E_WS->setText(QString::number(start_w_));
    E_HS->setText(QString::number(start_h_));
    E_WR->setText(QStringLiteral("100"));
    E_HR->setText(QStringLiteral("100"));
    changing_ = false;

    connect(E_WS, &QLineEdit::textChanged, this, &TSizeF::E_WSChange);
    connect(E_HS, &QLineEdit::textChanged, this, &TSizeF::E_HSChange);
    connect(E_WR, &QLineEdit::textChanged, this, &TSizeF::E_WRChange);
    connect(E_HR, &QLineEdit::textChanged, this, &TSizeF::E_HRChange);
    for (QLineEdit *field : {E_WS, E_HS, E_WR, E_HR}) field->installEventFilter(this);
    connect(C_Aspect, &QCheckBox::toggled, this, &TSizeF::C_AspectClick);
    connect(B_OK, &QPushButton::clicked, this, &TSizeF::B_OKClick);
    connect(B_Prev, &QPushButton::clicked, this, &TSizeF::B_PrevClick);
    connect(B_Cancel, &QPushButton::clicked, this, &TSizeF::B_CancelClick);
}

TSizeF::~TSizeF() {
    for (QLineEdit *field : {E_WS, E_HS, E_WR, E_HR}) field->removeEventFilter(this);
}

bool TSizeF::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusOut) {
        // Focus moving to another control of the dialog leaves the field;
        // the dialog losing activation does not.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == E_WS) E_WSExit();
            if (watched == E_HS) E_HSExit();
            if (watched == E_WR) E_WRExit();
            if (watched == E_HR) E_HRExit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSizeF::WriteGuarded(QLineEdit *field, const QString &text) {
    const bool was = changing_;
    changing_ = true;
    field->setText(text);
    changing_ = was;
}

QString TSizeF::AspectText(int32_t size, uint32_t num, uint32_t den) {
    if (den == 0) return QStringLiteral("1");
    const float fs = static_cast<float>(size), fn = static_cast<float>(num),
                fd = static_cast<float>(den);
    const double v = std::trunc(static_cast<double>(fs) * fn / fd + 0.5);
    // |size x num / den| stays below 2^62 for 32-bit sizes, so the value is
    // exact in 64 bits; a text beyond 32 bits then parses to the default.
    return QString::number(static_cast<int64_t>(v));
}

void TSizeF::E_WSChange() {
    if (changing_) return;
    new_w_ = ParseIntDef(E_WS->text(), static_cast<int32_t>(start_w_));
    if (new_w_ < 1) new_w_ = 1;
    WriteGuarded(E_WR, QString::number(RoundedPercent(new_w_, start_w_)));
}

void TSizeF::E_HSChange() {
    if (changing_) return;
    new_h_ = ParseIntDef(E_HS->text(), static_cast<int32_t>(start_h_));
    if (new_h_ < 1) new_h_ = 1;
    WriteGuarded(E_HR, QString::number(RoundedPercent(new_h_, start_h_)));
}

void TSizeF::E_WRChange() {
    if (changing_) return;
    new_w_ = PixelsOfPercent(ParseIntDef(E_WR->text(), 100), start_w_);
    WriteGuarded(E_WS, QString::number(new_w_));
}

void TSizeF::E_HRChange() {
    if (changing_) return;
    new_h_ = PixelsOfPercent(ParseIntDef(E_HR->text(), 100), start_h_);
    WriteGuarded(E_HS, QString::number(new_h_));
}

// The Exit handlers show the field's value in its normal form (without
// re-deriving the size from it) and, with a fixed aspect, set the other
// pixel field, whose change handler then updates the size and percentage.

void TSizeF::E_WSExit() {
    if (changing_) return;
    WriteGuarded(E_WS, QString::number(new_w_));
    if (C_Aspect->isChecked()) E_HS->setText(AspectText(new_w_, start_h_, start_w_));
}

void TSizeF::E_HSExit() {
    if (changing_) return;
    WriteGuarded(E_HS, QString::number(new_h_));
    if (C_Aspect->isChecked()) E_WS->setText(AspectText(new_h_, start_w_, start_h_));
}

void TSizeF::E_WRExit() {
    if (changing_) return;
    WriteGuarded(E_WR, QString::number(TruncatedPercent(new_w_, start_w_)));
    if (C_Aspect->isChecked()) E_HS->setText(AspectText(new_w_, start_h_, start_w_));
}

void TSizeF::E_HRExit() {
    if (changing_) return;
    WriteGuarded(E_HR, QString::number(TruncatedPercent(new_h_, start_h_)));
    if (C_Aspect->isChecked()) E_WS->setText(AspectText(new_h_, start_w_, start_h_));
}

void TSizeF::C_AspectClick() {
    if (changing_ || !C_Aspect->isChecked()) return;
    const double rw = start_w_ == 0 ? 0.0 : static_cast<double>(new_w_) / start_w_;
    const double rh = start_h_ == 0 ? 0.0 : static_cast<double>(new_h_) / start_h_;
    // The larger ratio wins; the written field's change handler recomputes
    // its pixel size.
    if (rw > rh)
        E_HR->setText(QString::number(ParseIntDef(E_WR->text(), 100)));
    else
        E_WR->setText(QString::number(ParseIntDef(E_HR->text(), 100)));
}

void TSizeF::WithdrawShownPreview() {
    if (!preview_shown_) return;
    preview_shown_ = false;
    WithdrawPreview(main_);
}

void TSizeF::B_PrevClick() {
    WithdrawShownPreview();
    if (callback_ == nullptr) return;
    if (callback_(main_, CB_Mode->currentIndex(), new_w_, new_h_) == 0) preview_shown_ = true;
}

void TSizeF::B_OKClick() {
    ok_ = true;
    accept();
}

void TSizeF::B_CancelClick() {
    reject();
}

int RunSizeDialog(uint32_t start_width, uint32_t start_height, ResizeCallback callback,
                  TMainF *main) {
    if (callback == nullptr) {
        ErrorBox(QStringLiteral("nullpo"));
        return 1;
    }
    std::unique_ptr<TSizeF> dialog;
    try {
        dialog = std::make_unique<TSizeF>(start_width, start_height, callback, main, main);
    } catch (const std::bad_alloc &) {
        ErrorBox(QStringLiteral("out of memory"));
        return 1;
    }
#ifdef KVZA_TEST_HOOKS
    ArmDialogHook(Hook(), dialog.get());
#endif
    dialog->exec();
    // A preview never outlives the dialog; the result is made afresh.
    dialog->WithdrawShownPreview();
    if (dialog->okPressed())
        return callback(main, dialog->CB_Mode->currentIndex(), dialog->newWidth(),
                        dialog->newHeight());
    if (main != nullptr) main->RefreshView(kResizeView | kFitWindow);
    return 1;
}

#ifdef KVZA_TEST_HOOKS
void SetSizeDialogHook(SizeDialogHook hook) {
    Hook() = std::move(hook);
}
#endif

}  // namespace kvzaedit
