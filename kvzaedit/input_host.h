// The input plug-in host: chooses the reader library for a file and loads
// the file through it, either by the reader contract (kin_imgs, kin_pixs,
// kin_load) or by the foreign reader table (GetPluginInfo, IsSupported,
// GetPictureInfo, GetPicture).
#pragma once

#include <string>

#include "host_ui.h"
#include "kvza.h"

namespace kvzaedit {

enum class PluginDir { Input, Output };

// The library for a file: the settings entry named by the file's extension
// (as typed) in section InPlug (Input) or OutPlug (Output), by default
// "kin<ext>.so" / "kot<ext>.so" with the extension in lower case. Empty when
// the file name has no extension; the settings file is then left alone.
std::string PluginLibraryName(PluginDir dir, const std::string &file_name);

// Loads file_name through library. Returns a new image (release it with
// ReleaseImage), or nullptr after a message through ui (or silently when the
// reader says the file holds no image).
KvzaImage *LoadImageFile(const std::string &file_name, const std::string &library, HostUi &ui);

}  // namespace kvzaedit
