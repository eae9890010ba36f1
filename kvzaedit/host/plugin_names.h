// Plug-in library names that the program derives without the settings file:
// the default name of the reader or writer for an extension, and the reader
// a file's first bytes point to when the reader its extension names refuses
// it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvzaedit {

enum class PluginDir { Input, Output };

// "kin<ext>.so" (Input) or "kot<ext>.so" (Output), the extension folded to
// lower case.
std::string DefaultPluginName(PluginDir dir, const std::string &ext);

// The extension a default plug-in name stands for, or empty when name is no
// default name (capitals never are, and the wide reader stands for none).
std::string DefaultNameExtension(PluginDir dir, const std::string &name);

// The reader of the later BMP, ICO/CUR and TGA forms, named by no extension.
inline constexpr char kWideReaderName[] = "kinwide.so";

// The kind of reader a file's first bytes ask for.
enum class SignatureReader { None, Png, Jpeg, Wide };

// Bytes of the file's start that ReaderBySignature looks at (a TGA header).
inline constexpr size_t kSignatureBytes = 18;

// The reader named by the first length bytes of a file (fewer than
// kSignatureBytes when the file is shorter).
SignatureReader ReaderBySignature(const uint8_t *head, size_t length);

// The extension whose reader opens files of that kind ("png", "jpg"), or
// empty for a reader that no extension names.
std::string SignatureExtension(SignatureReader reader);

}  // namespace kvzaedit
