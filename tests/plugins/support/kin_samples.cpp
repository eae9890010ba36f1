#include "kin_samples.h"

namespace kintest {

void put8(Bytes &b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
}
void put16(Bytes &b, uint32_t v) {
    put8(b, v);
    put8(b, v >> 8);
}
void put32(Bytes &b, uint32_t v) {
    put16(b, v);
    put16(b, v >> 16);
}
void append(Bytes &b, const Bytes &more) {
    b.insert(b.end(), more.begin(), more.end());
}

Bytes pack_rows(int bpp, const std::vector<std::vector<uint32_t>> &rows) {
    Bytes out;
    for (const auto &row : rows) {
        Bytes r;
        if (bpp < 8) {
            const int per_byte = 8 / bpp;
            for (size_t x = 0; x < row.size(); x += per_byte) {
                uint32_t byte = 0;
                for (int k = 0; k < per_byte; ++k) {
                    const uint32_t v = x + k < row.size() ? row[x + k] : 0;
                    byte |= (v & ((1U << bpp) - 1)) << (8 - bpp * (k + 1));
                }
                put8(r, byte);
            }
        } else {
            for (uint32_t v : row)
                for (int k = 0; k < bpp / 8; ++k) put8(r, v >> (8 * k));
        }
        while (r.size() % 4 != 0) r.push_back(0);
        append(out, r);
    }
    return out;
}

Bytes pack_tight(int bytes_per_pixel, const std::vector<std::vector<uint32_t>> &rows) {
    Bytes out;
    for (const auto &row : rows)
        for (uint32_t v : row)
            for (int k = 0; k < bytes_per_pixel; ++k) put8(out, v >> (8 * k));
    return out;
}

Bytes colour_table(const std::vector<uint32_t> &rgb, int entry_bytes) {
    Bytes out;
    for (uint32_t c : rgb) {
        put8(out, c);        // blue
        put8(out, c >> 8);   // green
        put8(out, c >> 16);  // red
        if (entry_bytes == 4) put8(out, 0);
    }
    return out;
}

Bytes build_bmp(const BmpSpec &s) {
    Bytes header;
    if (s.header_size == 12) {
        put16(header, static_cast<uint32_t>(s.width));
        put16(header, static_cast<uint32_t>(s.height));
        put16(header, 1);
        put16(header, s.bpp);
    } else {
        put32(header, static_cast<uint32_t>(s.width));
        put32(header, static_cast<uint32_t>(s.height));
        put16(header, 1);
        put16(header, s.bpp);
        put32(header, s.compression);
        for (int i = 0; i < 20; ++i) put8(header, 0);
        while (header.size() + 4 < s.header_size) put8(header, 0);
    }
    const uint32_t before_rows =
        14 + s.header_size + static_cast<uint32_t>(4 * s.masks.size() + s.table.size());
    const uint32_t total = before_rows + static_cast<uint32_t>(s.rows.size() + s.trailer.size());
    Bytes out;
    put16(out, 0x4D42);
    put32(out, s.file_size.value_or(total));
    put32(out, 0);
    put32(out, s.data_pos.value_or(before_rows));
    put32(out, s.header_size);
    append(out, header);
    for (uint32_t m : s.masks) put32(out, m);
    append(out, s.table);
    append(out, s.rows);
    append(out, s.trailer);
    return out;
}

Bytes build_ico(const IcoSpec &s) {
    const uint32_t image_bytes =
        s.header_size + static_cast<uint32_t>(s.table.size() + s.rows.size() + s.mask.size());
    const uint32_t position = 6 + 16U * s.count;
    Bytes out;
    put16(out, 0);
    put16(out, s.type);
    put16(out, s.count);
    for (int i = 0; i < s.count; ++i) {
        put8(out, s.entry_width);
        put8(out, s.entry_height);
        put8(out, s.bpp <= 8 ? 1U << s.bpp : 0);
        put8(out, 0);
        put16(out, 1);
        put16(out, s.bpp);
        put32(out, s.bytes.value_or(image_bytes));
        put32(out, s.position.value_or(position));
    }
    put32(out, s.header_size);
    put32(out, static_cast<uint32_t>(s.header_width));
    put32(out, static_cast<uint32_t>(s.header_height));
    put16(out, 1);
    put16(out, s.bpp);
    for (uint32_t i = 16; i < s.header_size; ++i) put8(out, 0);
    append(out, s.table);
    append(out, s.rows);
    append(out, s.mask);
    return out;
}

Bytes build_tga(const TgaSpec &s) {
    Bytes out;
    put8(out, static_cast<uint32_t>(s.id.size()));
    put8(out, s.map_type);
    put8(out, s.type);
    put16(out, s.first_index);
    put16(out, s.map_length);
    put8(out, s.entry_bits);
    put16(out, 0);
    put16(out, 0);
    put16(out, s.width);
    put16(out, s.height);
    put8(out, s.depth);
    put8(out, s.descriptor);
    append(out, s.id);
    append(out, s.map);
    append(out, s.pixels);
    return out;
}

Bytes pattern(size_t n, uint32_t seed) {
    Bytes out(n);
    uint32_t x = seed * 2654435761U + 12345U;
    for (auto &b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
    }
    return out;
}

namespace {

// width x height values below limit, row by row.
std::vector<std::vector<uint32_t>> grid(int width, int height, uint64_t limit, uint32_t seed) {
    const Bytes noise = pattern(static_cast<size_t>(width) * height * 4, seed);
    std::vector<std::vector<uint32_t>> rows(height, std::vector<uint32_t>(width));
    size_t k = 0;
    for (auto &row : rows)
        for (auto &v : row) {
            const uint32_t r = noise[k] | (noise[k + 1] << 8) | (noise[k + 2] << 16) |
                               (static_cast<uint32_t>(noise[k + 3]) << 24);
            k += 4;
            v = static_cast<uint32_t>(r % limit);
        }
    return rows;
}

std::vector<uint32_t> colours(size_t n, uint32_t seed) {
    const Bytes noise = pattern(n * 3, seed);
    std::vector<uint32_t> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = noise[3 * i] | (noise[3 * i + 1] << 8) | (noise[3 * i + 2] << 16);
    return out;
}

Sample bitmap(const std::string &name, uint32_t header_size, int bpp, bool top_down,
              uint32_t compression = 0, std::vector<uint32_t> masks = {}) {
    const int w = 5, h = 3;
    BmpSpec s;
    s.header_size = header_size;
    s.width = w;
    s.height = top_down ? -h : h;
    s.bpp = static_cast<uint16_t>(bpp);
    s.compression = compression;
    s.masks = std::move(masks);
    if (bpp <= 8) s.table = colour_table(colours(1U << bpp, bpp), header_size == 12 ? 3 : 4);
    s.rows = pack_rows(bpp, grid(w, h, uint64_t{1} << bpp, 7U + bpp));
    return {name, build_bmp(s), w, h};
}

Sample icon(const std::string &name, int bpp, bool masked, bool top_down) {
    const int w = 6, h = 4;
    IcoSpec s;
    s.entry_width = w;
    s.entry_height = h;
    s.bpp = static_cast<uint16_t>(bpp);
    s.header_width = w;
    s.header_height = (masked ? 2 * h : h) * (top_down ? -1 : 1);
    if (bpp <= 8) s.table = colour_table(colours(1U << bpp, 3U * bpp), 4);
    s.rows = pack_rows(bpp, grid(w, h, uint64_t{1} << bpp, 11U + bpp));
    if (masked) s.mask = pack_rows(1, grid(w, h, 2, 13U + bpp));
    return {name, build_ico(s), w, h};
}

}  // namespace

std::vector<Sample> bmp_samples() {
    std::vector<Sample> out;
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        out.push_back(bitmap("info" + std::to_string(bpp), 40, bpp, false));
        out.push_back(bitmap("info" + std::to_string(bpp) + "_topdown", 40, bpp, true));
        out.push_back(bitmap("core" + std::to_string(bpp), 12, bpp, false));
    }
    out.push_back(bitmap("fields16_565", 40, 16, false, 3, {0xF800, 0x07E0, 0x001F}));
    out.push_back(bitmap("fields16_444", 40, 16, false, 3, {0x0F00, 0x00F0, 0x000F}));
    out.push_back(bitmap("fields16_grey", 40, 16, true, 3, {0xFFFF, 0xFFFF, 0xFFFF}));
    out.push_back(bitmap("fields24", 40, 24, false, 3, {0xFF0000, 0xFF00, 0xFF}));
    out.push_back(bitmap("fields32_101010", 40, 32, false, 3, {0x3FF00000, 0xFFC00, 0x3FF}));
    out.push_back(bitmap("fields32_111110", 40, 32, true, 3, {0xFFE00000, 0x1FFC00, 0x3FF}));
    out.push_back(bitmap("fields32_scattered", 40, 32, false, 3, {0x80402010, 0x08040201, 0}));
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        out.push_back(icon("icon" + std::to_string(bpp) + "_masked", bpp, true, false));
        out.push_back(icon("icon" + std::to_string(bpp), bpp, false, bpp % 8 == 0));
    }
    out.push_back(icon("icon4_masked_topdown", 4, true, true));
    return out;
}

