// The input plug-in host: chooses the reader library for a file and loads
// the file through it, either by the reader contract (kin_imgs, kin_pixs,
// kin_load) or by the foreign reader table (GetPluginInfo, IsSupported,
// GetPictureInfo, GetPicture). A file the reader refuses gets one more try
// with the reader its first bytes point to.
#pragma once

#include <string>

#include "host_ui.h"
#include "kvza.h"
#include "plugin_names.h"

namespace kvzaedit {

// The library for a file: the settings entry named by the file's extension
// (as typed) in section InPlug (Input) or OutPlug (Output), by default
// "kin<ext>.so" / "kot<ext>.so" with the extension in lower case. Empty when
// the file name has no extension; the settings file is then left alone.
std::string PluginLibraryName(PluginDir dir, const std::string &file_name);

// Loads file_name through library. When that reader refuses the file and the
// file's first bytes name a format another reader opens, that reader is tried
// once. Returns a new image (release it with ReleaseImage), or nullptr after
// a message through ui: "file not found" for a file that cannot be opened,
// else the reader's own message, "bad file format" when it has none.
KvzaImage *LoadImageFile(const std::string &file_name, const std::string &library, HostUi &ui);

}  // namespace kvzaedit
