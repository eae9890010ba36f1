// Text import: the dialog "Text Importer" (TTextF) and the renderer that
// turns lines of text into an image whose alpha channel is the glyph
// coverage and whose colour is the text colour everywhere.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QRawFont>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

#include "kvza.h"

class QColorDialog;
class QFontDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;

namespace kvzaedit {

class TMainF;

// ---------------------------------------------------------------------------
// Weights

// Name shown in L_Weight for a track-bar position 0..9 ("Dont Care" ..
// "Heavy"); positions outside that range give an empty name.
QString WeightName(int position);
// Font weight of a track-bar position: position times 100.
int32_t WeightOfPosition(int position);

// ---------------------------------------------------------------------------
// Rendering

// Character set the dialog hands on (the font dialog here has none to
// offer; the renderer lets the font system choose glyphs per character).
constexpr uint8_t kDefaultCharset = 1;

// Metrics of the selected font, in pixels.
struct TextMetricsRec {
    int32_t height = 0;            // ascent + descent: one character cell
    int32_t ascent = 0;            // baseline below the cell's top
    int32_t external_leading = 0;  // extra space between lines (never negative)
    int32_t max_char_width = 0;    // widest character
};

// Metrics of one glyph, in pixels.
struct GlyphMetricsRec {
    int32_t black_box_x = 0;  // width of the inked box
    int32_t black_box_y = 0;  // height of the inked box
    int32_t origin_x = 0;     // box's left edge right of the pen position
    int32_t origin_y = 0;     // box's top edge above the baseline
    int16_t cell_inc_x = 0;   // pen advance to the next character
};

// The font of a text import, made from its description: face (at most 31
// characters are used), weight 0..1000 (0: normal), height (negative: the
// character height in pixels; positive: the cell height; 0: 16 pixels).
QFont MakeTextFont(const QString &face, int32_t weight, int32_t height);

// A font selected for drawing: text metrics, string extents and glyphs.
class TextFace {
  public:
    explicit TextFace(const QFont &font);

    bool Valid() const { return valid_; }
    const TextMetricsRec &Metrics() const { return metrics_; }
    // Pixel extent of the whole string: the sum of its characters' cell
    // increments, the same steps the pen takes when the line is drawn, so
    // no glyph falls beyond the measured width. False when it cannot be
    // measured.
    bool Extent(const QString &text, int32_t &width) const;
    // The glyph of one character as coverage levels 0..64, one byte per
    // pixel, rows black_box_x rounded up to a multiple of 4 bytes apart.
    // Fills metrics and returns the bytes of the bitmap; 0 when the glyph
    // is empty (a space), cannot be made or does not fit in size bytes, in
    // which case metrics still hold the cell increment.
    int64_t Glyph(char32_t code, uint8_t *buffer, int64_t size, GlyphMetricsRec &metrics) const;

  private:
    // The font and glyph index that draw code: the selected font's own
    // glyph, else the one the font system falls back to.
    void Resolve(char32_t code, QRawFont &raw, quint32 &index) const;
    // The horizontal cell increment of a resolved glyph, whole pixels.
    static int16_t CellIncrement(const QRawFont &raw, quint32 index);

