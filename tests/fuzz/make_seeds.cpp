// Writes the sample files of every reader variant as the fuzzing seed corpus.
// Usage: kin_seeds BMP_FOLDER TGA_FOLDER PNG_FOLDER
#include <cstdio>
#include <string>

#include "kin_samples.h"
#include "png_samples.h"

namespace {

bool write_all(const std::string &folder, const std::vector<kintest::Sample> &samples,
               const char *extension) {
    for (const kintest::Sample &s : samples) {
        const std::string path = folder + "/" + s.name + extension;
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return false;
        }
        const bool ok = std::fwrite(s.bytes.data(), 1, s.bytes.size(), f) == s.bytes.size();
        if (std::fclose(f) != 0 || !ok) return false;
    }
    std::printf("%zu seeds in %s\n", samples.size(), folder.c_str());
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s BMP_FOLDER TGA_FOLDER PNG_FOLDER\n", argv[0]);
        return 2;
    }
    return write_all(argv[1], kintest::bmp_samples(), ".bmp") &&
                   write_all(argv[2], kintest::tga_samples(), ".tga") &&
                   write_all(argv[3], pngtest::png_samples(), ".png")
               ? 0
               : 1;
}
