// Test side of the reader contract: loads a reader plug-in with dlopen, as
// the editor does, and runs its exports on byte strings written to files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_block.h"
#include "kin.h"

namespace kintest {

// A reader plug-in loaded from a folder, with its three exports resolved.
class Reader {
  public:
    Reader(const std::string &folder, const std::string &name);
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    bool ok() const { return imgs != nullptr && pixs != nullptr && load != nullptr; }
    const std::string &error() const { return error_; }

    KinImgsFunc imgs = nullptr;
    KinPixsFunc pixs = nullptr;
    KinLoadFunc load = nullptr;

  private:
    void *handle_ = nullptr;
    std::string error_;
};

// A file holding the given bytes, removed when the object goes.
class TempFile {
  public:
    explicit TempFile(const std::vector<uint8_t> &bytes);
    ~TempFile();
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    const char *path() const { return path_.c_str(); }
    // Replaces the content.
    void write(const std::vector<uint8_t> &bytes) const;

  private:
    std::string path_;
};

// What the host's open sequence gives for one file.
struct Opened {
    int32_t pixels = 0;  // kin_pixs
    int32_t width = 0;
    int32_t height = 0;
    int32_t status = -1;  // kin_load; -1 when kin_pixs refused the file
    kvzatest::ImagePtr image;
};

// kin_pixs, then an image of the reported size cleared to (0, 0, 0, 0), then
// kin_load with the given progress record.
Opened open(const Reader &reader, const char *path, int32_t offset = 0,
            KvzaProgress *progress = nullptr);
Opened open(const Reader &reader, const std::vector<uint8_t> &bytes, int32_t offset = 0,
            KvzaProgress *progress = nullptr);

// kin_load into an image of the given size (zero-filled, wrap modes as given).
int32_t load_into(const Reader &reader, const std::vector<uint8_t> &bytes, int32_t width,
                  int32_t height, kvzatest::ImagePtr &image, int32_t offset = 0,
                  uint8_t wrap = KVZA_WRAP_CLAMP, KvzaProgress *progress = nullptr);

// The KVZ form of an RGB triple with the given alpha, through the library.
KvzaPixel kvz(float r, float g, float b, float a = 1.0f);
// The KVZ form of 8-bit red, green, blue.
KvzaPixel kvz8(int r, int g, int b, float a = 1.0f);

// A progress callback that records every call, and can ask to stop.
struct ProgressLog {
    uint32_t stop_at_call = 0;                         // 0: never stop; n: nonzero answer at call n
    std::vector<std::pair<uint32_t, uint32_t>> calls;  // (done, total)
    static int32_t callback(void *userdata, uint32_t done, uint32_t total);
    KvzaProgress record(uint32_t interval = 0);
};

}  // namespace kintest
