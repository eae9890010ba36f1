// Where the settings file lies. A program run from a folder it may write to
// (the build folder, an unpacked copy) keeps KVZAEDIT.INI beside itself. An
// installed copy (a folder the user may not write to, or the private folder
// <prefix>/lib/kvzaedit of an installation, which even root must not fill
// with settings) keeps one file per user under the XDG configuration folder,
// started from the KVZAEDIT.INI beside the program when there is one.
#pragma once

#include <string>

namespace kvzaedit {

// The settings file's name, beside the program and in the user's folder.
inline constexpr char kIniName[] = "KVZAEDIT.INI";

// True when the program in program_dir is an installed copy: that folder is
// not writable, or it is an installation's private folder ".../lib/kvzaedit".
bool IsInstalledCopy(const std::string &program_dir);

// The user's configuration folder: xdg_config_home when it is an absolute
// path, else home + "/.config"; empty when neither is usable. Either
// argument may be null (the variable is not set).
std::string UserConfigHome(const char *xdg_config_home, const char *home);

struct SettingsPlace {
    std::string path;  // the file read and written
    std::string seed;  // read while path does not exist; empty: none
    bool per_user = false;
};

// The settings file of a program in program_dir: beside it unless installed;
// then config_home + "/kvzaedit/KVZAEDIT.INI", seeded from the file beside
// the program (no file at all when config_home is empty: defaults, and reads
// still see the file beside the program).
SettingsPlace ChooseSettingsPlace(const std::string &program_dir, bool installed,
                                  const std::string &config_home);

// Points the settings file (ini_file.h) at the place of a program in
// program_dir, from the environment ($XDG_CONFIG_HOME, $HOME, the password
// database).
void UseProgramSettings(const std::string &program_dir);

}  // namespace kvzaedit
