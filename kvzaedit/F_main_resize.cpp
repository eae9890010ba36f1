// TMainF: the commands of the resize, wrap-mode and colour-reduction dialogs.
#include "F_main.h"

namespace kvzaedit {

void TMainF::A_SizeExecute() {}
void TMainF::A_WrapModeExecute() {}
void TMainF::A_ReduceExecute() {}

}  // namespace kvzaedit
