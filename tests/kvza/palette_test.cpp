// Ordered-dither decisions and palette searches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kvza.h"

namespace {

// Top-left 8 x 8 block of the default threshold table.
constexpr uint8_t kBlock[8][8] = {
    {7, 231, 52, 203, 11, 248, 55, 199},  {173, 115, 190, 87, 146, 81, 180, 103},
    {40, 196, 20, 221, 33, 229, 26, 242}, {158, 82, 160, 126, 130, 100, 149, 85},
    {9, 240, 61, 227, 0, 234, 48, 204},   {169, 69, 182, 107, 155, 112, 185, 77},
    {47, 200, 29, 246, 43, 209, 31, 251}, {136, 119, 141, 89, 132, 64, 167, 124},
};

int ones_in_block(uint32_t value, uint32_t levels, const uint8_t *table) {
    int n = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) n += kvza_getdither(value, x, y, levels, table);
    return n;
}

}  // namespace

TEST(Dither, DefaultTableBlock) {
    // Value v at full resolution is 1 exactly where the table byte is below v.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const uint32_t b = kBlock[y][x];
            EXPECT_EQ(kvza_getdither(b + 1, x, y, 256, nullptr), 1) << x << "," << y;
            EXPECT_EQ(kvza_getdither(b, x, y, 256, nullptr), 0) << x << "," << y;
        }
    }
}

TEST(Dither, LevelsCoarsenTheValue) {
    EXPECT_EQ(ones_in_block(200, 0, nullptr), 0);
    EXPECT_EQ(ones_in_block(0, 256, nullptr), 0);
    EXPECT_EQ(ones_in_block(255, 256, nullptr), 64);
    EXPECT_EQ(ones_in_block(255, 100000, nullptr), 64);  // above 256 counts as 256
    // Two levels: 128 stays 128, and the block has 32 bytes below 128.
    EXPECT_EQ(ones_in_block(128, 2, nullptr), 32);
    // 127 with two levels rounds down to 0.
    EXPECT_EQ(ones_in_block(127, 2, nullptr), 0);
    // Only the low byte of the value counts.
    EXPECT_EQ(ones_in_block(256 + 128, 2, nullptr), 32);
}

TEST(Dither, PositionRepeatsEveryEightAndCustomTables) {
    for (int v = 0; v < 256; v += 17)
        for (int y = -8; y < 16; ++y)
            for (int x = -8; x < 16; ++x)
                ASSERT_EQ(kvza_getdither(v, x, y, 256, nullptr),
                          kvza_getdither(v, x + 8, y + 8, 256, nullptr));
    std::vector<uint8_t> table(256, 255);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) table[y * 16 + x] = static_cast<uint8_t>(y * 8 + x);
    EXPECT_EQ(ones_in_block(10, 256, table.data()), 10);        // bytes 0..9 are below 10
    EXPECT_EQ(kvza_getdither(10, 9, 0, 256, table.data()), 1);  // column 9 reads column 1
}

TEST(NearestEntry, ExactCopyWinsOverEqualDistance) {
    KvzaPixel pal[8] = {};
    for (int i = 0; i < 8; ++i) pal[i] = {0, 0, static_cast<float>(i) / 8, 1};
    pal[2] = {0.1f, 0, 0, 1};
    pal[5] = {0.1f, 0, 0, 1};
    const KvzaPixel colour{0.1f, 0, 0, 1};
    EXPECT_EQ(kvza_nearpal(0, pal, 8, &colour, 1, 1, 1), 2);  // first exact copy
    pal[2] = {-0.1f, 0, 0, 1};  // same distance from (0.1, 0, 0) as (0.3, 0, 0)
    pal[5] = {0.3f, 0, 0, 1};
    const KvzaPixel mid{0.1f, 0, 0, 1};
    pal[6] = mid;
    EXPECT_EQ(kvza_nearpal(0, pal, 8, &mid, 1, 1, 1), 6);
    const KvzaPixel off{0.1f, 0, 0, 0.5f};  // not an exact copy: earliest nearest wins
    EXPECT_EQ(kvza_nearpal(0, pal, 8, &off, 1, 1, 1), 6);
}

TEST(NearestEntry, MissingInputsGiveZero) {
    KvzaPixel pal[2] = {{0, 0, 0, 1}, {1, 0, 0, 1}};
    const KvzaPixel c{1, 0, 0, 0.5f};
    EXPECT_EQ(kvza_nearpal(0, nullptr, 2, &c, 1, 1, 1), 0);
    EXPECT_EQ(kvza_nearpal(0, pal, 2, nullptr, 1, 1, 1), 0);
    EXPECT_EQ(kvza_nearpal(0, pal, 0, &c, 1, 1, 1), 0);
    EXPECT_EQ(kvza_nearpal_dit(0, pal, 0, &c, 1, 1, 1, 0, 0, 256, nullptr), 0);
}

