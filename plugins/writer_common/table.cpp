// Option tables of the writers and the kot_save frame around their bodies.
#include <cstring>

#include "writer_common.h"

namespace kot {

namespace {

// Strings of the tables; the Japanese hints are UTF-8.
constexpr const char *kDitherName = "Dither";
constexpr const char *kDitherHint = "ディザ(中間色表現)の強さ";
constexpr const char *kThresholdName = "Alpha Threshold";
constexpr const char *kThresholdHint = "透過/非透過を区別するアルファの閾値";
constexpr const char *kDepthName = "Palette Depth";
constexpr const char *kDepthHint = "パレットの情報量";
constexpr const char *kMergeName = "Merge to background";
constexpr const char *kMergeHint = "背景色を混ぜ合わせる";
constexpr const char *kThresholdSwitchName = "'Alpha Threshold' enable";
constexpr const char *kThresholdSwitchHint = "'Alpha Threshold'を有効にする";
constexpr const char *kAlphaDitherName = "Alpha dithering";
constexpr const char *kAlphaDitherHint = "アルファもディザ対象とする";
constexpr const char *kCompressionName = "Compression";
constexpr const char *kCompressionHint = "圧縮レベル(0:無圧縮 9:最高圧縮)";
constexpr const char *kInterlaceName = "Interlace";
constexpr const char *kInterlaceHint = "インターレース(Adam7)で保存する";

KotTrackSpec track(const char *name, const char *hint, int16_t min, int16_t max, int16_t frequency,
                   int16_t line_size, int16_t page_size, int16_t position) {
    KotTrackSpec spec{};
    spec.name = name;
    spec.hint = hint;
    spec.min = min;
    spec.max = max;
    spec.frequency = frequency;
    spec.line_size = line_size;
    spec.page_size = page_size;
    spec.position = position;
    return spec;
}

void fill_common(KotUsableTable *table, std::span<const int16_t> usable_ids) {
    std::memset(table, 0, sizeof *table);
    table->track_count = 2;
    table->track[0] = track(kDitherName, kDitherHint, 0, 256, 16, 1, 16, 128);
    for (int16_t id : usable_ids) set_usable(table, id);
}

}  // namespace

void set_usable(KotUsableTable *table, int32_t id) {
    if (id < 0 || id > 255) return;
    table->usable[id / 8] = static_cast<uint8_t>(table->usable[id / 8] | (1u << (id % 8)));
}

bool is_usable(const KotUsableTable *table, int32_t id) {
    if (table == nullptr || id < 0 || id > 255) return false;
    return (table->usable[id / 8] >> (id % 8)) & 1u;
}

void fill_alpha_option_table(KotUsableTable *table, std::span<const int16_t> usable_ids) {
    fill_common(table, usable_ids);
    table->track[1] = track(kThresholdName, kThresholdHint, 0, 256, 16, 1, 16, 128);
    table->switch_mask = 0x7;
    table->switch_defaults = 0;
    table->switch_name[kSwitchMerge] = kMergeName;
    table->switch_hint[kSwitchMerge] = kMergeHint;
    table->switch_name[kSwitchThreshold] = kThresholdSwitchName;
    table->switch_hint[kSwitchThreshold] = kThresholdSwitchHint;
    table->switch_name[kSwitchAlphaDither] = kAlphaDitherName;
    table->switch_hint[kSwitchAlphaDither] = kAlphaDitherHint;
}

void fill_png_option_table(KotUsableTable *table, std::span<const int16_t> usable_ids) {
    fill_alpha_option_table(table, usable_ids);
    // Lossless by default: an unedited picture saves back to the samples it was read from.
    table->track[0].position = 0;
    table->track_count = 3;
    table->track[2] = track(kCompressionName, kCompressionHint, 0, 9, 1, 1, 1, 6);
    table->switch_mask = static_cast<uint16_t>(table->switch_mask | (1u << kSwitchInterlace));
    table->switch_name[kSwitchInterlace] = kInterlaceName;
    table->switch_hint[kSwitchInterlace] = kInterlaceHint;
}

void fill_palette_depth_table(KotUsableTable *table, std::span<const int16_t> usable_ids) {
    fill_common(table, usable_ids);
    table->track[1] = track(kDepthName, kDepthHint, 2, 4, 1, 1, 2, 4);
}

int32_t copy_table(KotUsableTable *table_out, uint32_t size, const KvzaImage *image,
                   const KotUsableTable *table) {
    if (image == nullptr || table_out == nullptr || table == nullptr ||
        size < KOT_USABLE_TABLE_SIZE)
        return KOT_FAILED;
    std::memcpy(table_out, table, KOT_USABLE_TABLE_SIZE);
    return KOT_OK;
}

KotUsableTable *WriterTable::get() {
    if (!built_) {
        if (kind_ == TableKind::PaletteDepth) {
            fill_palette_depth_table(&table_, ids_);
        } else if (kind_ == TableKind::PngOptions) {
            fill_png_option_table(&table_, ids_);
        } else {
            fill_alpha_option_table(&table_, ids_);
        }
        built_ = true;
    }
    return &table_;
}

const char *WriterTable::hint(int32_t id) {
    if (!is_usable(get(), id)) return nullptr;
    for (const TypeHint &h : hints_) {
        if (h.id == id) return h.text;
    }
    return nullptr;
}

int32_t run_save(KvzaImage *image, const char *path, const KotSaveOptions *options,
                 KvzaProgress *progress, const KotUsableTable *table, SaveBody body) {
    if (options == nullptr || image == nullptr || image->width <= 0 || image->height <= 0 ||
        table == nullptr || body == nullptr)
        return KOT_FAILED;
    FileWriter out;
    out.open(path);  // a file that cannot be created fails at the first write
    kvza_progress_setup(image, progress);
    int32_t status = KOT_FAILED;
    if (is_usable(table, options->type)) {
        SaveJob job{image, options, progress, out};
        status = body(job);
    }
    kvza_progress_final(image, progress);
    // Buffered bytes are written at the close: a failure there is a failed write.
    if (!out.close() && status == KOT_OK) status = KOT_FAILED;
    return status;
}

}  // namespace kot
