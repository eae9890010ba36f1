// nearest_memo.h - the nearest palette entries of recently seen colours. A
// picture repeats most of its colours, and with one palette, one set of
// weights and a target that follows from the colour alone, the scan's answer
// is a function of the colour's 16 bytes: a colour met again takes its
// answer from here. One slot per hash of the bytes; a new colour replaces
// the one in its slot.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "large_block.h"
#include "palette_index.h"
#include "parallel.h"

namespace kvza {

class NearestMemo {
  public:
    // Colours worth remembering for one worker's pass over a picture: more
    // slots than this cost more in clearing and cache misses than they save
    // in scans. The writers' row memos, which see a whole picture per
    // thread, may grow beyond it.
    static constexpr uint64_t kPassColours = uint64_t{1} << 16;

    // Room for about `colours` colours (2^10 .. 2^18 slots); without memory
    // for the slots every colour is scanned.
    explicit NearestMemo(uint64_t colours) {
        int bits = 10;
        while (bits < 18 && (uint64_t{1} << bits) < colours) ++bits;
        shift_ = 64 - bits;
        const size_t n = size_t{1} << bits;
        // Slots aligned to their size never straddle two cache lines.
        if (!block_.allocate(n * sizeof(Slot) + sizeof(Slot))) return;
        const auto at = reinterpret_cast<uintptr_t>(block_.data());
        slots_ = reinterpret_cast<Slot *>((at + sizeof(Slot) - 1) & ~uintptr_t{sizeof(Slot) - 1});
        std::memset(static_cast<void *>(slots_), 0xFF, n * sizeof(Slot));
    }

    // finder.nearest(mode, track_second, colour, p) for a target p that the
    // caller derives from colour alone, the same for every call on this memo.
    Nearest nearest(const PaletteIndex &finder, int32_t mode, bool track_second,
                    const KvzaPixel &colour, const KvzaPixel &p) {
        uint32_t key[4];
        std::memcpy(key, &colour, sizeof key);
        // All ones is the empty slot's key: such a colour is scanned every time.
        if (slots_ == nullptr || (key[0] & key[1] & key[2] & key[3]) == ~0U)
            return finder.nearest(mode, track_second, colour, p);
        Slot &s = slots_[hash(key) >> shift_];
        if (std::memcmp(s.key, key, sizeof key) != 0) {
            const Nearest found = finder.nearest(mode, track_second, colour, p);
            std::memcpy(s.key, key, sizeof key);
            s.best = found.best;
            s.second = found.second;
            s.best_i = found.best_i;
            s.second_i = found.exact ? kExact : found.second_i;
            return found;
        }
        Nearest n;
        n.best = s.best;
        n.second = s.second;
        n.best_i = s.best_i;
        n.exact = s.second_i == kExact;
        n.second_i = n.exact ? -1 : s.second_i;
        return n;
    }

    // Starts loading colour's slot, for a call a little later.
    void prefetch(const KvzaPixel &colour) const {
        if (slots_ == nullptr) return;
        uint32_t key[4];
        std::memcpy(key, &colour, sizeof key);
        __builtin_prefetch(&slots_[hash(key) >> shift_]);
    }

  private:
    // A scan's answer in 32 bytes: an exact match (whose second is always
    // -1) is marked by a second index no scan gives.
    static constexpr int32_t kExact = -2;
    struct alignas(32) Slot {
        uint32_t key[4];
        float best;
        float second;
        int32_t best_i;
        int32_t second_i;
    };
    static_assert(sizeof(Slot) == 32);
    static uint64_t hash(const uint32_t *k) {
        const uint64_t a = uint64_t{k[0]} | uint64_t{k[1]} << 32;
        const uint64_t b = uint64_t{k[2]} | uint64_t{k[3]} << 32;
        return (a ^ (b * 0xC2B2AE3D27D4EB4FULL)) * 0x9E3779B97F4A7C15ULL;
    }
    int shift_ = 64;
    kvza::ByteBlock block_;  // the slots, on large pages when large
    Slot *slots_ = nullptr;
};

// One memo per worker of run_workers for a pass over `pixels` pixels; a
// worker keeps its memo for every range it takes.
class WorkerMemos {
  public:
    explicit WorkerMemos(uint64_t pixels) {
        const unsigned workers = worker_count();
        try {
            memos_.reserve(workers);
            for (unsigned w = 0; w < workers; ++w)
                memos_.emplace_back(std::min(pixels / workers, NearestMemo::kPassColours));
        } catch (const std::bad_alloc &) {
            memos_.clear();  // every colour scanned
        }
    }

    // Worker w's memo; nullptr when there was no memory for them.
    NearestMemo *of(unsigned w) { return memos_.empty() ? nullptr : &memos_[w]; }

  private:
    std::vector<NearestMemo> memos_;
};

}  // namespace kvza
