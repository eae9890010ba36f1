// TMainF: the commands of the resize, wrap-mode and colour-reduction dialogs.
#include "F_main.h"
#include "F_reduce.h"
#include "F_size.h"
#include "F_wrap.h"

namespace kvzaedit {

void TMainF::A_SizeExecute() {
    if (CurImg == nullptr) return;
    if (RunSizeDialog(static_cast<uint32_t>(CurImg->width), static_cast<uint32_t>(CurImg->height),
                      &TMainF::ResizeToCb, this) == 0)
        Modified = 1;
}

void TMainF::A_WrapModeExecute() {
    if (CurImg == nullptr) return;
    // The bytes are changed in place; every later pixel access follows them.
    if (RunWrapDialog(&CurImg->wrapx, &CurImg->wrapy, this) == 0) Modified = 1;
}

void TMainF::A_ReduceExecute() {
    if (CurImg == nullptr) return;
    if (RunReduceDialog(&TMainF::ReduceColoursCb, this) == 0) Modified = 1;
}

}  // namespace kvzaedit
