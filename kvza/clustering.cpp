// The palette of a picture with more distinct colours than entries: a
// splitting cluster method in KVZ space. Every pixel is assigned to the
// nearest entry of a fixed seed palette, then the cluster with the largest
// alpha-weighted extent is split in two along its widest axis, into a free
// slot, until no slot is free or nothing is left to split; every entry
// finally moves to the mean of its pixels.
//
// The nearest entries and a split's counts and extremes are found on all
// cores and folded in storage order; the sums, whose rounding depends on the
// order, are made once at the end in storage order. The result is that of the
// one-pixel-at-a-time method.
#include "clustering.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <new>
#include <vector>

#include "internal.h"
#include "large_block.h"
#include "parallel.h"
#include "seeds.h"

namespace {

using kvza::binary_alpha;
using kvza::nearest_entry;
using kvza::normalised_alpha;

constexpr uint32_t kSlots = KVZA_PALETTE_ENTRIES;
constexpr int16_t kNone = -1;
// A split's pixels go out in this many ranges per core, a block of the
// assignment's in this many.
constexpr uint32_t kRangesPerCore = 8;
constexpr uint32_t kAssignRangesPerCore = 4;

// Channel indices of the statistics: c, s, w and alpha.
constexpr int kAlpha = 3;

float channel(const KvzaPixel &p, int ch) {
    switch (ch) {
        case 0:
            return p.c;
        case 1:
            return p.s;
        case 2:
            return p.w;
        default:
            return p.a;
    }
}

// Extremes and sum of one channel's differences pixel - centre in a slot.
struct ChannelStats {
    double min;
    double max;
    double sum;
    uint64_t min_pixel;  // pixel index that gave min, kNoPixel before any
    uint64_t max_pixel;
};

constexpr uint64_t kNoPixel = ~uint64_t{0};

// The count and extremes of pixels, as from reset() they were added one by
// one (the sums are made apart).
struct Figures {
    ChannelStats ch[4];
    uint32_t count;
    uint64_t first;  // index of the first pixel added, when count > 0
    uint64_t last;   // and of the last

    void reset() {
        for (ChannelStats &c : ch) c = ChannelStats{1e26, -1e28, 0.0, kNoPixel, kNoPixel};
        count = 0;
        first = 0;
        last = 0;
    }
};

struct Slot : Figures {
    float key;
    int16_t smaller;  // sorted list: toward smaller keys; free stack: next below
    int16_t larger;
};

// The offsets from b of the pixels before e whose owner byte is k, in
// order, into hits (room for e - b); returns their count. Sixteen bytes are
// compared at a time.
uint32_t owned_in(const uint8_t *owner, uint64_t b, uint64_t e, uint8_t k, uint32_t *hits) {
    uint32_t m = 0;
    uint64_t i = b;
#if defined(__SSE2__)
    const __m128i vk = _mm_set1_epi8(static_cast<char>(k));
    for (; i + 16 <= e; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(owner + i));
        auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vk)));
        while (bits != 0) {
            hits[m++] = static_cast<uint32_t>(i - b) + static_cast<uint32_t>(__builtin_ctz(bits));
            bits &= bits - 1;
        }
    }
#endif
    for (; i < e; ++i)
        if (owner[i] == k) hits[m++] = static_cast<uint32_t>(i - b);
    return m;
}

// Working data of one clustering run.
struct Work {
    KvzaPixel centre[kSlots];
    Slot slot[kSlots];
    int16_t head = kNone;      // sorted list of non-empty slots, largest key first
    int16_t free_top = kNone;  // stack of empty slots
    uint8_t *owner = nullptr;  // slot of every pixel
};

class Clustering {
  public:
    Clustering(KvzaImage *image, int32_t mode, uint32_t n, Work &work, KvzaProgress *progress)
        : image_(image),
          px_(image->pixels),
          pixels_(kvza::pixel_count(image)),
          mode_(mode),
          n_(n),
          channels_(mode == KVZA_ALPHA_OPAQUE ? 3 : 4),
          w_(work),
          progress_(progress) {}

