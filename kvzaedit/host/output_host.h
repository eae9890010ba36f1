// The output plug-in host: asks the writer for its option table, lets the
// user choose in the save dialog and writes the file with a progress dialog.
// Also lists the formats the program's plug-ins handle, for the file dialogs.
#pragma once

#include <string>
#include <vector>

#include "host_ui.h"
#include "kot.h"
#include "kvza.h"
#include "plugin_names.h"

namespace kvzaedit {

// Saves image to path with the writer library. options holds the previous
// choices on entry (valid != 0) and the confirmed ones on return, with
// valid = 1 after a successful save. Returns 0 when saved, 1 otherwise
// (after a message, except when the dialog was not confirmed). A file that
// path names is replaced only by a complete new one: a failed or cancelled
// save leaves it as it was.
int SaveWithPlugin(const std::string &path, const std::string &library, KvzaImage *image,
                   KotSaveOptions *options, HostUi &ui);

// A file format as the file dialogs show it: an upper-case name and its
// extensions (lower case, no dot).
struct PluginFormat {
    std::string name;
    std::vector<std::string> extensions;
};

// The formats of the readers (Input) or writers (Output) that folder holds
// under their default names, kin<ext>.so / kot<ext>.so, sorted by name. Two
// spellings of one format (jpg and jpeg) that both have a plug-in make one
// format named by the longer spelling.
std::vector<PluginFormat> PluginFormats(PluginDir dir, const std::string &folder);

}  // namespace kvzaedit
