// colour_cache.h - an exact cache of the colour model's conversions, for
// the library's callers that convert picture after picture: the readers and
// writers and the editor's view. Header-only, over the library's C functions.
//
// A picture read from a file repeats most of its colours within a few rows,
// and the conversion (kvza_rgb2kvz) is a pure function of the red, green and
// blue channels, so the colour of a recently seen input is taken from here:
// exactly the result the model gives, without its sin and cos. The key is
// whatever determines those channels exactly: the stored samples or bits of
// a pixel, or the bits of the three floats. One slot per hash of the key;
// a new colour replaces the one in its slot. The KVZ -> RGB conversion
// (kvza_kvz2rgb) is cached the same way. One cache per thread.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "kvza.h"

namespace kvza {

// The bits of the red, green and blue floats of an RGB record.
struct RgbBits {
    uint32_t v[3];
    bool operator==(const RgbBits &) const = default;
};

inline RgbBits rgb_bits(const KvzaPixel &rgb) {
    RgbBits b;
    std::memcpy(&b.v[0], &rgb.c, 4);
    std::memcpy(&b.v[1], &rgb.s, 4);
    std::memcpy(&b.v[2], &rgb.w, 4);
    return b;
}

// The key that marks an empty slot (an input with this key is converted
// every time) and the slot's hash.
template <typename Key>
struct CacheKey;

template <>
struct CacheKey<uint64_t> {
    static uint64_t empty() { return ~uint64_t{0}; }
    static uint64_t hash(uint64_t k) { return k * 0x9E3779B97F4A7C15ULL; }
};

template <>
struct CacheKey<RgbBits> {
    static RgbBits empty() { return {{~0U, ~0U, ~0U}}; }  // a NaN pattern in each channel
    static uint64_t hash(const RgbBits &k) {
        const uint64_t a = uint64_t{k.v[0]} | uint64_t{k.v[1]} << 32;
        return (a ^ (uint64_t{k.v[2]} * 0xC2B2AE3D27D4EB4FULL)) * 0x9E3779B97F4A7C15ULL;
    }
};

template <typename Key>
class ColourCache {
  public:
    // pixels: how many pixels the cache will see at most; a small image
    // gets a small cache. Without memory for the slots every colour is
    // converted.
    explicit ColourCache(uint64_t pixels = UINT64_MAX) {
        int bits = 4;
        while (bits < kMaxBits && (uint64_t{1} << bits) < pixels) ++bits;
        shift_ = 64 - bits;
        const size_t n = size_t{1} << bits;
        entries_.reset(new (std::nothrow) Entry[n]);
        if (entries_)
            for (size_t i = 0; i < n; ++i) entries_[i].key = CacheKey<Key>::empty();
    }

    // The colour of key, made by convert() (a KvzaPixel) when not cached.
    template <typename Convert>
    KvzaPixel get(const Key &key, Convert convert) {
        if (!entries_ || key == CacheKey<Key>::empty()) return convert();
        Entry &e = slot(key);
        if (!(e.key == key)) {
            e.key = key;
            e.colour = convert();
        }
        return e.colour;
    }

    // The cached colour of key, or null; put() stores one (for callers that
    // convert their misses together).
    const KvzaPixel *find(const Key &key) const {
        if (!entries_ || key == CacheKey<Key>::empty()) return nullptr;
        const Entry &e = slot(key);
        return e.key == key ? &e.colour : nullptr;
    }
    void put(const Key &key, const KvzaPixel &colour) {
        if (!entries_ || key == CacheKey<Key>::empty()) return;
        Entry &e = slot(key);
        e.key = key;
        e.colour = colour;
    }

    // The KVZ form of the red, green and blue channels of rgb (alpha 0).
    KvzaPixel kvz(const Key &key, const KvzaPixel &rgb) {
        return get(key, [&rgb] {
            KvzaPixel out{};
            kvza_rgb2kvz(&out, &rgb);
            return out;
        });
    }

    // The RGB form of the colour channels of kvz (alpha 0).
    KvzaPixel rgb(const Key &key, const KvzaPixel &kvz) {
        return get(key, [&kvz] {
            KvzaPixel out{};
            kvza_kvz2rgb(&out, &kvz);
            return out;
        });
    }

  private:
    // Key and colour side by side: one memory access per look-up.
    struct Entry {
        Key key;
        KvzaPixel colour;
    };
    Entry &slot(const Key &key) const {
        return entries_[static_cast<size_t>(CacheKey<Key>::hash(key) >> shift_)];
    }
    static constexpr int kMaxBits = 15;
    int shift_ = 64;
    std::unique_ptr<Entry[]> entries_;
};

// Whether looking a chunk of colours up in a cache is worth it. A photo holds
// a new colour in most pixels, and a look-up that misses costs about as much
// as converting the colour through the many-pixel conversion: after two
// chunks in a row where more than a quarter of the colours was missing, the
// next ones are converted without the cache, and every 16th tries it again.
// One such chunk alone does not count: a picture whose rows each start with
// new colours and then repeat them (a gradient, a pattern) keeps its cache.
// The colours are the same either way.
class CacheUse {
  public:
    bool wanted() {
        if (skip_ == 0) return true;
        --skip_;
        return false;
    }
    void record(uint32_t misses, uint32_t looked) {
        const bool poor = looked >= 64 && misses * 4 > looked;
        if (poor && poor_before_) skip_ = 15;
        poor_before_ = poor;
    }

  private:
    int skip_ = 0;
    bool poor_before_ = false;
};

// The most colours convert_chunk takes at once.
inline constexpr uint32_t kChunkMax = 1024;

// out[j] = the colour of in[j] for j < n (n <= kChunkMax, out is in or apart
// from it): from the cache by keys[j] where it holds it, the rest converted
// together by convert_n(dst, src, count) (a many-pixel conversion) and added
// to the cache; all converted while use finds the cache not worth it. The
// fourth float of out is the cached colour's or in's; callers set it.
template <typename Key, typename ConvertN>
void convert_chunk(ColourCache<Key> &cache, CacheUse &use, const Key *keys, const KvzaPixel *in,
                   KvzaPixel *out, uint32_t n, ConvertN convert_n) {
    if (!use.wanted()) {
        convert_n(out, in, n);
        return;
    }
    KvzaPixel missed[kChunkMax];
    uint32_t at[kChunkMax], misses = 0;
    for (uint32_t j = 0; j < n; ++j) {
        if (const KvzaPixel *hit = cache.find(keys[j])) {
            out[j] = *hit;
        } else {
            at[misses] = j;
            missed[misses++] = in[j];
        }
    }
    use.record(misses, n);
    if (misses == 0) return;
    convert_n(missed, missed, misses);
    for (uint32_t m = 0; m < misses; ++m) {
        out[at[m]] = missed[m];
        cache.put(keys[at[m]], missed[m]);
    }
}

}  // namespace kvza
