// TMainF: further instances of the program (new, duplicate, dropped files)
// and the image handed over by a parent instance.
#include "F_main.h"

namespace kvzaedit {

void TMainF::ReceiveFromParent() {
    // Nothing is taken from standard input yet; the window stays empty.
}

int TMainF::SendToNewInstance(const KvzaImage * /*image*/) { return 1; }

void TMainF::A_NewExecute() {}
void TMainF::A_ForkExecute() {}

}  // namespace kvzaedit
