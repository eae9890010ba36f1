// TMainF: text import.
#include "F_main.h"
#include "F_text.h"

namespace kvzaedit {

void TMainF::A_TextInExecute() {
    RunTextDialog(MakeTextImage, this);
}

}  // namespace kvzaedit
