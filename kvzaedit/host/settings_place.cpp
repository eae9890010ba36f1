#include "settings_place.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "ini_file.h"

namespace kvzaedit {

namespace {

// The private folder an installation puts the programs and plug-ins in,
// relative to its prefix (see packaging/CMakeLists.txt).
constexpr std::string_view kPrivateFolder = "/lib/kvzaedit";

std::string JoinPath(const std::string &dir, std::string_view name) {
    if (dir.empty()) return std::string(name);
    std::string path = dir;
    if (path.back() != '/') path += '/';
    path += name;
    return path;
}

}  // namespace

bool IsInstalledCopy(const std::string &program_dir) {
    std::string_view dir = program_dir;
    while (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
    if (dir.size() >= kPrivateFolder.size() &&
        dir.substr(dir.size() - kPrivateFolder.size()) == kPrivateFolder)
        return true;
    return access(program_dir.empty() ? "." : program_dir.c_str(), W_OK) != 0;
}

std::string UserConfigHome(const char *xdg_config_home, const char *home) {
    // Relative paths in the XDG variables are to be ignored.
    if (xdg_config_home != nullptr && xdg_config_home[0] == '/') return xdg_config_home;
    if (home != nullptr && home[0] == '/') return JoinPath(home, ".config");
    return std::string();
}

SettingsPlace ChooseSettingsPlace(const std::string &program_dir, bool installed,
                                  const std::string &config_home) {
    const std::string beside = JoinPath(program_dir, kIniName);
    if (!installed) return SettingsPlace{beside, std::string(), false};
    if (config_home.empty()) return SettingsPlace{std::string(), beside, true};
    return SettingsPlace{JoinPath(JoinPath(config_home, "kvzaedit"), kIniName), beside, true};
}

void UseProgramSettings(const std::string &program_dir) {
    const bool installed = IsInstalledCopy(program_dir);
    std::string config_home;
    if (installed) {
        const char *home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const passwd *user = getpwuid(getuid());
            home = user != nullptr ? user->pw_dir : nullptr;
        }
        config_home = UserConfigHome(std::getenv("XDG_CONFIG_HOME"), home);
    }
    const SettingsPlace place = ChooseSettingsPlace(program_dir, installed, config_home);
    if (place.per_user)
        SetUserIniPath(place.path, place.seed);
    else
        SetIniPath(place.path);
}

}  // namespace kvzaedit
