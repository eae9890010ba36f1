// The palette window: the 256 palette entries of the current image drawn over
// a checkerboard of its background colour, in a 16 x 16 grid.
#pragma once

#include <QRect>
#include <QWidget>
#include <cstdint>

#include "kvza.h"

class QImage;

namespace kvzaedit {

// Closing callback and image getter, both called with the main window.
using PalCloseFn = void (*)(void *main);
using PalImageFn = KvzaImage *(*)(void *main);

// Paints cell (col, row) into canvas over cell, the rectangle
// cell.left() <= x < cell.left() + cell.width(), likewise in y, in canvas
// coordinates (the checkerboard is aligned to the canvas). image is the
// current image or nullptr; selected adds the cell frame. Pixels outside
// the canvas are skipped.
void PalDrawCell(QImage &canvas, const KvzaImage *image, int col, int row, const QRect &cell,
                 bool selected);

// The grid `Pal`: 16 x 16 cells of 12 x 12 pixels with one-pixel grid lines
// on a black background. The current cell is drawn selected and follows
// mouse clicks and the arrow keys.
class TPalGrid : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kCells = 16;
    static constexpr int kCellSize = 12;
    static constexpr int kLineWidth = 1;

    TPalGrid(PalImageFn getter, void *main, QWidget *parent);

    // Rectangle of cell (col, row) in the grid's coordinates.
    static QRect CellRect(int col, int row);
    int col() const { return col_; }
    int row() const { return row_; }
    void setCurrent(int col, int row);
    // The grid as it is drawn now.
    QImage Render() const;

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    PalImageFn getter_;
    void *main_;
    int col_ = 0;
    int row_ = 0;
};

class TPalF : public QWidget {
    Q_OBJECT
  public:
    TPalF(PalCloseFn closing, PalImageFn getter, void *main, QWidget *owner);
    ~TPalF() override;

    // Repaints every cell from the current image.
    void RedrawGrid();

    TPalGrid *Pal = nullptr;

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    PalCloseFn closing_;
    PalImageFn getter_;
    void *main_;
};

// Creates and shows the palette window (not modal), centred on owner.
// Closing it with its own close box calls closing(main). Shows
// "out of memory" and returns nullptr when it cannot be made.
TPalF *OpenPaletteWindow(PalCloseFn closing, PalImageFn getter, void *main, QWidget *owner);

}  // namespace kvzaedit
