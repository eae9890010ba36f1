#include "png_samples.h"

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace pngtest {

uint32_t channels(uint8_t colour) {
    return colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
}

Bytes encode(const PngSpec &s) {
    const uint32_t per_row = channels(s.colour) * s.width;
    const size_t stride = (static_cast<size_t>(per_row) * s.depth + 7) / 8;
    Bytes rows(stride * s.height, 0);
    for (uint32_t y = 0; y < s.height; ++y)
        for (uint32_t i = 0; i < per_row; ++i) {
            const uint16_t v = s.samples[static_cast<size_t>(y) * per_row + i];
            uint8_t *row = rows.data() + y * stride;
            if (s.depth == 16) {
                // Big-endian, as the file stores it: the encoder takes samples unchanged.
                row[2 * i] = static_cast<uint8_t>(v >> 8);
                row[2 * i + 1] = static_cast<uint8_t>(v);
            } else
                row[i * s.depth / 8] |= static_cast<uint8_t>(v << (8 - s.depth - i * s.depth % 8));
        }
    spng_ctx *ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, 0);
    spng_ihdr ihdr = {
        s.width, s.height, s.depth, s.colour, 0, 0, s.interlaced ? uint8_t{1} : uint8_t{0}};
    spng_set_ihdr(ctx, &ihdr);
    if (!s.palette.empty()) {
        spng_plte plte{};
        plte.n_entries = static_cast<uint32_t>(s.palette.size());
        for (size_t i = 0; i < s.palette.size(); ++i)
            plte.entries[i] = {static_cast<uint8_t>(s.palette[i] >> 16),
                               static_cast<uint8_t>(s.palette[i] >> 8),
                               static_cast<uint8_t>(s.palette[i]), 255};
        spng_set_plte(ctx, &plte);
    }
    if (!s.palette_alpha.empty() || !s.key.empty()) {
        spng_trns trns{};
        trns.n_type3_entries = static_cast<uint32_t>(s.palette_alpha.size());
        std::copy(s.palette_alpha.begin(), s.palette_alpha.end(), trns.type3_alpha);
        if (s.key.size() == 1) trns.gray = s.key[0];
        if (s.key.size() == 3) trns.red = s.key[0], trns.green = s.key[1], trns.blue = s.key[2];
        spng_set_trns(ctx, &trns);
    }
    Bytes out;
    if (spng_encode_image(ctx, rows.data(), rows.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) == 0) {
        size_t len = 0;
        int error = 0;
        auto *buf = static_cast<uint8_t *>(spng_get_png_buffer(ctx, &len, &error));
        if (buf != nullptr) out.assign(buf, buf + len);
        std::free(buf);
    }
    spng_ctx_free(ctx);
    return out;
}

Bytes chunk(const std::string &type, const Bytes &data) {
    Bytes out;
    const uint32_t n = static_cast<uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(n >> shift));
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    const uint32_t crc = static_cast<uint32_t>(crc32(0, out.data() + 4, 4 + n));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(crc >> shift));
    return out;
}

size_t chunk_at(const Bytes &png, const std::string &type) {
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        if (std::memcmp(png.data() + pos + 4, type.data(), 4) == 0) return pos;
        pos += 12 + (static_cast<size_t>(png[pos]) << 24 | png[pos + 1] << 16 | png[pos + 2] << 8 |
                     png[pos + 3]);
    }
    return png.size();
}

Bytes inserted(const Bytes &png, size_t pos, const Bytes &bytes) {
    Bytes out(png.begin(), png.begin() + static_cast<long>(pos));
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.insert(out.end(), png.begin() + static_cast<long>(pos), png.end());
    return out;
}

PngSpec layout(uint8_t colour, uint8_t depth, bool interlaced, uint32_t w, uint32_t h) {
    PngSpec s{w, h, colour, depth, interlaced, {}, {}, {}, {}};
    const uint32_t n = channels(colour);
    const Bytes noise = kintest::pattern(static_cast<size_t>(w) * h * n * 2, 7U * colour + depth);
    const uint32_t top = depth == 16 ? 65535 : (1U << depth) - 1;
    s.samples.resize(static_cast<size_t>(w) * h * n);
    for (size_t i = 0; i < s.samples.size(); ++i) {
        // Pixels 3k and 3k + 1 share their samples, so rows hold runs.
        const size_t px = i / n, from = (px - (px % 3 == 1 ? 1 : 0)) * n + i % n;
        s.samples[i] =
            static_cast<uint16_t>((noise[2 * from] << 8 | noise[2 * from + 1]) % (top + 1));
    }
    if (colour == 3)
        for (uint32_t i = 0; i <= top; ++i)
            s.palette.push_back((0x10305 * (i + 1) ^ (i << 17)) & 0xFFFFFF);
    return s;
}

std::vector<kintest::Sample> png_samples() {
    std::vector<kintest::Sample> out;
    const struct {
        uint8_t colour;
        std::vector<uint8_t> depths;
    } types[] = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    for (const auto &t : types)
        for (uint8_t d : t.depths)
            for (int variant = 0; variant < 3; ++variant) {
                const bool interlaced = variant == 1, trns = variant == 2;
                if (trns && (t.colour == 4 || t.colour == 6)) continue;
                PngSpec s = layout(t.colour, d, interlaced, 9, 5);
                if (trns && t.colour == 3) s.palette_alpha = {0, 128, 255};
                if (trns && t.colour != 3)
                    s.key.assign(s.samples.begin(), s.samples.begin() + channels(t.colour));
                out.push_back({"c" + std::to_string(t.colour) + "d" + std::to_string(d) +
                                   (interlaced ? "_adam7"
                                    : trns     ? "_trns"
                                               : ""),
                               encode(s), 9, 5});
            }
    return out;
}

Bytes icon_of(const kintest::Sample &png) {
    using kintest::put16;
    using kintest::put32;
    using kintest::put8;
    Bytes b;
    put16(b, 0);
    put16(b, 1);                                       // icon
    put16(b, 1);                                       // one entry
    put8(b, static_cast<uint32_t>(png.width) & 0xFF);  // 256 is stored as 0
    put8(b, static_cast<uint32_t>(png.height) & 0xFF);
    put16(b, 0);
    put16(b, 1);
    put16(b, 32);
    put32(b, static_cast<uint32_t>(png.bytes.size()));
    put32(b, 22);  // after the directory
    kintest::append(b, png.bytes);
    return b;
}

}  // namespace pngtest