    QFont font_;
    QRawFont raw_;
    TextMetricsRec metrics_;
    bool valid_ = false;
};

// The characters of text[0 .. length): a surrogate pair is one character,
// any other UTF-16 unit one by itself (a lone surrogate included).
std::vector<char32_t> TextCodes(const QChar *text, int64_t length);

// Draws one line of text into the alpha channel of image with its top edge
// at row top: every glyph sets a = level / 64 over its whole black box.
// buffer holds cell_height x row_bytes bytes. Positions outside the image
// land on its nearest edge pixel (the image's Clamp modes).
void DrawTextLine(KvzaImage *image, const TextFace &dc, const TextMetricsRec &tm,
                  int32_t cell_height, int32_t row_bytes, uint8_t *buffer, int32_t length,
                  const QChar *text, int32_t top);

// Settings of one text import. Colours are red + 256 x green + 65536 x blue.
struct TextSettings {
    QString face;
    uint8_t charset = kDefaultCharset;
    uint32_t back_colour = 0x000000;
    uint32_t text_colour = 0xFFFFFF;
    int32_t weight = 400;
    int32_t height = -16;
};

// Renders the lines into a new image (width: the widest line, height: the
// number of lines times the line height); nullptr when every line is empty
// or the font, a measurement or an allocation fails.
KvzaImage *RenderTextImage(const TextSettings &settings, const QStringList &lines);

// The operation the dialog calls with its settings.
using TextOperation = int (*)(TMainF *main, const QString &face, uint8_t charset,
                              const QStringList &lines, uint32_t back_colour, uint32_t text_colour,
                              int32_t weight, int32_t height);

// Renders the lines and hands the image on: an empty window shows it as its
// document (modified, no file name); a window with a document sends it to a
// new instance and keeps its own. 0 done, 1 nothing made.
int MakeTextImage(TMainF *main, const QString &face, uint8_t charset, const QStringList &lines,
                  uint32_t back_colour, uint32_t text_colour, int32_t weight, int32_t height);

// ---------------------------------------------------------------------------
// The dialog

class TTextF : public QDialog {
    Q_OBJECT
  public:
    explicit TTextF(QWidget *owner = nullptr);
    ~TTextF() override;

    QLabel *Label1 = nullptr;
    QLineEdit *E_Font = nullptr;
    QPushButton *B_FontSel = nullptr;
    QPushButton *B_ColSel = nullptr;
    QPushButton *B_BColSel = nullptr;
    QLabel *Label2 = nullptr;
    QSlider *TB_Weight = nullptr;
    QLabel *L_Weight = nullptr;
    QPlainTextEdit *TextBox = nullptr;
    QPushButton *B_OK = nullptr;
    QPushButton *B_Cancel = nullptr;

    // The font dialog's font and its colour (white: no effects are offered).
    QFont FontSelFont;
    uint32_t FontSelColour = 0xFFFFFF;
    // The colour dialogs' colours (0xBBGGRR).
    uint32_t ColSelColour = 0xFFFFFF;
    uint32_t BColSelColour = 0x000000;

    int32_t OK = 0;
    TextOperation Operation = nullptr;
    TMainF *MainWin = nullptr;

    // The memo's lines (a final line break does not start a further line).
    QStringList Lines() const;
    // The memo's font colour and background (0xBBGGRR).
    uint32_t TextColour() const;
    uint32_t BackColour() const;
    // FontSel's font height: negative character height in pixels.
    int32_t FontSelHeight() const;

  public slots:
    void B_FontSelClick();
    void FontSelApply();
    void B_ColSelClick();
    void B_BColSelClick();
    void TB_WeightChange(int position);
    void B_OKClick();
    void B_CancelClick();

  private:
    // Takes font as FontSel's font: E_Font shows its name and the memo gets
    // the whole font, colour included.
    void TakeFont(const QFont &font);
    // Runs a colour dialog named name on colour; true when confirmed.
    bool RunColourDialog(const QString &name, uint32_t &colour);

    QFontDialog *font_dialog_ = nullptr;  // while FontSel runs
};

// Runs the dialog modally and, when confirmed, calls operation with its
// settings. 0, or 1 when there is no operation or the dialog cannot be made.
int RunTextDialog(TextOperation operation, TMainF *main);

#ifdef KVZA_TEST_HOOKS
// ---------------------------------------------------------------------------
// Test seams (pass an empty function to remove)

// Called with the dialog from inside its modal loop; expected to close it.
using TextDialogHook = std::function<void(TTextF &)>;
void SetTextDialogHook(TextDialogHook hook);
// Called with FontSel, ColSel or BColSel from inside its modal loop;
// expected to accept or reject it.
using TextPickerHook = std::function<void(QDialog &)>;
void SetTextPickerHook(TextPickerHook hook);
// While set, an image for a new instance goes here instead of starting one.
using TextSendHook = std::function<void(const KvzaImage *)>;
void SetTextSendHook(TextSendHook hook);
#endif

}  // namespace kvzaedit
