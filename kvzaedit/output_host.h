// The output plug-in host: asks the writer for its option table, lets the
// user choose in the save dialog and writes the file with a progress dialog.
#pragma once

#include <string>

#include "host_ui.h"
#include "kot.h"
#include "kvza.h"

namespace kvzaedit {

// Saves image to path with the writer library. options holds the previous
// choices on entry (valid != 0) and the confirmed ones on return, with
// valid = 1 after a successful save. Returns 0 when saved, 1 otherwise
// (after a message, except when the dialog was not confirmed). A file that
// path names is replaced only by a complete new one: a failed or cancelled
// save leaves it as it was.
int SaveWithPlugin(const std::string &path, const std::string &library, KvzaImage *image,
                   KotSaveOptions *options, HostUi &ui);

}  // namespace kvzaedit
