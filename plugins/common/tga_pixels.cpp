// The pixel rules of TGA files shared by the TGA readers.
#include "tga_pixels.h"

#include <algorithm>
#include <cstring>

namespace kincommon {

namespace {

constexpr float kFiveBitScale = 1.0f / 31.0f;
constexpr int64_t kFooterBytes = 26;
constexpr int64_t kExtensionBytes = 495;
constexpr int64_t kAttributesTypeAt = 494;
constexpr char kFooterSignature[] = "TRUEVISION-XFILE.";  // with its NUL: 18 bytes

// Attributes types of the extension area.
enum AttributesType : uint8_t {
    kNoAlpha = 0,
    kUndefinedIgnore = 1,
    kUndefinedRetain = 2,
    kAlpha = 3,
    kPremultipliedAlpha = 4,
};

TgaKind kind_of(uint8_t type) {
    switch (type & 0xF7U) {  // 9, 10, 11 are 1, 2, 3 run-length encoded
        case 1:
            return TgaKind::Mapped;
        case 2:
            return TgaKind::TrueColour;
        case 3:
            return TgaKind::Grey;
        default:
            return TgaKind::Unknown;
    }
}

}  // namespace

bool read_tga_header(File &file, int64_t offset, TgaHeader &h) {
    uint8_t b[kTgaHeaderBytes];
    if (bytes_from(file, offset) < kTgaHeaderBytes || !file.read_at(offset, b, sizeof b))
        return false;
    h.id_length = b[0];
    h.map_type = b[1];
    h.type = b[2];
    h.first_index = le16(b + 3);
    h.map_length = le16(b + 5);
    h.entry_bits = b[7];
    h.width = le16(b + 12);
    h.height = le16(b + 14);
    h.depth = b[16];
    h.attribute_bits = b[17] & 0x0F;
    h.top_down = (b[17] & 0x20) != 0;
    h.kind = kind_of(h.type);
    h.run_length = h.kind != TgaKind::Unknown && h.type > 8;
    return true;
}

bool tga_layout_supported(const TgaHeader &h) {
    switch (h.kind) {
        case TgaKind::Mapped:
            return h.depth == 8 || h.depth == 16;
        case TgaKind::TrueColour:
            return h.depth == 16 || h.depth == 24 || h.depth == 32;
        case TgaKind::Grey:
            return h.depth == 8 || h.depth == 16 || h.depth == 24 || h.depth == 32;
        default:
            return false;
    }
}

TgaAlpha read_tga_alpha(File &file, int64_t offset) {
    const int64_t remaining = bytes_from(file, offset);
    if (remaining < kTgaHeaderBytes + kFooterBytes) return TgaAlpha::Attribute;
    const int64_t footer_at = file.size() - kFooterBytes;
    uint8_t footer[kFooterBytes];
    if (!file.read_at(footer_at, footer, sizeof footer) ||
        std::memcmp(footer + 8, kFooterSignature, sizeof kFooterSignature) != 0)
        return TgaAlpha::Attribute;
    // The extension area must lie between the header and the footer.
    const int64_t extension = le32(footer);
    if (extension < kTgaHeaderBytes || extension > footer_at - offset - kExtensionBytes)
        return TgaAlpha::Attribute;
    uint8_t type = 0;
    if (!file.read_at(offset + extension + kAttributesTypeAt, &type, 1)) return TgaAlpha::Attribute;
    switch (type) {
        case kNoAlpha:
        case kUndefinedIgnore:
        case kUndefinedRetain:
            return TgaAlpha::None;
        case kPremultipliedAlpha:
            return TgaAlpha::Premultiplied;
        case kAlpha:
        default:
            return TgaAlpha::Attribute;
    }
}

// ---- colour conversions ---------------------------------------------------

TgaColour::TgaColour(uint8_t attribute_bits, TgaAlpha alpha)
    : has_alpha_(attribute_bits != 0 && alpha != TgaAlpha::None),
      premultiplied_(alpha == TgaAlpha::Premultiplied),
      alpha_scale_(attribute_bits != 0 ? 1.0f / static_cast<float>((1U << attribute_bits) - 1U)
                                       : 1.0f),
      alpha_mask_((1U << attribute_bits) - 1U) {}

float TgaColour::alpha_of(uint32_t attribute) const {
    return has_alpha_ ? static_cast<float>(attribute & alpha_mask_) * alpha_scale_ : 1.0f;
}

bool TgaColour::divides(float alpha) const {
    return premultiplied_ && alpha > 0.0f && alpha < 1.0f;
}

float TgaColour::divided(float level, float alpha) {
    return static_cast<float>(std::min(1.0, static_cast<double>(level) / alpha));
}

void TgaColour::unpremultiply(KvzaPixel &rgba) const {
    if (!divides(rgba.a)) return;
    rgba.c = divided(rgba.c, rgba.a);
    rgba.s = divided(rgba.s, rgba.a);
    rgba.w = divided(rgba.w, rgba.a);
}

KvzaPixel TgaColour::convert(const uint8_t *p, uint8_t bits) const {
    KvzaPixel rgba;
    if (bits == 16) {
        // 5-5-5; bit 15 is the alpha bit when attribute bits are declared.
        const uint32_t v = le16(p);
        rgba = {static_cast<float>((v >> 10) & 31U) * kFiveBitScale,
                static_cast<float>((v >> 5) & 31U) * kFiveBitScale,
                static_cast<float>(v & 31U) * kFiveBitScale,
                !has_alpha_ || (v & 0x8000U) != 0 ? 1.0f : 0.0f};
    } else {
        // Blue, green, red, and for 32 bits the attribute byte.
        rgba = {p[2] * kvza::kByteToFloat, p[1] * kvza::kByteToFloat, p[0] * kvza::kByteToFloat,
                bits == 32 ? alpha_of(p[3]) : 1.0f};
    }
    unpremultiply(rgba);
    return rgba;
}

// ---- the pixel store ------------------------------------------------------

TgaPixels::TgaPixels(KvzaImage *image, const TgaHeader &h, TgaAlpha alpha, const uint8_t *map,
                     KvzaProgress *progress)
    : image_(image),
      h_(h),
      colour_(h.attribute_bits, alpha),
      map_(map),
      progress_(progress),
      grey_alpha_(h.depth == 16 && h.attribute_bits == 8),
      // Grey scale: w = v x k - 1, so 0 is black and the largest value white.
      grey_scale_(h.depth == 8 || grey_alpha_ ? 2.0f / 255.0f
                  : h.depth == 16             ? 2.0f / 65535.0f
                  : h.depth == 24             ? static_cast<float>(2.0 / 16777215.0)
                                              : 1.0f / 2147483648.0f),
      count_(h.pixel_count()),
      colours_(h.kind == TgaKind::Grey ? 0 : h.pixel_count()) {}

void TgaPixels::store_rgba(KvzaPixel *dst, const KvzaPixel &rgba) {
    *dst = colours_.kvz(kvza::rgb_bits(rgba), rgba);
    dst->a = rgba.a;
}

void TgaPixels::set_palette() {
    const uint32_t entries = h_.map_length < 256 ? h_.map_length : 256;
    for (uint32_t i = 0; i < entries; ++i) {
        const KvzaPixel rgba = colour_.convert(map_ + i * (h_.entry_bits / 8U), h_.entry_bits);
        kvza_rgba2kvza(&image_->palette[i], &rgba);
    }
}

KvzaPixel TgaPixels::grey(const uint8_t *p) const {
    if (grey_alpha_) {
        // Grey in the low byte, alpha in the high byte.
        const float a = colour_.alpha_of(p[1]);
        const double w = colour_.divides(a)
                             ? 2.0 * TgaColour::divided(p[0] * kvza::kByteToFloat, a) - 1.0
                             : static_cast<double>(p[0]) * grey_scale_ - 1.0;
        return {0.0f, 0.0f, static_cast<float>(w), a};
    }
    uint32_t v = p[0];
    if (h_.depth >= 16) v |= static_cast<uint32_t>(p[1]) << 8;
    if (h_.depth >= 24) v |= static_cast<uint32_t>(p[2]) << 16;
    if (h_.depth >= 32) v |= static_cast<uint32_t>(p[3]) << 24;
    // Worked out in double and rounded once, so all 32 bits of v count.
    return {0.0f, 0.0f, static_cast<float>(static_cast<double>(v) * grey_scale_ - 1.0), 1.0f};
}

bool TgaPixels::put(const uint8_t *p) {
    const uint32_t y = h_.top_down ? row_ : h_.height - 1U - row_;
    KvzaPixel *dst = kvza_getpixptr(image_, static_cast<int32_t>(x_), static_cast<int32_t>(y));
    const KvzaPixel clear = {0.0f, 0.0f, 0.0f, 0.0f};
    switch (h_.kind) {
        case TgaKind::Mapped: {
            const uint32_t n = h_.depth == 8 ? p[0] : le16(p);
            if (n < h_.first_index) {
                *dst = clear;
            } else {
                const uint32_t t = n - h_.first_index;
                if (t <= 255)
                    *dst = image_->palette[t];
                else if (t < h_.map_length)
                    store_rgba(dst,
                               colour_.convert(map_ + t * (h_.entry_bits / 8U), h_.entry_bits));
                else
                    *dst = clear;
            }
            break;
        }
        case TgaKind::TrueColour:
            store_rgba(dst, colour_.convert(p, h_.depth));
            break;
        default:
            *dst = grey(p);
            break;
    }
    ++stored_;
    if (++x_ == h_.width) {
        x_ = 0;
        ++row_;
    }
    return kvza_progress_count(image_, progress_) == 0;
}

int32_t TgaPixels::put_all(const uint8_t *data) {
    const uint32_t bytes = h_.pixel_bytes();
    for (const uint8_t *p = data; left() != 0; p += bytes)
        if (!put(p)) return KIN_CANCELED;
    return KIN_OK;
}

}  // namespace kincommon