TEST(NearestEntry, AlphaModes) {
    KvzaPixel pal[3] = {{0, 0, 0.1f, 1}, {0, 0, 0.5f, 0.0005f}, {0, 0, 0.9f, 0}};
    const KvzaPixel clear{0, 0, 0.1f, 0};
    // Mode 0 ignores alpha.
    EXPECT_EQ(kvza_nearpal(0, pal, 3, &clear, 1, 1, 1), 0);
    // Mode 1: transparent target prefers the transparent class (0.0005 < 0.001).
    EXPECT_EQ(kvza_nearpal(1, pal, 3, &clear, 1, 1, 1), 1);
    const KvzaPixel faint{0, 0, 0.9f, 0.002f};  // counts as opaque
    EXPECT_EQ(kvza_nearpal(1, pal, 3, &faint, 1, 1, 1), 0);
    // Mode 2: a fully transparent target multiplies every non-transparent
    // entry's distance, so the only alpha-0 entry wins though far in colour.
    EXPECT_EQ(kvza_nearpal(2, pal, 3, &clear, 1, 1, 1), 2);
    EXPECT_EQ(kvza_nearpal(7, pal, 3, &clear, 1, 1, 1), 2);  // any other value is mode 2
    // Alpha weight scales the alpha term.
    KvzaPixel two[2] = {{0, 0, 0, 1}, {0, 0, 0.3f, 0.5f}};
    const KvzaPixel half{0, 0, 0, 0.5f};
    // Distances: entry 0 has alpha term 0.25, entry 1 whiteness term 0.09.
    EXPECT_EQ(kvza_nearpal(2, two, 2, &half, 1, 1, 1), 1);
    EXPECT_EQ(kvza_nearpal(2, two, 2, &half, 1, 1, 0.1f), 0);  // 0.025 < 0.09
}

TEST(DitheredEntry, SingleEntryAndExactMatches) {
    KvzaPixel one{0.2f, 0.1f, 0, 1};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const KvzaPixel c{static_cast<float>(x) / 8, 0, static_cast<float>(y) / 8, 1};
            ASSERT_EQ(kvza_nearpal_dit(2, &one, 1, &c, 1, 1, 1, x, y, 256, nullptr), 0);
        }
}

TEST(DitheredEntry, MidpointChoosesSecondOnHalfTheBlock) {
    // Target exactly between two entries: r = 0.5 x 256 = 128, so the second
    // entry is taken where the table byte is below 128 (32 of 64 positions).
    KvzaPixel pal[2] = {{0, 0, -0.5f, 1}, {0, 0, 0.5f, 1}};
    const KvzaPixel mid{0, 0, 0, 1};
    int second = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int i = kvza_nearpal_dit(0, pal, 2, &mid, 1, 1, 1, x, y, 256, nullptr);
            EXPECT_EQ(i, kBlock[y][x] < 128 ? 1 : 0);
            second += i;
        }
    EXPECT_EQ(second, 32);
    // Dither levels 0: always the nearest.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(kvza_nearpal_dit(0, pal, 2, &mid, 1, 1, 1, x, y, 0, nullptr), 0);
}

TEST(DitheredEntry, BinaryAlphaDithersTransparency) {
    // Opaque black and transparent black; alpha 0.5 -> 127 at full resolution.
    KvzaPixel pal[2] = {{0, 0, -1, 1}, {0, 0, -1, 0}};
    const KvzaPixel half{0, 0, -1, 0.5f};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int i = kvza_nearpal_dit(1, pal, 2, &half, 1, 1, 1, x, y, 256, nullptr);
            EXPECT_EQ(i, kBlock[y][x] < 127 ? 0 : 1) << x << "," << y;
        }
}

TEST(DitheredEntry, TransparentBestIsNeverDithered) {
    // Best entry fully transparent: in alpha modes 1 and 2 it is returned as is.
    KvzaPixel pal[2] = {{0, 0, 0.1f, 0}, {0, 0, 0.3f, 0}};
    const KvzaPixel c{0, 0, 0.2f, 0};  // halfway: mode 0 would dither
    int mode0 = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(kvza_nearpal_dit(2, pal, 2, &c, 1, 1, 1, x, y, 256, nullptr), 0);
            mode0 += kvza_nearpal_dit(0, pal, 2, &c, 1, 1, 1, x, y, 256, nullptr);
        }
    EXPECT_GT(mode0, 0);
}

