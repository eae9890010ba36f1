// document.h - one document: its image, the undo and redo history of
// whole-image snapshots, and the edits that run on it. Free of any toolkit:
// the editor's window and the command-line converter share it. Messages and
// progress go through the front end's HostUi.
#pragma once

#include <cstdint>

#include "host_ui.h"
#include "kot.h"
#include "kvza.h"

namespace kvzaedit {

// Resampling modes of ResizeTo, in the order of the size dialog.
enum class ResampleMode : int32_t { Near = 0, Line = 1, Slant = 2, Arc = 3, Shape = 4 };

// The reference colour of TransparentizeRef: a corner pixel, or any point
// (resolved through the image's wrap modes).
enum class RefPoint : int32_t {
    AnyPoint = 0,
    TopLeft = 1,
    TopRight = 2,
    BottomLeft = 3,
    BottomRight = 4,
};

// How far a pixel may lie from the reference in each measure and still turn
// transparent.
struct Tolerances {
    float alpha = 0.0f;
    float whiteness = 0.0f;
    float chroma = 0.0f;
    float hue = 0.0f;
};

class Document {
  public:
    explicit Document(HostUi &ui) : ui_(ui) {}
    ~Document() { Close(); }
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    // UndoBuf slots 0..7 are the undo stack (0 = the state before the latest
    // edit), slots 8..15 the redo stack (8 = the state undone last). Each
    // stack is filled from its first slot without gaps, and every image
    // lives in exactly one place: CurImg or one slot.
    KvzaImage *CurImg = nullptr;
    KvzaImage *UndoBuf[16] = {};
    uint8_t Modified = 0;       // unsaved changes
    KotSaveOptions SaveOpts{};  // save settings of the document

    bool CanUndo() const { return UndoBuf[0] != nullptr; }
    bool CanRedo() const { return UndoBuf[8] != nullptr; }

    // ---- history ----
    // Pushes CurImg onto the undo stack (clearing the redo stack) and makes a
    // new width x height CurImg with the old one's header; "out of memory"
    // and KVZA_FAILED when it cannot be made, the document as it was but for
    // the redo stack.
    kvza_status BeginEdit(int32_t width, int32_t height);
    // Copies the pixels of src into dst of the same size ("different image
    // size" otherwise).
    void CopyPrevPixels(KvzaImage *dst, const KvzaImage *src);
    // One step back or forward; false when there is none.
    bool Undo();
    bool Redo();
    void ClearUndo();
    void ClearRedo();
    // Releases the image and the history; the save options keep their type.
    void Close();
    // Makes image (owned from now on) the document's, read with its pixtype.
    void Take(KvzaImage *image);

    // ---- settings of the image (no history step) ----
    // The background the view shows behind transparent pixels.
    void SetViewBackground(uint8_t r, uint8_t g, uint8_t b);
    // The colour outside the image (border wrap mode) and of the border
    // frame: r, g, b in KVZ form with the given alpha.
    void SetBorderColour(uint8_t r, uint8_t g, uint8_t b, float alpha = 0.0f);

    // ---- edits: each a new history step ----
    // Runs an in-place library edit on a copy of the image.
    kvza_status StandardEdit(int32_t (*op)(KvzaImage *));
    kvza_status AdjustOutline();
    kvza_status EdgeAntialias();
    kvza_status GreyMap();
    kvza_status AlphaMap();
    // A one-pixel frame around the image: transparent, repeating the colour
    // of the edge pixel beside it; or in the border colour.
    kvza_status AddTransparentFrame();
    kvza_status AddBorderFrame();
    kvza_status ResizeTo(ResampleMode mode, int32_t width, int32_t height);
    // With the progress dialog; on failure ("failed") or cancel ("canceled")
    // the step is taken back.
    kvza_status ReduceColours(kvza_alpha_mode alpha, uint32_t colours, uint32_t dither);
    // Pixels within the tolerances of the reference turn transparent.
    kvza_status TransparentizeRef(RefPoint reference, int32_t x, int32_t y, const Tolerances &t);

  private:
    kvza_status BeginFrameEdit();

    HostUi &ui_;
};

}  // namespace kvzaedit