    // Runs the whole method and writes the palette. 0 done, 2 stopped.
    int32_t run() {
        try {
            figures_.resize(
                std::max<size_t>(assign_ranges() * n_, size_t{2} * cores_ * kRangesPerCore));
        } catch (const std::bad_alloc &) {
            return KVZA_FAILED;
        }
        seed();
        if (!assign()) return KVZA_CANCELED;
        for (uint32_t k = 0; k < n_; ++k) {
            if (w_.slot[k].count > 0) {
                insert_sorted(static_cast<int16_t>(k));
                if (kvza::step(progress_)) return KVZA_CANCELED;
            } else {
                push_free(static_cast<int16_t>(k));
            }
        }
        if (!split_loop()) return KVZA_CANCELED;
        sum_differences();
        write_palette();
        return KVZA_OK;
    }

  private:
    void seed() {
        const uint32_t size = kvza::seed_size_for(n_);
        kvza::build_seed(size, w_.centre);
        for (uint32_t k = 0; k < kSlots; ++k) {
            w_.slot[k].smaller = kNone;
            w_.slot[k].larger = kNone;
        }
        for (uint32_t k = 0; k < n_; ++k) w_.centre[k].a = normalised_alpha(mode_, w_.centre[k].a);
        for (Slot &s : w_.slot) s.reset();
    }

    // Adds pixel p (index i) to a count and extremes of differences from
    // centre m. Later pixels win ties of the extremes. The sums are made
    // apart, once, when the palette is written (sum_differences).
    static void add_extremes(Figures &fig, const KvzaPixel &p, const KvzaPixel &m, uint64_t i,
                             int channels) {
        ChannelStats *st = fig.ch;
        if (fig.count++ == 0) fig.first = i;
        fig.last = i;
        for (int ch = 0; ch < channels; ++ch) {
            const double d = static_cast<double>(channel(p, ch)) - channel(m, ch);
            if (d <= st[ch].min) {
                st[ch].min = d;
                st[ch].min_pixel = i;
            }
            if (d >= st[ch].max) {
                st[ch].max = d;
                st[ch].max_pixel = i;
            }
        }
    }

    // h's pixels (owner byte hb) among those from b to e: each to the nearer
    // of pair (kvza_nearpal's choice; f's marked fb in owner), added to
    // side_of[0] or side_of[1]. The mode is a template argument, so the
    // scan and the channel loop are laid out for it.
    template <int32_t Mode>
    static void split_range(const KvzaPixel *px, uint8_t *owner, uint64_t b, uint64_t e, uint8_t hb,
                            uint8_t fb, const KvzaPixel *pair, Figures *side_of) {
        constexpr int kChannels = Mode == KVZA_ALPHA_OPAQUE ? 3 : 4;
        // h's pixels are scattered over the picture: those of a window are
        // found first and their loads started together, so that their
        // cache misses overlap instead of following one another.
        constexpr uint64_t kWindow = 512;
        uint32_t hits[kWindow];
        for (uint64_t w = b; w < e; w += kWindow) {
            const uint32_t m = owned_in(owner, w, std::min(e, w + kWindow), hb, hits);
            for (uint32_t j = 0; j < m; ++j) __builtin_prefetch(px + w + hits[j]);
            for (uint32_t j = 0; j < m; ++j) {
                const uint64_t i = w + hits[j];
                const KvzaPixel &p = px[i];
                const int side = kvza::scan_reference<Mode, false>(
                                     pair, 2, p, kvza::nearpal_target(Mode, p), 1.0f, 1.0f, 1.0f)
                                     .best_i;
                if (side == 1) owner[i] = fb;
                add_extremes(side_of[side], p, pair[side], i, kChannels);
            }
        }
    }

    // Folds in the figures of a later range of pixels: the same as adding
    // those pixels one by one.
    static void merge(Figures &fig, const Figures &later, int channels) {
        if (later.count == 0) return;
        if (fig.count == 0) fig.first = later.first;
        fig.last = later.last;
        fig.count += later.count;
        const ChannelStats *st = later.ch;
        for (int ch = 0; ch < channels; ++ch) {
            ChannelStats &into = fig.ch[ch];
            if (st[ch].min_pixel != kNoPixel && st[ch].min <= into.min) {
                into.min = st[ch].min;
                into.min_pixel = st[ch].min_pixel;
            }
            if (st[ch].max_pixel != kNoPixel && st[ch].max >= into.max) {
                into.max = st[ch].max;
                into.max_pixel = st[ch].max_pixel;
            }
        }
    }

