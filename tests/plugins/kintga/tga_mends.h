// Files of the 16-bit grey-plus-alpha layout and of the attributes types of
// the extension area, each with the three pixels it must give; shared by the
// tests of both TGA readers.
#pragma once

#include <vector>

#include "kin_host.h"
#include "kin_samples.h"

namespace tgamend {

using kintest::Bytes;

// Footers: none; extension offset 0; offset past the file; else an
// extension area with that attributes type (0 to 4).
constexpr int kNoFooter = -2, kZeroOffset = -1, kOutside = 9;

inline Bytes with_footer(Bytes file, int footer) {
    if (footer == kNoFooter) return file;
    const size_t end = file.size();
    if (footer >= 0 && footer != kOutside) {
        Bytes area(495, 0);  // its size field, then zeros up to the attributes type
        area[0] = 0xEF;
        area[1] = 0x01;
        area[494] = static_cast<uint8_t>(footer);
        kintest::append(file, area);
    }
    kintest::put32(file, footer == kZeroOffset ? 0 : footer == kOutside ? end + 1 : end);
    kintest::put32(file, 0);
    const char signature[] = "TRUEVISION-XFILE.";
    file.insert(file.end(), signature, signature + sizeof signature);
    return file;
}

struct Case {
    const char *name;
    uint8_t type, depth, attribute_bits;
    Bytes pixels;  // 3 x 1, top row first
    int footer;
    std::vector<KvzaPixel> want;

    Bytes file() const {
        kintest::TgaSpec s;
        s.type = type;
        s.width = 3;
        s.depth = depth;
        s.descriptor = static_cast<uint8_t>(0x20 | attribute_bits);
        s.pixels = pixels;
        return kintest::build_tga(s);
    }
};

inline std::vector<Case> cases() {
    using kintest::kvz;
    const float half = 128.0f / 255.0f, part = 100.0f / 255.0f, full = 31.0f * (1.0f / 31.0f);
    const auto g = [](double w, float a) { return KvzaPixel{0, 0, static_cast<float>(w), a}; };
    const auto opaque = [](std::vector<KvzaPixel> v) {
        for (KvzaPixel &p : v) p.a = 1.0f;
        return v;
    };
    const Bytes grey = {0, 0, 64, 128, 200, 100};  // grey byte, alpha byte
    const Bytes bgra = {0x30, 0x20, 0x10, 0, 0xC0, 0x80, 0x40, 0x80, 0x90, 0x80, 0x70, 0xFF};
    const std::vector<KvzaPixel> grey_alpha = {g(-1, 0), g(128.0 / 255 - 1, half),
                                               g(400.0 / 255 - 1, part)};
    const std::vector<KvzaPixel> rgba = {kintest::kvz8(0x10, 0x20, 0x30, 0),
                                         kintest::kvz8(0x40, 0x80, 0xC0, half),
                                         kintest::kvz8(0x70, 0x80, 0x90)};
    std::vector<Case> out = {
        {"grey", 3, 16, 8, grey, 4, {g(-1, 0), g(0, half), g(1, part)}},
        {"rgba", 2, 32, 8, bgra, 4, {rgba[0], kvz(0.5f, 1, 1, half), rgba[2]}},
        // Bit 15 clear would be transparent.
        {"rgb16",
         2,
         16,
         1,
         {0x1F, 0, 0x1F, 0x80, 0, 0x7C},
         0,
         {kvz(0, 0, full), kvz(0, 0, full), kvz(full, 0, 0)}},
    };
    for (int footer : {kNoFooter, kZeroOffset, kOutside, 3, 0, 1, 2}) {
        out.push_back({"grey", 3, 16, 8, grey, footer,
                       footer >= 0 && footer < 3 ? opaque(grey_alpha) : grey_alpha});
        out.push_back(
            {"rgba", 2, 32, 8, bgra, footer, footer >= 0 && footer < 3 ? opaque(rgba) : rgba});
    }
    return out;
}

}  // namespace tgamend
