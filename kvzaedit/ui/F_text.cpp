// Text import: the dialog "Text Importer" and the text renderer.
#include "F_text.h"
#include "test_seam.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "byte_float.h"
#include "F_main.h"
#include "image_alloc.h"
#include "msgbox.h"

namespace kvzaedit {

namespace {

constexpr int kClientWidth = 329;
constexpr int kClientHeight = 264;
constexpr int kFaceChars = 31;              // longest face name a font description holds
constexpr int32_t kDefaultPixels = 16;      // character height of a height of 0
constexpr int64_t kMaxPixels = 16384;       // largest character or cell height made
constexpr float kLevelToAlpha = 0.015625f;  // 1 / 64

const char *const kWeightNames[10] = {
    "Dont Care", "Thin",      "Extra Light", "Light",      "Normal",
    "Medium",    "Semi Bold", "Bold",        "Extra Bold", "Heavy",
};

#ifdef KVZA_TEST_HOOKS
TextDialogHook &DialogHook() {
    return HookSlot<TextDialogHook>();
}
TextPickerHook &PickerHook() {
    return HookSlot<TextPickerHook>();
}
TextSendHook &SendHook() {
    return HookSlot<TextSendHook>();
}
#endif

// Runs the picker hook of the tests from inside dialog's modal loop.
void ArmPickerHook([[maybe_unused]] QDialog &dialog) {
#ifdef KVZA_TEST_HOOKS
    ArmDialogHook(PickerHook(), &dialog);
#endif
}

QColor ColourFromNumber(uint32_t number) {
    return QColor(static_cast<int>(number & 0xFF), static_cast<int>((number >> 8) & 0xFF),
                  static_cast<int>((number >> 16) & 0xFF));
}

uint32_t NumberFromColour(const QColor &colour) {
    return static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
           static_cast<uint32_t>(colour.blue()) << 16;
}

int32_t SaturateInt32(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

int16_t SaturateInt16(int64_t v) {
    if (v < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
    if (v > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
    return static_cast<int16_t>(v);
}

// 8-bit coverage 0..255 to the 65 levels 0..64, rounded to nearest.
uint8_t CoverageLevel(unsigned value) {
    return static_cast<uint8_t>((value * 64u + 127u) / 255u);
}

// The alpha map as one byte of coverage per pixel.
QImage CoverageBytes(const QImage &map) {
    switch (map.format()) {
        case QImage::Format_Alpha8:
        case QImage::Format_Grayscale8:
            return map;
        case QImage::Format_Indexed8:
            return map.convertToFormat(QImage::Format_Grayscale8);
        default:
            return map.convertToFormat(QImage::Format_Alpha8);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Weights

QString WeightName(int position) {
    if (position < 0 || position > 9) return QString();
    return QString::fromLatin1(kWeightNames[position]);
}

int32_t WeightOfPosition(int position) {
    return static_cast<int32_t>(position) * 100;
}

// ---------------------------------------------------------------------------
// Fonts and glyphs

QFont MakeTextFont(const QString &face, int32_t weight, int32_t height) {
    QString name = face.left(kFaceChars);
    // Never end on the first half of a surrogate pair.
    if (!name.isEmpty() && name.size() < face.size() && name.back().isHighSurrogate()) name.chop(1);
    QFont font;
    if (!name.isEmpty()) font.setFamily(name);
    font.setWeight(weight <= 0 ? QFont::Normal
                               : static_cast<QFont::Weight>(std::min<int32_t>(weight, 1000)));
    const int64_t magnitude =
        std::min<int64_t>(std::llabs(static_cast<int64_t>(height)), kMaxPixels);
    if (height == 0) {
        font.setPixelSize(kDefaultPixels);
    } else if (height < 0) {
        font.setPixelSize(static_cast<int>(magnitude));
    } else {
        // A positive height is the whole cell: scale the character height so
        // that ascent + descent come out at that many pixels.
        font.setPixelSize(static_cast<int>(magnitude));
        const int cell = QFontMetrics(font).height();
        if (cell > 0 && cell != magnitude) {
            const double pixels = static_cast<double>(magnitude) * static_cast<double>(magnitude) /
                                  static_cast<double>(cell);
            font.setPixelSize(static_cast<int>(
                std::clamp<double>(std::round(pixels), 1.0, static_cast<double>(kMaxPixels))));
        }
    }
    return font;
}

TextFace::TextFace(const QFont &font) : font_(font) {
    raw_ = QRawFont::fromFont(font_);
    const QFontMetrics fm(font_);
    metrics_.height = fm.height();
    metrics_.ascent = fm.ascent();
    metrics_.external_leading = std::max(0, fm.leading());
    metrics_.max_char_width = fm.maxWidth();
    valid_ = raw_.isValid() && metrics_.height > 0 && metrics_.max_char_width > 0;
}

bool TextFace::Extent(const QString &text, int32_t &width) const {
    if (!valid_) return false;
    int64_t w = 0;
    for (const char32_t code : TextCodes(text.constData(), text.size())) {
        QRawFont raw;
        quint32 index = 0;
        Resolve(code, raw, index);
        w += CellIncrement(raw, index);
    }
    if (w < 0 || w > std::numeric_limits<int32_t>::max()) return false;
    width = static_cast<int32_t>(w);
    return true;
}

int16_t TextFace::CellIncrement(const QRawFont &raw, quint32 index) {
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(QList<quint32>{index});
    return advances.isEmpty() ? 0 : SaturateInt16(std::llround(advances.front().x()));
}

void TextFace::Resolve(char32_t code, QRawFont &raw, quint32 &index) const {
    const QString one = QString::fromUcs4(&code, 1);
    raw = raw_;
    index = 0;
    bool found = false;
    if (raw_.supportsCharacter(static_cast<uint>(code))) {
        const QList<quint32> indexes = raw_.glyphIndexesForString(one);
        if (!indexes.isEmpty()) {
            index = indexes.front();
            found = true;
        }
    }
    if (!found) {
        QTextLayout layout(one, font_);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        if (line.isValid()) {
            for (const QGlyphRun &run : line.glyphRuns()) {
                if (run.glyphIndexes().isEmpty() || !run.rawFont().isValid()) continue;
                raw = run.rawFont();
                index = run.glyphIndexes().front();
                found = true;
                break;
            }
        }
    }
    if (!found) {
        const QList<quint32> indexes = raw_.glyphIndexesForString(one);
        if (!indexes.isEmpty()) index = indexes.front();
    }
}

int64_t TextFace::Glyph(char32_t code, uint8_t *buffer, int64_t size,
                        GlyphMetricsRec &metrics) const {
    metrics = GlyphMetricsRec{};
    if (!valid_) return 0;

    QRawFont raw;
    quint32 index = 0;
    Resolve(code, raw, index);
    metrics.cell_inc_x = CellIncrement(raw, index);

    const QImage map = CoverageBytes(raw.alphaMapForGlyph(index, QRawFont::PixelAntialiasing));
    if (map.isNull() || map.width() <= 0 || map.height() <= 0) return 0;
    const QRectF bounds = raw.boundingRect(index);
    const int w = map.width();
    const int h = map.height();

    // Coverage levels, and the smallest box holding every inked pixel: the
    // rasteriser's map may carry empty margins around the glyph.
    std::vector<uint8_t> levels(static_cast<size_t>(w) * static_cast<size_t>(h));
    int left = w, right = -1, top = h, bottom = -1;
    for (int y = 0; y < h; ++y) {
        const uchar *row = map.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            const uint8_t level = CoverageLevel(row[x]);
            levels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
                level;
            if (level == 0) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return 0;  // nothing inked

    metrics.black_box_x = right - left + 1;
    metrics.black_box_y = bottom - top + 1;
    metrics.origin_x =
        SaturateInt32(static_cast<int64_t>(std::floor(bounds.left())) + static_cast<int64_t>(left));
    metrics.origin_y = SaturateInt32(
        -(static_cast<int64_t>(std::floor(bounds.top())) + static_cast<int64_t>(top)));

    const int64_t stride = (static_cast<int64_t>(metrics.black_box_x) + 3) / 4 * 4;
    const int64_t bytes = stride * metrics.black_box_y;
    if (buffer == nullptr || bytes > size) return 0;
    for (int y = 0; y < metrics.black_box_y; ++y) {
        const uint8_t *src = &levels[static_cast<size_t>(y + top) * static_cast<size_t>(w) +
                                     static_cast<size_t>(left)];
        uint8_t *dst = buffer + stride * y;
        std::memcpy(dst, src, static_cast<size_t>(metrics.black_box_x));
        std::memset(dst + metrics.black_box_x, 0,
                    static_cast<size_t>(stride - metrics.black_box_x));
    }
    return bytes;
}

// ---------------------------------------------------------------------------
// Lines

std::vector<char32_t> TextCodes(const QChar *text, int64_t length) {
    std::vector<char32_t> codes;
    if (text == nullptr) return codes;
    for (int64_t i = 0; i < length; ++i) {
        const QChar unit = text[i];
        if (unit.unicode() == 0) break;  // the text ends at a zero
        if (unit.isHighSurrogate() && i + 1 < length && text[i + 1].isLowSurrogate()) {
            codes.push_back(QChar::surrogateToUcs4(unit, text[i + 1]));
            ++i;
        } else {
            codes.push_back(unit.unicode());
        }
    }
    return codes;
}

void DrawTextLine(KvzaImage *image, const TextFace &dc, const TextMetricsRec &tm,
                  int32_t cell_height, int32_t row_bytes, uint8_t *buffer, int32_t length,
                  const QChar *text, int32_t top) {
    if (image == nullptr) return;
    const int64_t size =
        cell_height > 0 && row_bytes > 0 ? static_cast<int64_t>(cell_height) * row_bytes : 0;
    int64_t pen_x = 0;
    for (const char32_t code : TextCodes(text, length)) {
        if (buffer != nullptr && size > 0) std::memset(buffer, 0, static_cast<size_t>(size));
        GlyphMetricsRec gm;
        const int64_t bytes = dc.Glyph(code, buffer, size, gm);
        if (bytes >= 1) {
            const int64_t stride = (static_cast<int64_t>(gm.black_box_x) + 3) / 4 * 4;
            const int64_t base_y = static_cast<int64_t>(top) + tm.ascent - gm.origin_y;
            const int64_t base_x = pen_x + gm.origin_x;
            for (int32_t i = 0; i < gm.black_box_y; ++i) {
                for (int32_t j = 0; j < gm.black_box_x; ++j) {
                    KvzaPixel *pixel =
                        kvza_getpixptr(image, SaturateInt32(base_x + j), SaturateInt32(base_y + i));
                    if (pixel == nullptr) continue;
                    pixel->a = static_cast<float>(buffer[stride * i + j]) * kLevelToAlpha;
                }
            }
        }
        pen_x += gm.cell_inc_x;
    }
}

KvzaImage *RenderTextImage(const TextSettings &settings, const QStringList &lines) {
    const bool any = std::any_of(lines.begin(), lines.end(),
                                 [](const QString &line) { return !line.isEmpty(); });
    if (!any) return nullptr;

    const TextFace dc(MakeTextFont(settings.face, settings.weight, settings.height));
    if (!dc.Valid()) return nullptr;
    const TextMetricsRec tm = dc.Metrics();
    const int64_t line_height = static_cast<int64_t>(tm.height) + tm.external_leading;
    const int64_t image_height = static_cast<int64_t>(lines.size()) * line_height;

    bool error = false;
    int32_t width = 0;
    for (const QString &line : lines) {
        if (line.isEmpty()) continue;
        int32_t extent = 0;
        if (!dc.Extent(line, extent))
            error = true;
        else
            width = std::max(width, extent);
    }
    if (width <= 0) error = true;
    if (image_height <= 0 || image_height > std::numeric_limits<int32_t>::max()) error = true;
    if (error) return nullptr;

    const int64_t row_bytes = static_cast<int64_t>(tm.max_char_width) * 4;
    const int64_t buffer_bytes = row_bytes * tm.height;
    if (row_bytes > std::numeric_limits<int32_t>::max() || buffer_bytes <= 0) return nullptr;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow)
                                          uint8_t[static_cast<size_t>(buffer_bytes)]);
    if (!buffer) return nullptr;

    KvzaImage *image = NewImage(nullptr, width, static_cast<int32_t>(image_height));
    if (image == nullptr) return nullptr;
    const uint32_t text = settings.text_colour;
    const KvzaPixel rgb{static_cast<float>(text & 0xFF) * kvza::kByteToFloat,
                        static_cast<float>((text >> 8) & 0xFF) * kvza::kByteToFloat,
                        static_cast<float>((text >> 16) & 0xFF) * kvza::kByteToFloat, 0.0f};
    KvzaPixel fill{};
    kvza_rgb2kvz(&fill, &rgb);
    fill.a = 0.0f;
    kvza_clr(image, &fill, nullptr);
    image->viewinfo[0] = static_cast<uint8_t>(settings.back_colour & 0xFF);
    image->viewinfo[1] = static_cast<uint8_t>((settings.back_colour >> 8) & 0xFF);
    image->viewinfo[2] = static_cast<uint8_t>((settings.back_colour >> 16) & 0xFF);

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        const int32_t length = static_cast<int32_t>(
            std::min<qsizetype>(line.size(), std::numeric_limits<int32_t>::max()));
        DrawTextLine(image, dc, tm, tm.height, static_cast<int32_t>(row_bytes), buffer.get(),
                     length, line.constData(), static_cast<int32_t>(i * line_height));
    }
    return image;
}

int MakeTextImage(TMainF *main, const QString &face, uint8_t charset, const QStringList &lines,
                  uint32_t back_colour, uint32_t text_colour, int32_t weight, int32_t height) {
    if (main == nullptr) return 1;
    TextSettings settings;
    settings.face = face;
    settings.charset = charset;
    settings.back_colour = back_colour;
    settings.text_colour = text_colour;
    settings.weight = weight;
    settings.height = height;
    KvzaImage *image = RenderTextImage(settings, lines);
    if (image == nullptr) return 1;

    if (main->CurImg != nullptr) {
        // The window keeps its document; the text image opens in a new one.
#ifdef KVZA_TEST_HOOKS
        if (SendHook())
            SendHook()(image);
        else
#endif
            main->SendToNewInstance(image);
        ReleaseImage(image);
    } else {
        main->CurImg = image;
        main->ShowDoc();
        main->Modified = 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The dialog

TTextF::TTextF(QWidget *owner) : QDialog(owner) {
    setObjectName(QStringLiteral("TTextF"));
    setWindowTitle(QStringLiteral("Text Importer"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
    QFont form_font(QStringLiteral("ＭＳ Ｐゴシック"));
    form_font.setPixelSize(12);
    setFont(form_font);

    FontSelFont = QFont(QStringLiteral("ＭＳ Ｐゴシック"));
    FontSelFont.setPixelSize(16);

    Label1 = new QLabel(QStringLiteral("Font"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 12, 32, 12);

    E_Font = new QLineEdit(QStringLiteral("ＭＳ Ｐゴシック"), this);
    E_Font->setObjectName(QStringLiteral("E_Font"));
    E_Font->setReadOnly(true);
    E_Font->setGeometry(48, 8, 153, 20);

    B_FontSel = new QPushButton(QStringLiteral("形"), this);
    B_FontSel->setObjectName(QStringLiteral("B_FontSel"));
    B_FontSel->setGeometry(208, 6, 33, 24);
    B_FontSel->setAutoDefault(false);
    connect(B_FontSel, &QPushButton::clicked, this, &TTextF::B_FontSelClick);

    B_ColSel = new QPushButton(QStringLiteral("色"), this);
    B_ColSel->setObjectName(QStringLiteral("B_ColSel"));
    B_ColSel->setGeometry(248, 6, 33, 24);
    B_ColSel->setAutoDefault(false);
    connect(B_ColSel, &QPushButton::clicked, this, &TTextF::B_ColSelClick);

    B_BColSel = new QPushButton(QStringLiteral("後"), this);
    B_BColSel->setObjectName(QStringLiteral("B_BColSel"));
    B_BColSel->setGeometry(288, 6, 33, 24);
    B_BColSel->setAutoDefault(false);
    connect(B_BColSel, &QPushButton::clicked, this, &TTextF::B_BColSelClick);

    Label2 = new QLabel(QStringLiteral("Weight"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 44, 40, 12);

    TB_Weight = new QSlider(Qt::Horizontal, this);
    TB_Weight->setObjectName(QStringLiteral("TB_Weight"));
    TB_Weight->setGeometry(48, 36, 177, 32);
    TB_Weight->setRange(1, 9);
    TB_Weight->setValue(4);
    TB_Weight->setSingleStep(1);
    TB_Weight->setTickInterval(1);
    TB_Weight->setTickPosition(QSlider::TicksBelow);
    connect(TB_Weight, &QSlider::valueChanged, this, &TTextF::TB_WeightChange);

    L_Weight = new QLabel(WeightName(4), this);
    L_Weight->setObjectName(QStringLiteral("L_Weight"));
    L_Weight->setGeometry(232, 44, 89, 12);

    TextBox = new QPlainTextEdit(this);
    TextBox->setObjectName(QStringLiteral("TextBox"));
    TextBox->setGeometry(8, 72, 313, 153);
    TextBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    TextBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TextBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette memo = TextBox->palette();
    memo.setColor(QPalette::Base, Qt::black);
    memo.setColor(QPalette::Text, Qt::white);
    TextBox->setPalette(memo);
    TextBox->setFont(FontSelFont);

    B_OK = new QPushButton(QStringLiteral("OK"), this);
    B_OK->setObjectName(QStringLiteral("B_OK"));
    B_OK->setGeometry(160, 232, 75, 25);
    B_OK->setDefault(true);
    connect(B_OK, &QPushButton::clicked, this, &TTextF::B_OKClick);

    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    B_Cancel->setObjectName(QStringLiteral("B_Cancel"));
    B_Cancel->setGeometry(246, 232, 75, 25);
    B_Cancel->setAutoDefault(false);
    connect(B_Cancel, &QPushButton::clicked, this, &TTextF::B_CancelClick);
}

TTextF::~TTextF() = default;

QStringList TTextF::Lines() const {
    QStringList lines = TextBox->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

uint32_t TTextF::TextColour() const {
    return NumberFromColour(TextBox->palette().color(QPalette::Text));
}

uint32_t TTextF::BackColour() const {
    return NumberFromColour(TextBox->palette().color(QPalette::Base));
}

int32_t TTextF::FontSelHeight() const {
    int pixels = FontSelFont.pixelSize();
    if (pixels <= 0) pixels = QFontInfo(FontSelFont).pixelSize();
    return -std::max(1, pixels);
}

void TTextF::TakeFont(const QFont &font) {
    FontSelFont = font;
    E_Font->setText(font.family());
    TextBox->setFont(font);
    QPalette memo = TextBox->palette();
    memo.setColor(QPalette::Text, ColourFromNumber(FontSelColour));
    TextBox->setPalette(memo);
}

void TTextF::B_FontSelClick() {
    QFontDialog dialog(FontSelFont, this);
    dialog.setObjectName(QStringLiteral("FontSel"));
    dialog.setOption(QFontDialog::DontUseNativeDialog, true);
    // Only faces, styles and sizes are offered: no effects section.
    for (QGroupBox *group : dialog.findChildren<QGroupBox *>()) {
        if (group->findChild<QCheckBox *>() != nullptr) group->hide();
    }
    if (auto *buttons = dialog.findChild<QDialogButtonBox *>()) {
        QPushButton *apply = buttons->addButton(QDialogButtonBox::Apply);
        apply->setObjectName(QStringLiteral("Apply"));
        connect(apply, &QPushButton::clicked, this, &TTextF::FontSelApply);
    }
    font_dialog_ = &dialog;
    ArmPickerHook(dialog);
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    font_dialog_ = nullptr;
    if (confirmed) TakeFont(dialog.selectedFont());
}

void TTextF::FontSelApply() {
    if (font_dialog_ != nullptr) TakeFont(font_dialog_->currentFont());
}

bool TTextF::RunColourDialog(const QString &name, uint32_t &colour) {
    QColorDialog dialog(ColourFromNumber(colour), this);
    dialog.setObjectName(name);
    dialog.setOption(QColorDialog::DontUseNativeDialog, true);
    ArmPickerHook(dialog);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QColor chosen =
        dialog.selectedColor().isValid() ? dialog.selectedColor() : dialog.currentColor();
    colour = NumberFromColour(chosen);
    return true;
}

void TTextF::B_ColSelClick() {
    if (!RunColourDialog(QStringLiteral("ColSel"), ColSelColour)) return;
    QPalette memo = TextBox->palette();
    memo.setColor(QPalette::Text, ColourFromNumber(ColSelColour));
    TextBox->setPalette(memo);
}

void TTextF::B_BColSelClick() {
    if (!RunColourDialog(QStringLiteral("BColSel"), BColSelColour)) return;
    QPalette memo = TextBox->palette();
    memo.setColor(QPalette::Base, ColourFromNumber(BColSelColour));
    TextBox->setPalette(memo);
}

void TTextF::TB_WeightChange(int position) {
    L_Weight->setText(WeightName(position));
}

void TTextF::B_OKClick() {
    OK = 1;
    accept();
}

void TTextF::B_CancelClick() {
    reject();
}

int RunTextDialog(TextOperation operation, TMainF *main) {
    if (operation == nullptr) {
        ErrorBox(QStringLiteral("nullpo"));
        return 1;
    }
    std::unique_ptr<TTextF> dialog;
    try {
        dialog = std::make_unique<TTextF>(main);
    } catch (const std::bad_alloc &) {
        ErrorBox(QStringLiteral("out of memory"));
        return 1;
    }
    dialog->Operation = operation;
    dialog->MainWin = main;
#ifdef KVZA_TEST_HOOKS
    ArmDialogHook(DialogHook(), dialog.get());
#endif
    dialog->exec();
    if (dialog->OK != 0) {
        dialog->Operation(dialog->MainWin, dialog->FontSelFont.family(), kDefaultCharset,
                          dialog->Lines(), dialog->BackColour(), dialog->TextColour(),
                          WeightOfPosition(dialog->TB_Weight->value()), dialog->FontSelHeight());
    }
    return 0;
}

#ifdef KVZA_TEST_HOOKS
void SetTextDialogHook(TextDialogHook hook) {
    DialogHook() = std::move(hook);
}

void SetTextPickerHook(TextPickerHook hook) {
    PickerHook() = std::move(hook);
}

void SetTextSendHook(TextSendHook hook) {
    SendHook() = std::move(hook);
}
#endif

}  // namespace kvzaedit
