// Shared pieces of the host tests: a front end that records what the hosts
// ask of it, a scratch folder, and file helpers.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_ui.h"
#include "kvza.h"

namespace hoststest {

// Records messages and plays the save and progress dialogs.
struct FakeUi : kvzaedit::HostUi {
    std::vector<std::string> messages;

    // Save dialog: the answer, and the choices it stores when it confirms.
    int dialog_result = 0;
    KotSaveOptions choice{};
    int dialog_calls = 0;
    KotUsableTable seen_table{};
    KotSaveOptions seen_options{};
    kvzaedit::TypeHints seen_hints;

    // Progress dialog.
    bool give_progress = true;
    KvzaProgress progress{};
    int open_calls = 0;
    int close_calls = 0;
    int callbacks = 0;

    FakeUi() {
        progress.callback = &FakeUi::Callback;
        progress.userdata = this;
        progress.interval = 0;
    }

    void ErrorBox(const std::string &text) override { messages.push_back(text); }

    int RunSaveDialog(const KotUsableTable *table, KotSaveOptions *options,
                      const kvzaedit::TypeHints &hints) override {
        ++dialog_calls;
        seen_hints = hints;
        if (table != nullptr) std::memcpy(&seen_table, table, sizeof seen_table);
        if (options != nullptr) seen_options = *options;
        if (dialog_result == 0 && options != nullptr) {
            options->type = choice.type;
            options->switches = choice.switches;
            std::memcpy(options->track, choice.track, sizeof options->track);
        }
        return dialog_result;
    }

    KvzaProgress *OpenProgress() override {
        ++open_calls;
        return give_progress ? &progress : nullptr;
    }

    void CloseProgress() override { ++close_calls; }

    static int32_t Callback(void *userdata, uint32_t, uint32_t) {
        ++static_cast<FakeUi *>(userdata)->callbacks;
        return 0;
    }
};

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kvza_hosts_XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void WriteFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string &path) {
    return std::filesystem::exists(path);
}

// Path of a fake plug-in built for these tests.
inline std::string Fake(const std::string &name) {
    return std::string(HOSTS_FAKE_DIR) + "/" + name + ".so";
}

// Path of a deliverable in the output folder.
inline std::string Deliverable(const std::string &name) {
    return std::string(KVZA_BIN_DIR) + "/" + name;
}

// True while the library at path is loaded in this process.
inline bool IsLoaded(const std::string &path) {
    void *handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

// Little-endian byte helpers for building files.
inline void PutU16(std::string &out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void PutU32(std::string &out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

// KVZ form of the colour (r, g, b) given as bytes, as the hosts compute it:
// each byte times the float nearest 1/255.
inline KvzaPixel KvzOfBytes(int r, int g, int b) {
    const float k = 1.0f / 255.0f;
    KvzaPixel rgb = {static_cast<float>(r) * k, static_cast<float>(g) * k,
                     static_cast<float>(b) * k, 1.0f};
    KvzaPixel out;
    kvza_rgb2kvz(&out, &rgb);
    out.a = 1.0f;
    return out;
}

// The bytes of a KVZ pixel's colour, rounded.
struct Rgb {
    int r, g, b;
};
inline Rgb RgbOf(const KvzaPixel &p) {
    KvzaPixel rgb;
    kvza_kvz2rgb(&rgb, &p);
    auto byte = [](float v) {
        const int b = static_cast<int>(v * 255.0f + 0.5f);
        return b < 0 ? 0 : b > 255 ? 255 : b;
    };
    return Rgb{byte(rgb.c), byte(rgb.s), byte(rgb.w)};
}

}  // namespace hoststest
