#include "palette_index.h"

#include <cstring>

namespace kvza {

namespace {

constexpr uint32_t kSlots = 1024;  // at most 256 entries: a quarter full
constexpr int16_t kEmpty = -1;

uint32_t slot_of(const KvzaPixel &p) {
    uint32_t words[4];
    std::memcpy(words, &p, sizeof words);
    uint64_t h = 0x9E3779B97F4A7C15ULL;
    for (uint32_t v : words) h = (h ^ v) * 0xBF58476D1CE4E5B9ULL;
    return static_cast<uint32_t>(h >> 54) & (kSlots - 1);
}

}  // namespace

PaletteIndex::PaletteIndex(const KvzaPixel *palette, uint32_t count, float wc, float ww, float wa)
    : palette_(palette),
      count_(count),
      wc_(wc),
      ww_(ww),
      wa_(wa),
      lanes_(count <= 256 ? palette : nullptr, count) {
    if (palette == nullptr || count == 0 || count > 256) return;
    try {
        slots_.assign(kSlots, kEmpty);
    } catch (...) {
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t s = slot_of(palette[i]);
        while (slots_[s] != kEmpty && !same_bytes(palette[slots_[s]], palette[i]))
            s = (s + 1) & (kSlots - 1);
        if (slots_[s] == kEmpty) slots_[s] = static_cast<int16_t>(i);  // the first keeps it
    }
    usable_ = true;
}

int32_t PaletteIndex::exact_entry(const KvzaPixel &colour) const {
    for (uint32_t s = slot_of(colour);; s = (s + 1) & (kSlots - 1)) {
        if (slots_[s] == kEmpty) return -1;
        if (same_bytes(palette_[slots_[s]], colour)) return slots_[s];
    }
}

Nearest PaletteIndex::nearest(int32_t mode, bool track_second, const KvzaPixel &colour,
                              const KvzaPixel &p) const {
    Nearest n;
    if (const int32_t e = exact_entry(colour); e >= 0) {
        n.best_i = e;
        n.exact = true;
        return n;
    }
    if (lanes_.usable()) return lanes_.nearest(mode, track_second, p, wc_, ww_, wa_);
    return scan_vector(mode, track_second, palette_, count_, colour, p, wc_, ww_, wa_);
}

}  // namespace kvza
