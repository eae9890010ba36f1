// The program's settings file: private-profile INI behaviour without Qt.
//
// Sections and keys match case-insensitively. Writing a key replaces only
// that key's line (adding the section or the key when missing); every other
// line, comment and the order of lines stay as they were. A file that cannot
// be read or written is passed over silently: reads give their defaults.
// Every write goes to a temporary file that is renamed over the old one, so
// a write that stops half-way leaves the old file whole.
#pragma once

#include <cstdint>
#include <string>

namespace kvzaedit {

// Sets / returns the settings file every function below works on.
void SetIniPath(const std::string &path);
const std::string &IniPath();

// A per-user settings file: path, created with its missing folders (mode
// 0700) on the first write. While path does not exist, reads come from seed
// (may be empty), and the first write starts from seed's lines.
void SetUserIniPath(const std::string &path, const std::string &seed);
const std::string &IniSeedPath();

// The value of key in section, trimmed of surrounding spaces and cut to 4095
// bytes, or def when the key is missing. The value obtained is written back,
// so every setting read appears in the file.
std::string ReadIniString(const std::string &section, const std::string &key,
                          const std::string &def);

// Sets key in section to text.
void WriteIniString(const std::string &section, const std::string &key, const std::string &text);

// Reads a hexadecimal value: def, formatted in upper case with at least
// digits digits, is the default of ReadIniString; the text obtained must scan
// as exactly one hexadecimal number, else def is returned.
uint32_t ReadIniHex(const std::string &section, const std::string &key, uint32_t def, int digits);

// Writes value in upper-case hexadecimal with at least digits digits.
void WriteIniHex(const std::string &section, const std::string &key, uint32_t value, int digits);

}  // namespace kvzaedit
