// What the plug-in hosts need from a front end: message boxes, the save
// dialog and the progress dialog. The hosts are free of any toolkit; the main
// window (or a batch front end, or a test) implements this interface.
#pragma once

#include <string>

#include "kot.h"
#include "kvza.h"

namespace kvzaedit {

struct HostUi {
    virtual ~HostUi() = default;
    virtual void ErrorBox(const std::string &text) = 0;
    // Runs the save dialog on the table copy; 0 confirmed, 1 otherwise.
    virtual int RunSaveDialog(const KotUsableTable *table, KotSaveOptions *options) = 0;
    // Opens the progress dialog (Cancel enabled, interval 100); its record or nullptr.
    virtual KvzaProgress *OpenProgress() = 0;
    // Releases the progress dialog opened by OpenProgress (no-op if none).
    virtual void CloseProgress() = 0;
};

}  // namespace kvzaedit
