// TMainF: the transparentize command.
#include "F_main.h"

namespace kvzaedit {

void TMainF::A_BackTransExecute() {}

}  // namespace kvzaedit
