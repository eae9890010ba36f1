// What the plug-in hosts need from a front end: message boxes, the save
// dialog and the progress dialog. The hosts are free of any toolkit; the main
// window (or a batch front end, or a test) implements this interface.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "kot.h"
#include "kvza.h"

namespace kvzaedit {

// What a writer says of some of its layouts (pixel-type id -> hint, UTF-8),
// e.g. that other programs read a layout differently.
using TypeHints = std::map<int16_t, std::string>;

struct HostUi {
    virtual ~HostUi() = default;
    virtual void ErrorBox(const std::string &text) = 0;
    // Runs the save dialog on the table copy, showing the layouts' hints;
    // 0 confirmed, 1 otherwise.
    virtual int RunSaveDialog(const KotUsableTable *table, KotSaveOptions *options,
                              const TypeHints &hints) = 0;
    // Opens the progress dialog (Cancel enabled, interval 100); its record or nullptr.
    virtual KvzaProgress *OpenProgress() = 0;
    // Releases the progress dialog opened by OpenProgress (no-op if none).
    virtual void CloseProgress() = 0;
};

}  // namespace kvzaedit
