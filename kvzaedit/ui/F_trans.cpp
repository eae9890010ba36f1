// The transparentize dialog: reference and tolerance fields, preview through
// the undo history, confirm and cancel.
#include "F_trans.h"
#include "test_seam.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cmath>
#include <memory>
#include <new>

#include "F_main.h"
#include "msgbox.h"

namespace kvzaedit {

namespace {

constexpr int kClientWidth = 395;
constexpr int kClientHeight = 210;

#ifdef KVZA_TEST_HOOKS
TransDialogHook &Hook() {
    return HookSlot<TransDialogHook>();
}
#endif

QLabel *MakeLabel(QWidget *parent, const QString &text, int x, int y, int w, int h,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto *label = new QLabel(text, parent);
    label->setGeometry(x, y, w, h);
    label->setAlignment(align);
    return label;
}

QLineEdit *MakeEdit(QWidget *parent, const char *name, int x, int y, int w) {
    auto *edit = new QLineEdit(QStringLiteral("0"), parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(x, y, w, 21);
    return edit;
}

}  // namespace

int32_t ParseFieldInt(const QString &text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' ')) ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= n) return 0;
    int64_t value = 0;
    for (; i < n; ++i) {
        const QChar ch = text[i];
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) return 0;
        value = value * 10 + (ch.unicode() - u'0');
        if (value > 2147483648LL) return 0;  // beyond 32 bits: not an integer
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return 0;
    return static_cast<int32_t>(value);
}

QString ToleranceText(float t) {
    const double v = std::trunc(static_cast<double>(t) * 100.0 + 0.5);
    // Every stored tolerance comes from a 32-bit integer, so v fits; a value
    // that does not (or is not a number) is shown as 0.
    if (!(std::fabs(v) < 9.0e15)) return QStringLiteral("0");
    return QString::number(static_cast<int64_t>(v));
}

// ---------------------------------------------------------------------------
// The dialog

TTransF::TTransF(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("TTransF"));
    setWindowTitle(QStringLiteral("Transparentize"));
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(kClientWidth, kClientHeight);

    // ---- reference ----
    GroupBox1 = new QGroupBox(QStringLiteral("Reference"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 193, 194);
    MakeLabel(GroupBox1, QStringLiteral("Top"), 72, 20, 49, 17, Qt::AlignCenter);
    MakeLabel(GroupBox1, QStringLiteral("Bottom"), 72, 168, 49, 17, Qt::AlignCenter);
    MakeLabel(GroupBox1, QStringLiteral("Left"), 8, 88, 41, 17);
    MakeLabel(GroupBox1, QStringLiteral("Right"), 144, 88, 41, 17,
              Qt::AlignRight | Qt::AlignVCenter);

    auto *refs = new QButtonGroup(this);
    const auto make_radio = [&](const char *name, const QString &caption, int x, int y, int w,
                                int tag) {
        auto *radio = new QRadioButton(caption, GroupBox1);
        radio->setObjectName(QString::fromLatin1(name));
        radio->setGeometry(x, y, w, 17);
        radio->setProperty("tag", tag);
        refs->addButton(radio, tag);
        return radio;
    };
    R_LU = make_radio("R_LU", QString(), 8, 20, 17, 1);
    R_RU = make_radio("R_RU", QString(), 168, 20, 17, 2);
    R_LD = make_radio("R_LD", QString(), 8, 168, 17, 3);
    R_RD = make_radio("R_RD", QString(), 168, 168, 17, 4);
    R_Any = make_radio("R_Any", QStringLiteral("Any Point"), 60, 64, 89, 0);
    E_PX = MakeEdit(GroupBox1, "E_PX", 48, 88, 45);
    E_PY = MakeEdit(GroupBox1, "E_PY", 100, 88, 45);
    E_PX->setEnabled(false);
    E_PY->setEnabled(false);
    R_LU->setChecked(true);

    // ---- tolerances ----
    GroupBox2 = new QGroupBox(QStringLiteral("Threshold"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(208, 8, 179, 130);
    const char *names[4] = {"E_Hue", "E_Chroma", "E_Bright", "E_Alpha"};
    const char *captions[4] = {"Hue", "Chroma", "Bright", "Alpha"};
    QLineEdit *edits[4] = {};
    for (int k = 0; k < 4; ++k) {
        const int y = 22 + 26 * k;
        MakeLabel(GroupBox2, QString::fromLatin1(captions[k]), 10, y, 52, 21);
        edits[k] = MakeEdit(GroupBox2, names[k], 66, y, 73);
        MakeLabel(GroupBox2, QStringLiteral("%"), 145, y, 20, 21);
    }
    E_Hue = edits[0];
    E_Chroma = edits[1];
    E_Bright = edits[2];
    E_Alpha = edits[3];

    // ---- buttons ----
    B_OK = new QPushButton(QStringLiteral("OK"), this);
    B_OK->setObjectName(QStringLiteral("B_OK"));
    B_OK->setGeometry(208, 170, 57, 25);
    B_OK->setDefault(true);
    B_Prev = new QPushButton(QStringLiteral("Preview"), this);
    B_Prev->setObjectName(QStringLiteral("B_Prev"));
    B_Prev->setGeometry(269, 170, 57, 25);
    B_Prev->setAutoDefault(false);
    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    B_Cancel->setObjectName(QStringLiteral("B_Cancel"));
    B_Cancel->setGeometry(330, 170, 57, 25);
    B_Cancel->setAutoDefault(false);

    // ---- events ----
    connect(refs, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) R_Click(id);
    });
    connect(E_PX, &QLineEdit::textChanged, this, &TTransF::E_PXChange);
    connect(E_PY, &QLineEdit::textChanged, this, &TTransF::E_PYChange);
    connect(E_Hue, &QLineEdit::textChanged, this, &TTransF::E_HueChange);
    connect(E_Chroma, &QLineEdit::textChanged, this, &TTransF::E_ChromaChange);
    connect(E_Bright, &QLineEdit::textChanged, this, &TTransF::E_BrightChange);
    connect(E_Alpha, &QLineEdit::textChanged, this, &TTransF::E_AlphaChange);
    for (QLineEdit *edit : {E_PX, E_PY, E_Hue, E_Chroma, E_Bright, E_Alpha})
        edit->installEventFilter(this);
    connect(B_OK, &QPushButton::clicked, this, &TTransF::B_OKClick);
    connect(B_Prev, &QPushButton::clicked, this, &TTransF::B_PrevClick);
    connect(B_Cancel, &QPushButton::clicked, this, &TTransF::B_CancelClick);
}