    // Each slot's sum of differences pixel - centre over its pixels, in
    // storage order (the order fixes the roundings). A slot's pixels and
    // centre stay as they are from its last split (or the assignment) on,
    // so this is the sum that split would have made.
    void sum_differences() {
        for (uint32_t k = 0; k < kSlots; ++k)
            for (ChannelStats &c : w_.slot[k].ch) c.sum = 0.0;
        const uint8_t *owner = w_.owner;
        for (uint64_t i = 0; i < pixels_; ++i) {
            const KvzaPixel &p = px_[i];
            Slot &s = w_.slot[owner[i]];
            const KvzaPixel &m = w_.centre[owner[i]];
            for (int ch = 0; ch < channels_; ++ch)
                s.ch[ch].sum += static_cast<double>(channel(p, ch)) - channel(m, ch);
        }
    }

    // Every pixel to its nearest seed entry; one progress step per pixel.
    // Each block of pixels is cut into a few ranges per core; a range's
    // nearest entries and its figures for every slot are made on all cores,
    // then folded in storage order here. Each worker has a memo of its own,
    // so a colour it met before is not scanned again.
    bool assign() {
        constexpr uint64_t kBlock = uint64_t{1} << 20;
        uint8_t *owner = w_.owner;
        const KvzaPixel *centres = w_.centre;
        const KvzaPixel *px = px_;
        const int32_t mode = mode_;
        const uint32_t n = n_;
        const int channels = channels_;
        const kvza::PaletteIndex finder(centres, n, 1.0f, 1.0f, 1.0f);
        const uint64_t ranges = assign_ranges();
        Figures *fig = figures_.data();  // n per range
        kvza::WorkerMemos memos(pixels_);
        for (uint64_t start = 0; start < pixels_; start += kBlock) {
            const uint64_t len = pixels_ - start < kBlock ? pixels_ - start : kBlock;
            kvza::run_workers(
                ranges,
                [=, &finder, &memos](unsigned worker, uint64_t rb, uint64_t re) {
                    kvza::NearestMemo *memo = memos.of(worker);
                    for (uint64_t r = rb; r < re; ++r) {
                        Figures *part = fig + r * n;
                        for (uint32_t k = 0; k < n; ++k) part[k].reset();
                        const uint64_t b = start + len * r / ranges;
                        const uint64_t e = start + len * (r + 1) / ranges;
                        for (uint64_t i = b; i < e; ++i) {
                            const int32_t k = nearest_entry(finder, mode, centres, n, px[i], memo);
                            owner[i] = static_cast<uint8_t>(k);
                            add_extremes(part[k], px[i], centres[k], i, channels);
                        }
                    }
                },
                len < kvza::kParallelMin ? ranges + 1 : 1);
            for (uint64_t r = 0; r < ranges; ++r)
                for (uint32_t k = 0; k < n; ++k) merge(w_.slot[k], fig[r * n + k], channels_);
            for (uint64_t i = 0; i < len; ++i)
                if (kvza::step(progress_)) return false;
        }
        return true;
    }

    // Ranges of pixels per block of the assignment.
    uint64_t assign_ranges() const { return uint64_t{cores_} * kAssignRangesPerCore; }

    double extent(int16_t k, int ch) const { return w_.slot[k].ch[ch].max - w_.slot[k].ch[ch].min; }

    float key(int16_t k) const {
        const double a = w_.centre[k].a;
        const double ec = extent(k, 0), es = extent(k, 1), ew = extent(k, 2);
        return static_cast<float>(a * a * (ec * ec + es * es + ew * ew));
    }

