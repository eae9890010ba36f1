// TMainF: text import.
#include "F_main.h"

namespace kvzaedit {

void TMainF::A_TextInExecute() {}

}  // namespace kvzaedit
