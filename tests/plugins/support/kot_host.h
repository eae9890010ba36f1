// Test side of the writer contract, shared by the ICO and TGA writer tests:
// loads a writer plug-in with dlopen as the editor does, builds images and
// save options, reads written files back, and runs ImageMagick as an
// independent decoder.
#pragma once

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image_block.h"
#include "kin_host.h"
#include "kot.h"
#include "kvza.h"

namespace kottest {

using Bytes = std::vector<uint8_t>;

// A writer plug-in loaded from a folder, with its three exports resolved.
class Writer {
  public:
    Writer(const std::string &folder, const std::string &name) {
        const std::string path = folder + "/" + name + ".so";
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            const char *e = dlerror();
            error_ = e != nullptr ? e : "dlopen failed";
            return;
        }
        table = reinterpret_cast<KotGetUsableTblFn>(dlsym(handle_, "kot_getusabletbl"));
        table_img = reinterpret_cast<KotGetUsableTblImgFn>(dlsym(handle_, "kot_getusabletbl_img"));
        save = reinterpret_cast<KotSaveFn>(dlsym(handle_, "kot_save"));
        if (!ok()) error_ = "an export is missing in " + path;
    }
    ~Writer() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    bool ok() const { return table != nullptr && table_img != nullptr && save != nullptr; }
    const std::string &error() const { return error_; }

    KotGetUsableTblFn table = nullptr;
    KotGetUsableTblImgFn table_img = nullptr;
    KotSaveFn save = nullptr;

  private:
    void *handle_ = nullptr;
    std::string error_;
};

// A path in the temporary folder that does not exist yet, unique per process
// and object; the file is removed when the object goes.
class OutPath {
  public:
    explicit OutPath(const std::string &suffix) {
        static std::atomic<int> serial{0};
        path_ = (std::filesystem::temp_directory_path() /
                 ("kot_" + std::to_string(::getpid()) + "_" + std::to_string(serial++) + suffix))
                    .string();
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    ~OutPath() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    OutPath(const OutPath &) = delete;
    OutPath &operator=(const OutPath &) = delete;

    const char *c_str() const { return path_.c_str(); }
    const std::string &str() const { return path_; }
    bool exists() const { return std::filesystem::exists(path_); }
    Bytes bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void write(const std::string &content) const {
        std::ofstream(path_, std::ios::binary) << content;
    }

  private:
    std::string path_;
};

// Save options: type, switches, track 0 (dither) and track 1.
inline KotSaveOptions options(int16_t type, uint16_t switches = 0, int16_t dither = 0,
                              int16_t track1 = 128) {
    KotSaveOptions o{};
    o.type = type;
    o.switches = switches;
    o.valid = 1;
    o.track[0] = dither;
    o.track[1] = track1;
    return o;
}

// Switch bits of the BMP/ICO option table.
inline constexpr uint16_t kMerge = 1u << 0;
inline constexpr uint16_t kThreshold = 1u << 1;
inline constexpr uint16_t kAlphaDither = 1u << 2;

// An 8-bit colour with alpha, as an opened file would hold it.
struct Rgba8 {
    int r, g, b;
    float a = 1.0f;
};

// The KVZA pixel of an 8-bit colour: each byte times the float nearest 1/255,
// through the library's colour model, alpha as given.
inline KvzaPixel pixel_of(const Rgba8 &c) {
    return kintest::kvz8(c.r, c.g, c.b, c.a);
}

// A width x height image whose pixel (x, y) is colour(x, y).
inline kvzatest::ImagePtr image_of(int width, int height,
                                   const std::function<KvzaPixel(int, int)> &colour) {
    auto image = kvzatest::make_image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) kvzatest::at(image.get(), x, y) = colour(x, y);
    return image;
}

// Little-endian fields of a file.
inline uint32_t le16(const Bytes &b, size_t at) {
    return at + 2 <= b.size() ? static_cast<uint32_t>(b[at] | b[at + 1] << 8) : 0xffffffffu;
}
inline uint32_t le32(const Bytes &b, size_t at) {
    return at + 4 <= b.size() ? le16(b, at) | le16(b, at + 2) << 16 : 0xffffffffu;
}
inline void put16(Bytes &b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes &b, uint32_t v) {
    put16(b, v);
    put16(b, v >> 16);
}
inline Bytes slice(const Bytes &b, size_t at, size_t n) {
    if (at > b.size()) return {};
    n = std::min(n, b.size() - at);
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at),
                 b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

// Top-left 8 x 8 block of the library's default ordered-dither table: a
// dithered value with fraction f (0..255) at full strength steps up where
// f is greater than the block's byte at (x mod 8, y mod 8).
inline constexpr uint8_t kDitherBlock[8][8] = {
    {7, 231, 52, 203, 11, 248, 55, 199},  {173, 115, 190, 87, 146, 81, 180, 103},
    {40, 196, 20, 221, 33, 229, 26, 242}, {158, 82, 160, 126, 130, 100, 149, 85},
    {9, 240, 61, 227, 0, 234, 48, 204},   {169, 69, 182, 107, 155, 112, 185, 77},
    {47, 200, 29, 246, 43, 209, 31, 251}, {136, 119, 141, 89, 132, 64, 167, 124},
};

// ------------------------------------------------------------ ImageMagick

// True when an executable "convert" is on the search path.
inline bool have_convert() {
    const char *path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/convert";
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Standard output of a shell command, or nothing when it fails.
inline std::optional<Bytes> command_output(const std::string &command) {
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    Bytes out;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    const int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return out;
}

// True when Debian's Python has its imaging library (the python3 first on the
// search path may be another build).
inline bool have_pil() {
    return ::access("/usr/bin/python3", X_OK) == 0 &&
           std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
}

// RGBA bytes, top row first, as Python's imaging library decodes a file (16-bit
// grey scaled down to a byte by dropping its low byte); nothing when it refuses
// the file.
inline std::optional<Bytes> pil_rgba8(const std::string &path) {
    return command_output(
        "/usr/bin/python3 -c \"import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
        "if im.mode.startswith('I'):\n"
        "    im = Image.frombytes('L', im.size, bytes(v >> 8 for v in im.getdata()))\n"
        "sys.stdout.buffer.write(im.convert('RGBA').tobytes())\" '" +
        path + "' 2>/dev/null");
}

// Decodes a file with ImageMagick into 8-bit RGBA, rows from the top.
// `format` names the decoder ("ico", "tga"); TGA files are turned by their
// stored orientation (-auto-orient) so that row 0 is the top row. Returns
// nothing when convert fails.
inline std::optional<Bytes> magick_rgba(const std::string &format, const std::string &path) {
    std::string command = "convert '" + format + ":" + path + "'";
    if (format == "tga") command += " -auto-orient";
    command += " -depth 8 rgba:- 2>/dev/null";
    return command_output(command);
}

}  // namespace kottest

// Skips the test when ImageMagick is not installed.
#define KOT_REQUIRE_CONVERT()                                                           \
    do {                                                                                \
        if (!::kottest::have_convert()) GTEST_SKIP() << "ImageMagick (convert) absent"; \
    } while (0)