std::vector<Sample> tga_samples() {
    std::vector<Sample> out;
    const int w = 5, h = 3;
    auto add = [&](const std::string &name, TgaSpec s) {
        s.width = w;
        s.height = h;
        out.push_back({name, build_tga(s), w, h});
    };
    for (int bits : {16, 24, 32}) {
        TgaSpec s;
        s.map_type = 1;
        s.type = 1;
        s.first_index = 2;
        s.map_length = 20;
        s.entry_bits = static_cast<uint8_t>(bits);
        s.map = pattern(20U * bits / 8, bits);
        s.depth = 8;
        s.descriptor = bits == 24 ? 0 : 1;
        s.pixels = pack_tight(1, grid(w, h, 24, bits));
        add("mapped8_entry" + std::to_string(bits), s);
    }
    {
        TgaSpec s;
        s.map_type = 1;
        s.type = 1;
        s.first_index = 5;
        s.map_length = 300;
        s.entry_bits = 24;
        s.map = pattern(900, 3);
        s.depth = 16;
        s.descriptor = 0x20;
        s.pixels = pack_tight(2, grid(w, h, 320, 4));
        add("mapped16_300", s);
    }
    for (int depth : {16, 24, 32}) {
        TgaSpec s;
        s.type = 2;
        s.depth = static_cast<uint8_t>(depth);
        s.descriptor = depth == 32 ? 8 : depth == 16 ? 1 : 0;
        s.pixels = pattern(static_cast<size_t>(w) * h * depth / 8, 20U + depth);
        add("true" + std::to_string(depth), s);
    }
    for (int depth : {8, 16, 24, 32}) {
        TgaSpec s;
        s.type = 3;
        s.depth = static_cast<uint8_t>(depth);
        s.descriptor = 0x20;
        s.pixels = pattern(static_cast<size_t>(w) * h * depth / 8, 40U + depth);
        add("grey" + std::to_string(depth), s);
    }
    {
        TgaSpec s;
        s.id = pattern(10, 99);
        s.type = 2;
        s.depth = 24;
        s.pixels = pattern(static_cast<size_t>(w) * h * 3, 98);
        add("true24_id", s);
    }
    return out;
}

}  // namespace kintest