    // Places k in front of the first slot whose key is not greater than k's,
    // so among equal keys the latest inserted is nearest the head.
    void insert_sorted(int16_t k) {
        Slot &s = w_.slot[k];
        s.key = key(k);
        int16_t prev = kNone;
        int16_t cur = w_.head;
        while (cur != kNone && w_.slot[cur].key > s.key) {
            prev = cur;
            cur = w_.slot[cur].smaller;
        }
        s.larger = prev;
        s.smaller = cur;
        if (prev == kNone) {
            w_.head = k;
        } else {
            w_.slot[prev].smaller = k;
        }
        if (cur != kNone) w_.slot[cur].larger = k;
    }

    void push_free(int16_t k) {
        w_.slot[k].smaller = w_.free_top;
        w_.slot[k].larger = kNone;
        if (w_.free_top != kNone) w_.slot[w_.free_top].larger = k;
        w_.free_top = k;
    }

    int16_t pop_free() {
        const int16_t k = w_.free_top;
        w_.free_top = w_.slot[k].smaller;
        return k;
    }

    // Puts k back where it belongs after a split: sorted when it has pixels,
    // on the free stack when not.
    void place(int16_t k) {
        if (w_.slot[k].count > 0) {
            insert_sorted(k);
        } else {
            push_free(k);
        }
    }

    // Splits the slot with the largest key into a free slot while both exist
    // and the key is positive.
    bool split_loop() {
        // A split that leaves everything in h with h's centre unchanged
        // would repeat itself for ever; such a slot is kept out of the list.
        // The count of fruitless splits in a row is a last guard against a
        // longer cycle, which only degenerate float data could produce.
        constexpr uint32_t kMaxFruitless = 16 * kSlots;
        uint32_t fruitless = 0;
        while (w_.free_top != kNone) {
            const int16_t h = w_.head;
            if (h == kNone || !(w_.slot[h].key > 0.0f)) break;
            w_.head = w_.slot[h].smaller;
            if (w_.head != kNone) w_.slot[w_.head].larger = kNone;
            const int16_t f = pop_free();
            const KvzaPixel old_centre = w_.centre[h];
            const bool any = split(h, f);
            place(f);
            const bool stuck = w_.slot[f].count == 0;
            if (stuck && kvza::same_bytes(old_centre, w_.centre[h])) {
                w_.slot[h].smaller = kNone;
                w_.slot[h].larger = kNone;
            } else {
                place(h);
            }
            if (!any && kvza::step(progress_)) return false;
            fruitless = stuck ? fruitless + 1 : 0;
            if (fruitless > kMaxFruitless) break;
        }
        return true;
    }

    // Centre for one end of h's widest axis; h's old centre when no pixel
    // gave a comparable difference (not-a-number data).
    KvzaPixel end_pixel(int16_t h, uint64_t ref) const {
        return ref == kNoPixel ? w_.centre[h] : px_[ref];
    }

