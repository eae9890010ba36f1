// The wide reader beside kintga, and run-length encoding of TGA files.
#pragma once

#include <cstring>

#include "tga_fixture.h"

inline kintest::Reader &wide_reader() {
    static kintest::Reader reader(WIDE_PLUGIN_DIR, "kinwide");
    return reader;
}

class WideTga : public Tga {
  protected:
    void SetUp() override {
        Tga::SetUp();
        ASSERT_TRUE(wide_reader().ok()) << wide_reader().error();
    }
    const kintest::Reader &wide() const { return wide_reader(); }
};

// An uncompressed TGA file (without footer) as its run-length encoded type:
// packets without regard to rows, a run for two or more equal pixels, raw
// packets between, at most 128 pixels each.
inline kintest::Bytes encoded(const kintest::Bytes &file) {
    const auto le16 = [&](size_t at) { return size_t{file[at]} | size_t{file[at + 1]} << 8; };
    const size_t bytes = file[16] / 8U, n = le16(12) * le16(14);
    const uint8_t *p = file.data() + 18 + file[0] + (file[2] == 1 ? le16(5) * (file[7] / 8U) : 0);
    const auto same = [&](size_t a) {
        return a + 1 < n && std::memcmp(p + a * bytes, p + (a + 1) * bytes, bytes) == 0;
    };
    kintest::Bytes out(file.data(), p);
    out[2] = static_cast<uint8_t>(out[2] + 8);
    for (size_t i = 0, k = 1; i < n; i += k, k = 1) {
        const bool run = same(i);
        while (k < 128 && i + k < n && (run ? same(i + k - 1) : !same(i + k))) ++k;
        out.push_back(static_cast<uint8_t>((run ? 0x80 : 0) | (k - 1)));
        out.insert(out.end(), p + i * bytes, p + (i + (run ? 1 : k)) * bytes);
    }
    return out;
}

// Whether two opened files gave the same size, status and image block.
inline bool same_image(const kintest::Opened &a, const kintest::Opened &b) {
    return a.pixels == b.pixels && a.status == b.status && a.image && b.image &&
           std::memcmp(a.image.get(), b.image.get(),
                       KVZA_HEADER_BYTES + sizeof(KvzaPixel) * static_cast<size_t>(a.pixels)) == 0;
}
