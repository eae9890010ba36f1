// wide_formats.h - the three file formats of the wide reader. Each module
// recognises its files, reports their size and decodes them; kinwide.cpp
// picks the module by the file's first bytes.
#pragma once

#include <cstdint>

#include "kin.h"
#include "kvza.h"
#include "reader_file.h"

namespace kinwide {

// Width and height of the image a module would decode.
struct Size {
    uint32_t width = 0;
    uint32_t height = 0;
};

// Each module: *_size fills size and returns true when the file at offset is
// one it decodes (header accepted); *_load decodes it into image (allocated
// and cleared by the host, written through kvza_getpixptr) and returns a
// kin_status, with the progress protocol of the other readers.
bool bmp_size(kincommon::File &file, int64_t offset, Size &size);
int32_t bmp_load(KvzaImage *image, kincommon::File &file, int64_t offset, KvzaProgress *progress);

// Icons and cursors; images is the directory's entry count.
bool ico_size(kincommon::File &file, int64_t offset, Size &size, uint32_t *images = nullptr);
int32_t ico_load(KvzaImage *image, kincommon::File &file, int64_t offset, KvzaProgress *progress);

bool tga_size(kincommon::File &file, int64_t offset, Size &size);
int32_t tga_load(KvzaImage *image, kincommon::File &file, int64_t offset, KvzaProgress *progress);

}  // namespace kinwide
