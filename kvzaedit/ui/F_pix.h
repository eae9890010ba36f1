// The pixel information window "Pixel Info": a small modeless tool window
// that follows the mouse over the image view and shows the pixel under the
// pointer (position, wrap modes, RGB and alpha, raw KVZ components, markers
// on two colour-plane pictures and the pixel with its eight neighbours as
// checker swatches over the document's background colour).
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "kvza.h"

class QLabel;

namespace kvzaedit {

// Closing callback, called with the main window.
using PixCloseFn = void (*)(void *main);

// A picture control showing its bitmap at its own size.
class TPixImage : public QWidget {
    Q_OBJECT
  public:
    explicit TPixImage(QWidget *parent);
    QImage Bitmap;

  protected:
    void paintEvent(QPaintEvent *event) override;
};

// A 5 x 5 rounded-rectangle marker.
class TPixMarker : public QWidget {
    Q_OBJECT
  public:
    explicit TPixMarker(QWidget *parent);

  protected:
    void paintEvent(QPaintEvent *event) override;
};

// Paints swatch as a checker of 2 x 2 cells: a 1-bit bitmap of the swatch's
// size whose colour table holds first (entry 0) and second (entry 1);
// rows whose bit 1 is clear are filled with 0xCC, the others with 0x33, so
// the top-left cell shows second. Colours are 24-bit, red in the low byte.
void DrawCheckerSwatch(TPixImage &swatch, uint32_t first, uint32_t second);

// rgb (red, green, blue in c, s, w; clipped to 0..1 here) composited over
// base (24-bit, red in the low byte) by alpha: per channel
// b + trunc((v x 255 - b) x alpha). Returns red + 256 green + 65536 blue.
uint32_t BlendOverColour(const KvzaPixel &rgb, uint32_t base, float alpha);

// The wrap-mode caption of a wrap-mode byte: "(Clamp)" .. "(Border)",
// "(unknown)" above 3.
QString WrapModeCaption(uint8_t mode);

class TPixF : public QWidget {
    Q_OBJECT
  public:
    TPixF(PixCloseFn closing, void *main, QWidget *owner);
    ~TPixF() override;

    QLabel *L_LocX = nullptr, *L_LocY = nullptr;
    QLabel *L_WMode = nullptr, *L_HMode = nullptr;
    QLabel *L_ColR = nullptr, *L_ColG = nullptr, *L_ColB = nullptr, *L_ColA = nullptr;
    QLabel *L_ColC = nullptr, *L_ColS = nullptr, *L_ColW = nullptr;
    TPixImage *ImgKVZ = nullptr;
    TPixMarker *CSLoc = nullptr, *WVLoc = nullptr;
    QLabel *L_Back = nullptr;
    // The nine swatches, row by row from above-left to below-right.
    TPixImage *ColLU = nullptr, *ColU = nullptr, *ColRU = nullptr;
    TPixImage *ColL = nullptr, *ColC = nullptr, *ColR = nullptr;
    TPixImage *ColLD = nullptr, *ColD = nullptr, *ColRD = nullptr;

    // Colour shown by L_Back (24-bit, red in the low byte).
    uint32_t BackColour() const { return back_colour_; }

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    friend void UpdatePixInfo(TPixF *win, KvzaImage *image, int32_t x, int32_t y);
    void FormCreate();

    PixCloseFn closing_;
    void *main_;
    uint32_t back_colour_ = 0;
};

// Shows the pixel of image at (x, y) (resolved through the wrap modes) in
// win. Nothing changes without a window or an image.
void UpdatePixInfo(TPixF *win, KvzaImage *image, int32_t x, int32_t y);

// Creates and shows the window (not modal), centred on owner. Closing it by
// its own close box hides it and calls closing(main). Shows
// "out of memory" and returns nullptr when it cannot be made.
TPixF *OpenPixWin(PixCloseFn closing, void *main, QWidget *owner);

}  // namespace kvzaedit
