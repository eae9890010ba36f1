// pixtypes.h - the pixel-type ids that name saved pixel layouts, with their
// captions, in the order the save dialog lists them. One table for the host
// and the writers (C++ only, header-only, usable in constant expressions).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kot {

struct PixType {
    int16_t id;
    const char *caption;
};

inline constexpr std::size_t kPixTypeCount = 73;

// Save-dialog order: native and float, deep colour, true colour, high and low
// colour, indexed, grey, alpha only, other.
inline constexpr std::array<PixType, kPixTypeCount> kPixTypes = {{
    // native and float
    {254, "KVZA direct"},
    {199, "ARGB 128bit floatpointed"},
    {116, "ABGR 128bit floatpointed"},
    {113, "ABGR 64bit floatpointed"},
    {115, "GR 64bit floatpointed"},
    {112, "GR 32bit floatpointed"},
    {114, "R 32bit floatpointed"},
    {111, "R 16bit floatpointed"},
    // deep colour
    {198, "RGB 48bit(+16bit alpha)"},
    {36, "BGR 48bit(+16bit alpha)"},
    {197, "RGB 48bit(+16bit dummy)"},
    {196, "RGB 48bit"},
    {191, "RGB 32bit"},
    {34, "RG 32bit"},
    {35, "RGB 30bit(+2bit alpha)"},
    {31, "BGR 30bit(+2bit alpha)"},
    {190, "RGB 30bit(+2bit dummy)"},
    // true colour
    {21, "RGB 24bit(+8bit alpha)"},
    {32, "BGR 24bit(+8bit alpha)"},
    {22, "RGB 24bit(+8bit dummy)"},
    {33, "BGR 24bit(+8bit dummy)"},
    {225, "RGB 24bit(+1bit alpha,+8bit dummy)"},
    {224, "RGB 24bit(+1bit alpha)"},
    {20, "RGB 24bit"},
    // high and low colour
    {23, "RGB 16bit"},
    {223, "RGB 15bit(+1bit alpha,+1bit dummy)"},
    {25, "RGB 15bit(+1bit alpha)"},
    {24, "RGB 15bit(+1bit dummy)"},
    {26, "RGB 12bit(+4bit alpha)"},
    {30, "RGB 12bit(+4bit dummy)"},
    {29, "RGB 8bit(+8bit alpha)"},
    {27, "RGB 8bit"},
    {195, "RGB 6bit(+2bit alpha)"},
    {194, "RGB 6bit(+2bit dummy)"},
    {193, "RGB 3bit(+1bit alpha)"},
    {192, "RGB 3bit(+1bit dummy)"},
    // indexed
    {40, "Index 8bit(+8bit alpha)"},
    {222, "Index 8bit(+1bit alpha)"},
    {41, "Index 8bit"},
    {213, "Index 4bit(+4bit alpha)"},
    {221, "Index 4bit(+1bit alpha)"},
    {212, "Index 4bit"},
    {209, "Index 2bit(+2bit alpha)"},
    {220, "Index 2bit(+1bit alpha)"},
    {207, "Index 2bit"},
    {204, "Index 1bit(+1bit alpha)"},
    {202, "Index 1bit"},
    // grey
    {215, "Grayscale 16bit(+16bit alpha)"},
    {219, "Grayscale 16bit(+1bit alpha)"},
    {81, "Grayscale 16bit"},
    {51, "Grayscale 8bit(+8bit alpha)"},
    {218, "Grayscale 8bit(+1bit alpha)"},
    {50, "Grayscale 8bit"},
    {52, "Grayscale 4bit(+4bit alpha)"},
    {217, "Grayscale 4bit(+1bit alpha)"},
    {210, "Grayscale 4bit"},
    {208, "Grayscale 2bit(+2bit alpha)"},
    {216, "Grayscale 2bit(+1bit alpha)"},
    {205, "Grayscale 2bit"},
    {203, "Grayscale 1bit(+1bit alpha)"},
    {200, "Grayscale 1bit"},
    // alpha only
    {214, "Alpha 16bit"},
    {28, "Alpha 8bit"},
    {211, "Alpha 4bit"},
    {206, "Alpha 2bit"},
    {201, "Alpha 1bit"},
    // other
    {240, "YUV422 UYVY"},
    {241, "YUV422 YUYV"},
    {242, "Compressed type 1 for DX"},
    {243, "Compressed type 2 for DX"},
    {244, "Compressed type 3 for DX"},
    {245, "Compressed type 4 for DX"},
    {246, "Compressed type 5 for DX"},
}};

// Position of id in kPixTypes, or -1 when the id is unknown.
constexpr int pixtype_index(int id) {
    for (std::size_t i = 0; i < kPixTypes.size(); ++i) {
        if (kPixTypes[i].id == id) return static_cast<int>(i);
    }
    return -1;
}

// Caption of id, or nullptr when the id is unknown.
constexpr const char *pixtype_caption(int id) {
    const int i = pixtype_index(id);
    return i < 0 ? nullptr : kPixTypes[static_cast<std::size_t>(i)].caption;
}

// Every id is a usable-set index (0..255) and appears once.
constexpr bool pixtypes_well_formed() {
    for (std::size_t i = 0; i < kPixTypes.size(); ++i) {
        if (kPixTypes[i].id < 0 || kPixTypes[i].id > 255) return false;
        if (kPixTypes[i].caption == nullptr || std::string_view(kPixTypes[i].caption).empty())
            return false;
        for (std::size_t j = i + 1; j < kPixTypes.size(); ++j) {
            if (kPixTypes[i].id == kPixTypes[j].id) return false;
        }
    }
    return true;
}
static_assert(pixtypes_well_formed(), "pixel-type ids are unique and fit the usable set");

}  // namespace kot
