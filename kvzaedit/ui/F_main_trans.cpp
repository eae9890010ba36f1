// TMainF: the transparentize command.
#include "F_main.h"
#include "F_trans.h"

namespace kvzaedit {

void TMainF::A_BackTransExecute() {
    if (CurImg == nullptr) return;
    if (RunTransDialog(&TMainF::TransparentizeRefCb, this) == 0) Modified = 1;
}

}  // namespace kvzaedit