TTransF::~TTransF() {
    // The fields lose focus while they are torn down; their exit handlers
    // must not run on a dialog that is going away.
    for (QLineEdit *edit : {E_PX, E_PY, E_Hue, E_Chroma, E_Bright, E_Alpha})
        edit->removeEventFilter(this);
}

void TTransF::SetOperation(TransOpFn op, TMainF *main) {
    op_ = op;
    main_ = main;
}

bool TTransF::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == E_PX)
            E_PXExit();
        else if (watched == E_PY)
            E_PYExit();
        else if (watched == E_Hue)
            E_HueExit();
        else if (watched == E_Chroma)
            E_ChromaExit();
        else if (watched == E_Bright)
            E_BrightExit();
        else if (watched == E_Alpha)
            E_AlphaExit();
    }
    return QDialog::eventFilter(watched, event);
}

void TTransF::R_Click(int tag) {
    RefMode = tag;
    const bool any = tag == 0;
    E_PX->setEnabled(any);
    E_PY->setEnabled(any);
}

void TTransF::E_PXChange(const QString &text) {
    PointX = ParseFieldInt(text);
}
void TTransF::E_PYChange(const QString &text) {
    PointY = ParseFieldInt(text);
}
void TTransF::E_HueChange(const QString &text) {
    THue = ToleranceFromInt(ParseFieldInt(text));
}
void TTransF::E_ChromaChange(const QString &text) {
    TChroma = ToleranceFromInt(ParseFieldInt(text));
}
void TTransF::E_BrightChange(const QString &text) {
    TBright = ToleranceFromInt(ParseFieldInt(text));
}
void TTransF::E_AlphaChange(const QString &text) {
    TAlpha = ToleranceFromInt(ParseFieldInt(text));
}

// Leaving a field rewrites it from the stored value; the new text is parsed
// and stored again by its change handler.
void TTransF::E_PXExit() {
    E_PX->setText(QString::number(PointX));
}
void TTransF::E_PYExit() {
    E_PY->setText(QString::number(PointY));
}
void TTransF::E_HueExit() {
    E_Hue->setText(ToleranceText(THue));
}
void TTransF::E_ChromaExit() {
    E_Chroma->setText(ToleranceText(TChroma));
}
void TTransF::E_BrightExit() {
    E_Bright->setText(ToleranceText(TBright));
}
void TTransF::E_AlphaExit() {
    E_Alpha->setText(ToleranceText(TAlpha));
}

int TTransF::RunOperation() {
    if (op_ == nullptr) return 1;
    return op_(main_, RefMode, PointX, TAlpha, TBright, TChroma, THue, PointY);
}

void TTransF::RollBackPreview() {
    if (!PreviewShown) return;
    PreviewShown = false;
    if (main_ == nullptr) return;
    main_->UndoStep(false);
    main_->ClearRedo();
}

void TTransF::B_PrevClick() {
    RollBackPreview();
    if (RunOperation() == 0) PreviewShown = true;
}

void TTransF::B_OKClick() {
    Confirmed = true;
    accept();
}

void TTransF::B_CancelClick() {
    reject();
}

// ---------------------------------------------------------------------------

int RunTransDialog(TransOpFn op, TMainF *main) {
    if (op == nullptr || main == nullptr) {
        ErrorBox(QStringLiteral("nullpo"));
        return 1;
    }
    std::unique_ptr<TTransF> dialog;
    try {
        dialog = std::make_unique<TTransF>(main);
    } catch (const std::bad_alloc &) {
        ErrorBox(QStringLiteral("out of memory"));
        return 1;
    }
    dialog->SetOperation(op, main);
#ifdef KVZA_TEST_HOOKS
    ArmDialogHook(Hook(), dialog.get());
#endif
    dialog->exec();
    dialog->RollBackPreview();
    if (dialog->Confirmed) return dialog->RunOperation();
    main->RefreshView(kResizeView | kFitWindow);
    return 1;
}

#ifdef KVZA_TEST_HOOKS
void SetTransDialogHook(TransDialogHook hook) {
    Hook() = std::move(hook);
}
#endif

}  // namespace kvzaedit
