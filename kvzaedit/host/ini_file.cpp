#include "ini_file.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "safe_replace.h"

namespace kvzaedit {

namespace {

// Values are read into a buffer of this many bytes, terminator included.
constexpr size_t kValueBuffer = 4096;

std::string g_ini_path;
std::string g_seed_path;      // read while g_ini_path does not exist
bool g_make_folders = false;  // the first write creates g_ini_path's folders

// The file as lines without their '\n'. A line keeps a trailing '\r' so
// that lines left alone are written back byte for byte.
struct IniLines {
    std::vector<std::string> lines;
    bool crlf = false;  // the file ends its lines with "\r\n"
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// Reads the whole file; false when it cannot be opened or read.
bool LoadPath(const std::string &path, IniLines &out) {
    if (path.empty()) return false;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::string content;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return false;

    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        out.lines.emplace_back(content, start, end - start);
        start = end + 1;
    }
    out.crlf = !out.lines.empty() && !out.lines.front().empty() && out.lines.front().back() == '\r';
    return true;
}

// The settings as they stand: the file, or the seed while the file is not
// there yet.
bool LoadSettings(IniLines &out) {
    if (LoadPath(g_ini_path, out)) return true;
    if (g_seed_path.empty() || (errno != ENOENT && !g_ini_path.empty())) return false;
    out = IniLines{};
    return LoadPath(g_seed_path, out);
}

// Creates the missing folders above path, each with mode 0700.
void MakeFolders(const std::string &path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string dir = path.substr(0, slash);
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

// Writes the lines back, each ended by '\n', through a temporary file that
// replaces the old one only once complete. Failures are passed over; a new
// file that could not be written completely is removed again.
void StoreFile(const std::string &path, const IniLines &ini) {
    if (path.empty()) return;
    std::string content;
    for (const std::string &line : ini.lines) {
        content += line;
        content += '\n';
    }
    if (g_make_folders) MakeFolders(path);
    struct stat st;
    const bool existed = stat(path.c_str(), &st) == 0;
    SafeReplace replace(path);
    std::FILE *file = std::fopen(replace.WritePath().c_str(), "wb");
    if (file == nullptr) return;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    if (std::fclose(file) == 0 && written && replace.Commit()) return;
    replace.Abandon();
    if (!existed) unlink(path.c_str());
}

// Name of the section a line opens, or false when the line is no header.
bool SectionHeader(const std::string &line, std::string_view &name) {
    std::string_view text = Trim(line);
    if (text.empty() || text.front() != '[') return false;
    text.remove_prefix(1);
    const size_t close = text.find(']');
    if (close != std::string_view::npos) text = text.substr(0, close);
    name = Trim(text);
    return true;
}

// Splits a key line into key and raw value; false for blank lines, comments
// and lines without '='.
bool KeyLine(const std::string &line, std::string_view &key, std::string_view &value) {
    const std::string_view text = Trim(line);
    if (text.empty() || text.front() == ';' || text.front() == '[') return false;
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(text.substr(0, eq));
    value = text.substr(eq + 1);
    return true;
}

// Lines [first, end) are the body of the first section named section.
// Returns false when there is no such section.
bool FindSection(const IniLines &ini, const std::string &section, size_t &header, size_t &end) {
    std::string_view name;
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        if (!SectionHeader(ini.lines[i], name) || !SameName(name, Trim(section))) continue;
        header = i;
        end = i + 1;
        while (end < ini.lines.size() && !SectionHeader(ini.lines[end], name)) ++end;
        return true;
    }
    return false;
}

// Index of the key's line within lines (header, end), or end.
size_t FindKey(const IniLines &ini, size_t header, size_t end, const std::string &key) {
    std::string_view name, value;
    for (size_t i = header + 1; i < end; ++i) {
        if (KeyLine(ini.lines[i], name, value) && SameName(name, Trim(key))) return i;
    }
    return end;
}

// What the profile API hands back for a stored value: surrounding blanks
// removed, one pair of enclosing quotes removed, cut to the buffer.
std::string CookValue(std::string_view raw) {
    std::string_view value = Trim(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kValueBuffer - 1) value = value.substr(0, kValueBuffer - 1);
    return std::string(value);
}

// The default as the profile API returns it: trailing blanks stripped, cut
// to the buffer.
std::string CookDefault(const std::string &def) {
    std::string_view value = def;
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.size() > kValueBuffer - 1) value = value.substr(0, kValueBuffer - 1);
    return std::string(value);
}

std::string GetProfileString(const std::string &section, const std::string &key,
                             const std::string &def) {
    IniLines ini;
    if (!LoadSettings(ini)) return CookDefault(def);
    size_t header = 0, end = 0;
    if (!FindSection(ini, section, header, end)) return CookDefault(def);
    const size_t at = FindKey(ini, header, end, key);
    if (at == end) return CookDefault(def);
    std::string_view name, value;
    KeyLine(ini.lines[at], name, value);
    return CookValue(value);
}

}  // namespace

void SetIniPath(const std::string &path) {
    g_ini_path = path;
    g_seed_path.clear();
    g_make_folders = false;
}

const std::string &IniPath() {
    return g_ini_path;
}

void SetUserIniPath(const std::string &path, const std::string &seed) {
    g_ini_path = path;
    g_seed_path = seed;
    g_make_folders = true;
}

const std::string &IniSeedPath() {
    return g_seed_path;
}

std::string ReadIniString(const std::string &section, const std::string &key,
                          const std::string &def) {
    std::string value = GetProfileString(section, key, def);
    WriteIniString(section, key, value);
    return value;
}

void WriteIniString(const std::string &section, const std::string &key, const std::string &text) {
    // A line break inside the value would split the line and corrupt the
    // file's structure; the value ends there.
    const std::string value = text.substr(0, text.find_first_of("\r\n"));

    IniLines ini;
    if (!LoadSettings(ini)) ini = IniLines{};
    const std::string eol = ini.crlf ? "\r" : "";

    size_t header = 0, end = 0;
    if (FindSection(ini, section, header, end)) {
        const size_t at = FindKey(ini, header, end, key);
        if (at < end) {
            // Keep the key as it is spelled in the file; replace the value.
            std::string_view name, old_value;
            KeyLine(ini.lines[at], name, old_value);
            std::string line = std::string(name) + "=" + value + eol;
            if (line == ini.lines[at]) return;  // nothing changes
            ini.lines[at] = std::move(line);
        } else {
            // New key after the section's last non-blank line.
            size_t insert = end;
            while (insert > header + 1 && Trim(ini.lines[insert - 1]).empty()) --insert;
            ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(insert),
                             key + "=" + value + eol);
        }
    } else {
        ini.lines.push_back("[" + section + "]" + eol);
        ini.lines.push_back(key + "=" + value + eol);
    }
    StoreFile(g_ini_path, ini);
}

uint32_t ReadIniHex(const std::string &section, const std::string &key, uint32_t def, int digits) {
    if (digits < 0) digits = 0;
    if (digits > 64) digits = 64;
    char text[80];
    std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(def));
    const std::string value = ReadIniString(section, key, text);
    unsigned number = 0;
    if (std::sscanf(value.c_str(), "%x", &number) != 1) return def;
    return number;
}

void WriteIniHex(const std::string &section, const std::string &key, uint32_t value, int digits) {
    if (digits < 0) digits = 0;
    if (digits > 64) digits = 64;
    char text[80];
    std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
    WriteIniString(section, key, text);
}

}  // namespace kvzaedit
