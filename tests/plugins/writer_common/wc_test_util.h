// Helpers of the writer-helper tests: temporary files, pixels, progress logs.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "image_block.h"
#include "kot.h"
#include "kvza.h"

namespace wctest {

// Top-left 8 x 8 block of the library's default ordered-dither table.
inline constexpr uint8_t kDitherBlock[8][8] = {
    {7, 231, 52, 203, 11, 248, 55, 199},  {173, 115, 190, 87, 146, 81, 180, 103},
    {40, 196, 20, 221, 33, 229, 26, 242}, {158, 82, 160, 126, 130, 100, 149, 85},
    {9, 240, 61, 227, 0, 234, 48, 204},   {169, 69, 182, 107, 155, 112, 185, 77},
    {47, 200, 29, 246, 43, 209, 31, 251}, {136, 119, 141, 89, 132, 64, 167, 124},
};

// A path in the temporary folder, unique per process and name; removed on destruction.
class TempPath {
  public:
    explicit TempPath(const std::string &name) {
        path_ = (std::filesystem::temp_directory_path() /
                 ("kvza_wc_" + std::to_string(::getpid()) + "_" + name))
                    .string();
        std::filesystem::remove(path_);
    }
    ~TempPath() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    const char *c_str() const { return path_.c_str(); }
    bool exists() const { return std::filesystem::exists(path_); }
    std::vector<uint8_t> bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::string path_;
};

// Pixel from RGBA through the library's colour model.
inline KvzaPixel from_rgba(float r, float g, float b, float a) {
    KvzaPixel rgba{r, g, b, a};
    KvzaPixel out{};
    kvza_rgba2kvza(&out, &rgba);
    return out;
}

// Grey pixel of whiteness w (c = s = 0).
inline KvzaPixel grey(float w, float a = 1.0f) {
    return KvzaPixel{0.0f, 0.0f, w, a};
}

// Records every progress call; asks to stop on call number `stop_at` (1-based).
struct ProgressLog {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    int stop_at = 0;
    KvzaProgress record{};

    ProgressLog() {
        record.callback = &ProgressLog::callback;
        record.userdata = this;
        record.interval = 0;
    }
    static int32_t callback(void *userdata, uint32_t done, uint32_t total) {
        auto *log = static_cast<ProgressLog *>(userdata);
        log->calls.emplace_back(done, total);
        return static_cast<int>(log->calls.size()) == log->stop_at ? 1 : 0;
    }
};

// Save options with the given type, switches and tracks 0 and 1.
inline KotSaveOptions options(int16_t type, uint16_t switches, int16_t dither,
                              int16_t track1 = 128) {
    KotSaveOptions o{};
    o.type = type;
    o.switches = switches;
    o.valid = 1;
    o.track[0] = dither;
    o.track[1] = track1;
    return o;
}

// Little-endian bytes of a word.
inline void append_le(std::vector<uint8_t> &out, uint32_t word, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(word >> (8 * i)));
}

}  // namespace wctest
