// The main window as the front end of the plug-in hosts: message boxes, the
// save dialog and the progress dialog.
#include "F_main.h"
#include "F_prgrs.h"
#include "F_save.h"
#include "msgbox.h"

namespace kvzaedit {

void TMainF::ErrorBox(const std::string &text) {
    kvzaedit::ErrorBox(QString::fromStdString(text));
}

int TMainF::RunSaveDialog(const KotUsableTable *table, KotSaveOptions *options,
                          const TypeHints &hints) {
    return kvzaedit::RunSaveDialog(table, options, this, hints);
}

KvzaProgress *TMainF::OpenProgress() {
    if (Progress != nullptr) return Progress->progress();
    Progress = OpenProgressDialog(0, 100, this);
    if (Progress == nullptr) return nullptr;
    // While the operation runs (the progress callback dispatches events),
    // the main window takes no commands; the dialog itself stays usable.
    setEnabled(false);
    Progress->setEnabled(true);
    return Progress->progress();
}

void TMainF::CloseProgress() {
    if (Progress == nullptr) return;
    delete Progress;
    Progress = nullptr;
    setEnabled(true);
}

}  // namespace kvzaedit