// Runs of a row through kvza_nearpal_dit_row give the one-pixel call's
// entries, also when one thread's calls change the palette (in place or by
// one entry), its length, the weights or the mode between runs of pixels it
// has seen before: answers remembered for one palette never serve another.
TEST(DitheredRow, RunsGiveTheOnePixelChoicesWhateverChangesBetweenCalls) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    auto colour = [&] {
        return KvzaPixel{unit(rng) * 0.6f, unit(rng) * 0.6f, unit(rng), (unit(rng) + 1.0f) * 0.5f};
    };
    std::vector<KvzaPixel> palette(40);
    for (KvzaPixel &e : palette) e = colour();
    palette[5].a = 0.0f;
    std::vector<KvzaPixel> pool(300);
    for (KvzaPixel &c : pool) c = colour();
    pool[0] = palette[3];  // an exact entry
    const float nan = std::numeric_limits<float>::quiet_NaN();
    pool[1] = {nan, 0.1f, 0.2f, 1.0f};
    uint32_t ones[4] = {~0U, ~0U, ~0U, ~0U};  // the bits an empty memo slot holds
    std::memcpy(&pool[2], ones, sizeof ones);
    std::vector<KvzaPixel> pixels(3000);
    for (KvzaPixel &p : pixels) p = pool[rng() % pool.size()];

    struct Call {
        int32_t mode;
        uint32_t count;
        float wc, ww, wa;
        int changed_entry;  // -1: palette as before
    };
    const Call calls[] = {{2, 40, 1, 1, 1, -1},    {2, 40, 1, 1, 1, 7},     {2, 39, 1, 1, 1, -1},
                          {2, 39, 2, 0.5f, 1, -1}, {0, 39, 2, 0.5f, 1, -1}, {1, 39, 2, 0.5f, 1, -1},
                          {0, 39, 2, 0.5f, 1, 3},  {0, 39, 2, 0.5f, 1, -1}};
    const uint32_t levels = 128;
    for (const Call &call : calls) {
        if (call.changed_entry >= 0) palette[call.changed_entry] = colour();  // in place
        constexpr uint32_t kRun = 700;
        std::vector<int32_t> out(kRun);
        for (uint32_t at = 0; at < pixels.size(); at += kRun) {
            const uint32_t n = std::min<uint32_t>(kRun, static_cast<uint32_t>(pixels.size()) - at);
            const int32_t x = static_cast<int32_t>(at % 1000), y = static_cast<int32_t>(at / 1000);
            kvza_nearpal_dit_row(call.mode, palette.data(), call.count, &pixels[at], n, call.wc,
                                 call.ww, call.wa, x, y, levels, nullptr, out.data());
            for (uint32_t j = 0; j < n; ++j) {
                const int32_t want = kvza_nearpal_dit(
                    call.mode, palette.data(), call.count, &pixels[at + j], call.wc, call.ww,
                    call.wa, x + static_cast<int32_t>(j), y, levels, nullptr);
                ASSERT_EQ(out[j], want)
                    << "mode " << call.mode << " count " << call.count << " pixel " << at + j;
            }
        }
    }
}

// A long picture makes the thread's memo grow partway through: the answers
// stay the one-pixel call's before, across and after the growth, and an
// entry changed in place afterwards is not served from the grown memo.
TEST(DitheredRow, AnswersHoldWhileTheMemoGrows) {
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    auto colour = [&] { return KvzaPixel{unit(rng) * 0.6f, unit(rng) * 0.6f, unit(rng), 1.0f}; };
    std::vector<KvzaPixel> palette(64);
    for (KvzaPixel &e : palette) e = colour();
    std::vector<KvzaPixel> pixels(4096);
    for (KvzaPixel &p : pixels) p = colour();
    pixels[9] = palette[20];
    const auto n = static_cast<uint32_t>(pixels.size());
    std::vector<int32_t> want(n), out(n);
    auto expected = [&] {
        for (uint32_t j = 0; j < n; ++j)
            want[j] = kvza_nearpal_dit(0, palette.data(), 64, &pixels[j], 1, 1, 1,
                                       static_cast<int32_t>(j), 3, 128, nullptr);
    };
    expected();
    // Well past the million pixels after which the memo grows.
    for (int pass = 0; pass < 400; ++pass) {
        kvza_nearpal_dit_row(0, palette.data(), 64, pixels.data(), n, 1, 1, 1, 0, 3, 128, nullptr,
                             out.data());
        ASSERT_EQ(out, want) << "pass " << pass;
    }
    palette[20] = colour();
    for (int e = 0; e < 64; e += 3) palette[e] = colour();
    expected();
    kvza_nearpal_dit_row(0, palette.data(), 64, pixels.data(), n, 1, 1, 1, 0, 3, 128, nullptr,
                         out.data());
    EXPECT_EQ(out, want);
}
