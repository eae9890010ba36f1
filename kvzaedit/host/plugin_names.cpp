#include "plugin_names.h"

#include <cstring>

namespace kvzaedit {

namespace {

const char kSuffix[] = ".so";

const char *Prefix(PluginDir dir) {
    return dir == PluginDir::Input ? "kin" : "kot";
}

uint16_t Le16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A TGA file has no signature; its 18-byte header is taken as one when every
// field holds a value some TGA file can have.
bool CouldBeTgaHeader(const uint8_t *h, size_t length) {
    if (length < kSignatureBytes) return false;
    const uint8_t map_type = h[1];
    const uint8_t image_type = h[2];
    if (map_type > 1) return false;
    const uint8_t base = image_type & ~8u;  // run-length types are 9, 10, 11
    if (image_type > 11 || base < 1 || base > 3) return false;
    if (base == 1 && map_type != 1) return false;
    if (map_type == 1) {
        const uint8_t entry_bits = h[7];
        if (entry_bits != 15 && entry_bits != 16 && entry_bits != 24 && entry_bits != 32)
            return false;
    }
    if (Le16(h + 12) == 0 || Le16(h + 14) == 0) return false;
    const uint8_t depth = h[16];
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

}  // namespace

std::string DefaultPluginName(PluginDir dir, const std::string &ext) {
    std::string lower = ext;
    for (char &c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return Prefix(dir) + lower + kSuffix;
}

std::string DefaultNameExtension(PluginDir dir, const std::string &name) {
    const std::string prefix = Prefix(dir);
    const size_t suffix = std::strlen(kSuffix);
    if (name == kWideReaderName || name.size() <= prefix.size() + suffix ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0)
        return {};
    const std::string ext = name.substr(prefix.size(), name.size() - prefix.size() - suffix);
    for (char c : ext) {
        if ((c < 'a' || c > 'z') && (c < '0' || c > '9')) return {};
    }
    return ext;
}

SignatureReader ReaderBySignature(const uint8_t *head, size_t length) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (length >= sizeof kPng && std::memcmp(head, kPng, sizeof kPng) == 0)
        return SignatureReader::Png;
    if (length >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return SignatureReader::Jpeg;
    if (length >= 2 && head[0] == 'B' && head[1] == 'M') return SignatureReader::Wide;
    // An icon (type 1) or cursor (type 2) directory.
    if (length >= 4 && Le16(head) == 0 && (Le16(head + 2) == 1 || Le16(head + 2) == 2))
        return SignatureReader::Wide;
    if (CouldBeTgaHeader(head, length)) return SignatureReader::Wide;
    return SignatureReader::None;
}

std::string SignatureExtension(SignatureReader reader) {
    switch (reader) {
        case SignatureReader::Png:
            return "png";
        case SignatureReader::Jpeg:
            return "jpg";
        default:
            return {};
    }
}

}  // namespace kvzaedit