    // Splits slot h into h and f along h's widest axis; true when any pixel
    // ended in either.
    bool split(int16_t h, int16_t f) {
        const Slot &s = w_.slot[h];
        const double ec = extent(h, 0), es = extent(h, 1), ew = extent(h, 2);
        int axis = 0;
        double widest = ec;
        if (es > ec) {
            axis = 1;
            widest = es;
        }
        if (ew > widest) axis = 2;
        KvzaPixel ch = end_pixel(h, s.ch[axis].min_pixel);
        KvzaPixel cf = end_pixel(h, s.ch[axis].max_pixel);
        float a = 1.0f;
        if (mode_ != KVZA_ALPHA_OPAQUE) {
            a = end_pixel(h, s.ch[kAlpha].max_pixel).a;
            if (mode_ == KVZA_ALPHA_BINARY) a = binary_alpha(a);
        }
        ch.a = a;
        cf.a = a;
        // Only the stretch from h's first pixel to its last is looked at.
        const uint64_t from = s.first;
        const uint64_t span = s.last + 1 - s.first;
        w_.centre[h] = ch;
        w_.centre[f] = cf;
        w_.slot[h].reset();
        w_.slot[f].reset();

        const KvzaPixel pair[2] = {ch, cf};
        uint8_t *owner = w_.owner;
        const auto hb = static_cast<uint8_t>(h);
        const auto fb = static_cast<uint8_t>(f);
        // Which of the two centres each of h's pixels is nearer, with the
        // counts and extremes of each range of pixels, on all cores; the
        // ranges' figures are then folded in storage order.
        const int32_t mode = mode_;
        const KvzaPixel *px = px_;
        // Two figures per range: the pixels staying in h, those going to f.
        Figures *part = figures_.data();
        const uint64_t ranges = std::min<uint64_t>(span, uint64_t{cores_} * kRangesPerCore);
        for (uint64_t j = 0; j < 2 * ranges; ++j) part[j].reset();
        kvza::run_parts(
            ranges,
            [=, &pair](uint64_t rb, uint64_t re) {
                for (uint64_t r = rb; r < re; ++r) {
                    const uint64_t b = from + span * r / ranges;
                    const uint64_t e = from + span * (r + 1) / ranges;
                    if (mode == KVZA_ALPHA_OPAQUE) {
                        split_range<KVZA_ALPHA_OPAQUE>(px, owner, b, e, hb, fb, pair, part + 2 * r);
                    } else if (mode == KVZA_ALPHA_BINARY) {
                        split_range<KVZA_ALPHA_BINARY>(px, owner, b, e, hb, fb, pair, part + 2 * r);
                    } else {
                        split_range<KVZA_ALPHA_FULL>(px, owner, b, e, hb, fb, pair, part + 2 * r);
                    }
                }
            },
            span < kvza::kParallelMin ? ranges + 1 : 1);
        for (uint64_t r = 0; r < ranges; ++r) {
            merge(w_.slot[h], part[2 * r], channels_);
            merge(w_.slot[f], part[2 * r + 1], channels_);
        }
        return w_.slot[h].count > 0 || w_.slot[f].count > 0;
    }

    // Every entry becomes its centre moved by the mean difference of its
    // pixels, clipped to the colour solid.
    void write_palette() {
        for (uint32_t k = 0; k < n_; ++k) {
            KvzaPixel c = w_.centre[k];
            const Slot &s = w_.slot[k];
            if (s.count > 0) {
                const float r = 1.0f / static_cast<float>(s.count);
                c.c = static_cast<float>(c.c + s.ch[0].sum * r);
                c.s = static_cast<float>(c.s + s.ch[1].sum * r);
                c.w = static_cast<float>(c.w + s.ch[2].sum * r);
                if (mode_ != KVZA_ALPHA_OPAQUE) {
                    const auto a = static_cast<float>(c.a + s.ch[kAlpha].sum * r);
                    c.a = mode_ == KVZA_ALPHA_BINARY ? binary_alpha(a) : a;
                }
            }
            kvza_clipkvza(&image_->palette[k], &c);
        }
    }

    KvzaImage *image_;
    const KvzaPixel *px_;
    uint64_t pixels_;
    int32_t mode_;
    uint32_t n_;
    int channels_;
    Work &w_;
    KvzaProgress *progress_;
    // Figures of ranges of pixels made on all cores: per range of a block of
    // the assignment, one for each slot; per range of a split, two.
    std::vector<Figures> figures_;
    const uint32_t cores_ = kvza::worker_count();
};

// Working data for one run; released on destruction.
class WorkData {
  public:
    // ok() is false when either allocation failed.
    explicit WorkData(uint64_t pixels) : work_(new (std::nothrow) Work{}) {
        // The slot bytes are written for every pixel before any is read.
        if (work_ != nullptr && owner_.allocate(pixels)) work_->owner = owner_.data();
    }
    ~WorkData() { delete work_; }
    WorkData(const WorkData &) = delete;
    WorkData &operator=(const WorkData &) = delete;

    bool ok() const { return work_ != nullptr && work_->owner != nullptr; }
    Work &get() { return *work_; }

  private:
    Work *work_;
    kvza::ByteBlock owner_;  // one slot byte per pixel
};

}  // namespace

namespace kvza {

int32_t cluster_palette(KvzaImage *image, int32_t alphamode, uint32_t n, KvzaProgress *progress) {
    WorkData work(pixel_count(image));
    if (!work.ok()) return KVZA_FAILED;
    return Clustering(image, alphamode, n, work.get(), progress).run();
}

}  // namespace kvza
