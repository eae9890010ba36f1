// kvzasample PATH: writes the editor's sample picture to PATH (.png or .tga)
// with its alpha channel, through the writer plug-in for that extension that
// lies beside this program. run.sh uses it to give the editor something to show.
#include <cctype>
#include <cstdio>
#include <string>

#include "dynlib.h"
#include "image_alloc.h"
#include "kot.h"
#include "sample_image.h"

namespace {

// The layout "RGB 24bit(+8bit alpha)", which both writers offer: every level
// of the sample's alpha survives.
constexpr int16_t kRgba32 = 21;

// The writer for the path's extension: "kotpng.so" or "kottga.so"; empty otherwise.
std::string writer_for(const std::string &path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = path.substr(dot + 1);
    for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "png" || ext == "tga" ? "kot" + ext + ".so" : std::string();
}

}  // namespace

int main(int argc, char **argv) {
    const std::string library = argc == 2 ? writer_for(argv[1]) : std::string();
    if (library.empty()) {
        std::fprintf(stderr, "usage: kvzasample PATH.png|PATH.tga\n");
        return 2;
    }
    kvzaedit::DynLib writer;
    auto *save =
        writer.open(library) ? reinterpret_cast<KotSaveFn>(writer.sym("kot_save")) : nullptr;
    if (save == nullptr) {
        std::fprintf(stderr, "kvzasample: cannot load kot_save from %s\n", library.c_str());
        return 1;
    }
    KvzaImage *image = kvzaedit::MakeSampleImage();
    if (image == nullptr) {
        std::fprintf(stderr, "kvzasample: out of memory\n");
        return 1;
    }
    KotSaveOptions options{};
    options.type = kRgba32;
    options.valid = 1;
    const int32_t status = save(image, argv[1], &options, nullptr);
    kvzaedit::ReleaseImage(image);
    if (status != KOT_OK) {
        std::fprintf(stderr, "kvzasample: cannot write %s (status %d)\n", argv[1], status);
        return 1;
    }
    return 0;
}
