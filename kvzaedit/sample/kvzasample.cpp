// kvzasample PATH: writes the editor's sample picture to PATH as a 32-bit
// TGA with its alpha channel, through the TGA writer plug-in that lies beside
// this program. run.sh uses it to give the editor something to show.
#include <cstdio>

#include "dynlib.h"
#include "image_alloc.h"
#include "kot.h"
#include "sample_image.h"

namespace {

// The TGA writer's layout "BGR 24bit(+8bit alpha)": every level of the
// sample's alpha survives.
constexpr int16_t kTga32 = 21;

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kvzasample PATH.tga\n");
        return 2;
    }
    kvzaedit::DynLib writer;
    auto *save =
        writer.open("kottga.so") ? reinterpret_cast<KotSaveFn>(writer.sym("kot_save")) : nullptr;
    if (save == nullptr) {
        std::fprintf(stderr, "kvzasample: cannot load kot_save from kottga.so\n");
        return 1;
    }
    KvzaImage *image = kvzaedit::MakeSampleImage();
    if (image == nullptr) {
        std::fprintf(stderr, "kvzasample: out of memory\n");
        return 1;
    }
    KotSaveOptions options{};
    options.type = kTga32;
    options.valid = 1;
    const int32_t status = save(image, argv[1], &options, nullptr);
    kvzaedit::ReleaseImage(image);
    if (status != KOT_OK) {
        std::fprintf(stderr, "kvzasample: cannot write %s (status %d)\n", argv[1], status);
        return 1;
    }
    return 0;
}
