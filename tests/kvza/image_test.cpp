// Pixel addressing, fill, rectangle copy, clipping and progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "image_block.h"

using kvzatest::at;
using kvzatest::make_image;

namespace {

// Index of the pixel an address resolves to, or -1 for the border field.
long resolved(KvzaImage *image, int x, int y) {
    KvzaPixel *p = kvza_getpixptr(image, x, y);
    if (p == &image->border) return -1;
    return p - image->pixels;
}

// A 4 x 3 image whose pixel i holds c = i, so copies can be traced.
kvzatest::ImagePtr numbered(int w, int h) {
    auto image = make_image(w, h);
    for (int i = 0; i < w * h; ++i) image->pixels[i] = {static_cast<float>(i), 0, 0, 1};
    return image;
}

struct Recorder {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    int32_t stop_at = 0;  // stop on this call (1-based); 0 never
    static int32_t callback(void *self, uint32_t done, uint32_t total) {
        auto *r = static_cast<Recorder *>(self);
        r->calls.emplace_back(done, total);
        return r->stop_at != 0 && static_cast<int32_t>(r->calls.size()) >= r->stop_at ? 1 : 0;
    }
    KvzaProgress record(uint32_t interval = 0) { return {&callback, this, interval, 0, 0, 0}; }
};

}  // namespace

TEST(WrapModes, WrapTilesBothDirections) {
    auto image = make_image(4, 1);
    image->wrapx = KVZA_WRAP_WRAP;
    EXPECT_EQ(resolved(image.get(), -1, 0), 3);
    EXPECT_EQ(resolved(image.get(), -4, 0), 0);
    EXPECT_EQ(resolved(image.get(), 4, 0), 0);
    EXPECT_EQ(resolved(image.get(), 9, 0), 1);
    EXPECT_EQ(resolved(image.get(), -5, 0), 3);
    EXPECT_EQ(resolved(image.get(), INT32_MIN, 0), 0);  // 2^31 is a multiple of 4
}

TEST(WrapModes, MirrorReflects) {
    auto image = make_image(4, 1);
    image->wrapx = KVZA_WRAP_MIRROR;
    EXPECT_EQ(resolved(image.get(), -1, 0), 1);
    EXPECT_EQ(resolved(image.get(), -4, 0), 3);
    EXPECT_EQ(resolved(image.get(), 4, 0), 3);
    EXPECT_EQ(resolved(image.get(), 5, 0), 2);
    EXPECT_EQ(resolved(image.get(), 8, 0), 0);
    EXPECT_EQ(resolved(image.get(), 9, 0), 1);
    EXPECT_EQ(resolved(image.get(), 3, 0), 3);
}

TEST(WrapModes, BorderOnEitherAxisGivesBorderField) {
    auto image = make_image(4, 3);
    image->wrapx = KVZA_WRAP_BORDER;
    image->wrapy = KVZA_WRAP_BORDER;
    EXPECT_EQ(resolved(image.get(), 2, -1), -1);
    EXPECT_EQ(resolved(image.get(), 2, 3), -1);
    EXPECT_EQ(resolved(image.get(), 4, 1), -1);
    EXPECT_EQ(resolved(image.get(), 2, 1), 2 + 4);
    // Border only on y: an x outside clamps, a y outside gives the border.
    image->wrapx = KVZA_WRAP_CLAMP;
    EXPECT_EQ(resolved(image.get(), 7, 1), 3 + 4);
    EXPECT_EQ(resolved(image.get(), 1, -2), -1);
}

TEST(WrapModes, ClampAndUnknownValues) {
    auto image = make_image(4, 3);
    EXPECT_EQ(resolved(image.get(), -3, -3), 0);
    EXPECT_EQ(resolved(image.get(), 10, 10), 3 + 2 * 4);
    image->wrapx = 7;
    image->wrapy = 200;
    EXPECT_EQ(resolved(image.get(), -1, 5), 0 + 2 * 4);
    EXPECT_EQ(resolved(image.get(), 4, -1), 3);
}

TEST(WrapModes, AxesResolveIndependently) {
    auto image = make_image(4, 3);
    image->wrapx = KVZA_WRAP_WRAP;
    image->wrapy = KVZA_WRAP_MIRROR;
    EXPECT_EQ(resolved(image.get(), -1, -1), 3 + 1 * 4);
    EXPECT_EQ(resolved(image.get(), 5, 3), 1 + 2 * 4);
}

TEST(Fill, SetsEveryPixelAndCountsSteps) {
    auto image = make_image(3, 2);
    const KvzaPixel colour{0.25f, -0.5f, 0.75f, 0.5f};
    Recorder rec;
    KvzaProgress progress = rec.record(1);
    ASSERT_EQ(kvza_clr(image.get(), &colour, &progress), KVZA_OK);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(std::memcmp(&image->pixels[i], &colour, 16), 0);
    // Interval 1: the callback runs after steps 2, 4, 6, then the final report.
    std::vector<std::pair<uint32_t, uint32_t>> want{{2, 6}, {4, 6}, {6, 6}, {6, 6}};
    EXPECT_EQ(rec.calls, want);
    EXPECT_EQ(kvza_clr(nullptr, &colour, nullptr), KVZA_FAILED);
    EXPECT_EQ(kvza_clr(image.get(), nullptr, nullptr), KVZA_FAILED);
}

TEST(Fill, StopKeepsFilledPixels) {
    auto image = make_image(3, 1);
    const KvzaPixel colour{1, 1, 1, 1};
    Recorder rec;
    rec.stop_at = 2;
    KvzaProgress progress = rec.record(0);
    EXPECT_EQ(kvza_clr(image.get(), &colour, &progress), KVZA_CANCELED);
    EXPECT_EQ(at(image.get(), 1, 0).a, 1.0f);
    EXPECT_EQ(at(image.get(), 2, 0).a, 0.0f);
    EXPECT_EQ(rec.calls.size(), 2u);  // no final report after a stop
}

TEST(Copy, ShiftedOntoItselfRunsBackwards) {
    auto image = numbered(4, 3);
    auto original = numbered(4, 3);
    ASSERT_EQ(kvza_copy(image.get(), 1, 1, image.get(), 0, 0, 3, 2, 0, 1.0f, nullptr), KVZA_OK);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(at(image.get(), x + 1, y + 1).c, at(original.get(), x, y).c);
    // Shifted up and left the forward order is the safe one.
    auto other = numbered(4, 3);
    ASSERT_EQ(kvza_copy(other.get(), 0, 0, other.get(), 1, 1, 3, 2, 0, 1.0f, nullptr), KVZA_OK);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(at(other.get(), x, y).c, at(original.get(), x + 1, y + 1).c);
}

TEST(Copy, OverflowingColumnsLandInLastColumnUnderClamp) {
    auto dst = make_image(3, 1);
    auto src = numbered(4, 1);
    ASSERT_EQ(kvza_copy(dst.get(), 1, 0, src.get(), 0, 0, 4, 1, 0, 1.0f, nullptr), KVZA_OK);
    EXPECT_EQ(at(dst.get(), 1, 0).c, 0.0f);
    // Destination columns 2, 3 and 4 all resolve to column 2. The copy runs
    // right to left (dst x > src x), so the last write there is source column 1.
    EXPECT_EQ(at(dst.get(), 2, 0).c, 1.0f);
}

TEST(Copy, SourceOutsideResolvesThroughSourceWrap) {
    auto dst = make_image(2, 1);
    auto src = numbered(4, 1);
    src->wrapx = KVZA_WRAP_WRAP;
    ASSERT_EQ(kvza_copy(dst.get(), 0, 0, src.get(), -1, 0, 2, 1, 0, 1.0f, nullptr), KVZA_OK);
    EXPECT_EQ(at(dst.get(), 0, 0).c, 3.0f);
    EXPECT_EQ(at(dst.get(), 1, 0).c, 0.0f);
}

TEST(Copy, MixModeUsesSourceAlphaTimesFactor) {
    auto dst = make_image(1, 1);
    auto src = make_image(1, 1);
    dst->pixels[0] = {0, 0, -1, 1};
    src->pixels[0] = {0, 0, 1, 0.5f};
    ASSERT_EQ(kvza_copy(dst.get(), 0, 0, src.get(), 0, 0, 1, 1, 1, 0.5f, nullptr), KVZA_OK);
    // t = 0.25: w moves a quarter of the way, alpha becomes t.
    EXPECT_FLOAT_EQ(dst->pixels[0].w, -0.5f);
    EXPECT_FLOAT_EQ(dst->pixels[0].a, 0.25f);
    // A transparent destination takes the source colour whole.
    dst->pixels[0] = {0.3f, 0.3f, 0.3f, 0};
    ASSERT_EQ(kvza_copy(dst.get(), 0, 0, src.get(), 0, 0, 1, 1, 1, 1.0f, nullptr), KVZA_OK);
    EXPECT_EQ(dst->pixels[0].w, 1.0f);
    EXPECT_EQ(dst->pixels[0].a, 0.5f);
    // Unknown modes leave the destination alone.
    const KvzaPixel before = dst->pixels[0];
    ASSERT_EQ(kvza_copy(dst.get(), 0, 0, src.get(), 0, 0, 1, 1, 5, 1.0f, nullptr), KVZA_OK);
    EXPECT_EQ(std::memcmp(&before, &dst->pixels[0], 16), 0);
}

TEST(Copy, ProgressTotalIsRectangleAndMissingImagesFail) {
    auto dst = make_image(8, 8);
    auto src = make_image(8, 8);
    Recorder rec;
    KvzaProgress progress = rec.record(100);
    ASSERT_EQ(kvza_copy(dst.get(), 0, 0, src.get(), 0, 0, 2, 3, 0, 1.0f, &progress), KVZA_OK);
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0], std::make_pair(6u, 6u));
    EXPECT_EQ(kvza_copy(nullptr, 0, 0, src.get(), 0, 0, 1, 1, 0, 1, nullptr), KVZA_FAILED);
    EXPECT_EQ(kvza_copy(dst.get(), 0, 0, nullptr, 0, 0, 1, 1, 0, 1, nullptr), KVZA_FAILED);
}

TEST(Clip, RgbaLimitsEachChannel) {
    KvzaPixel p{-0.5f, 0.5f, 1.5f, -0.0f};
    kvza_cliprgba(&p, &p);
    EXPECT_EQ(p.c, 0.0f);
    EXPECT_EQ(p.s, 0.5f);
    EXPECT_EQ(p.w, 1.0f);
    EXPECT_EQ(p.a, 0.0f);
    EXPECT_FALSE(std::signbit(p.a));  // not greater than 0 becomes +0
    kvza_cliprgba(nullptr, &p);       // missing pointers do nothing
    kvza_cliprgba(&p, nullptr);
    // Not a number is not greater than 0 either.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    KvzaPixel q{nan, -nan, 0.25f, nan};
    kvza_cliprgba(&q, &q);
    EXPECT_EQ(q.c, 0.0f);
    EXPECT_EQ(q.s, 0.0f);
    EXPECT_EQ(q.w, 0.25f);
    EXPECT_EQ(q.a, 0.0f);
}

TEST(Clip, KvzaProjectsOntoUnitBallAndLimitsAlpha) {
    KvzaPixel p{0.8f, 0.6f, 0.5f, 1.5f};
    KvzaPixel out{};
    kvza_clipkvza(&out, &p);
    const double k = 1.0 / std::sqrt(1.25);
    EXPECT_FLOAT_EQ(out.c, static_cast<float>(0.8f * k));
    EXPECT_FLOAT_EQ(out.s, static_cast<float>(0.6f * k));
    EXPECT_FLOAT_EQ(out.w, static_cast<float>(0.5f * k));
    EXPECT_EQ(out.a, 1.0f);
    KvzaPixel q{0.1f, 0.1f, 0.1f, -3.0f};
    kvza_clipkvza(&q, &q);
    EXPECT_EQ(q.c, 0.1f);
    EXPECT_EQ(q.a, -1.0f);
    KvzaPixel r{0, 0, 0, -0.5f};
    kvza_clipkvza(&r, &r);
    EXPECT_EQ(r.a, -0.5f);  // alpha limits are -1 .. 1, not 0 .. 1
}

TEST(Progress, IntervalDecidesWhenTheCallbackRuns) {
    auto image = make_image(5, 5);
    Recorder rec;
    KvzaProgress progress = rec.record(9);
    kvza_progress_setup(image.get(), &progress);
    EXPECT_EQ(progress.total, 25u);
    for (int i = 0; i < 30; ++i) kvza_progress_count(image.get(), &progress);
    std::vector<std::pair<uint32_t, uint32_t>> want{{10, 25}, {20, 25}, {25, 25}};
    EXPECT_EQ(rec.calls, want);  // done stops at total
    EXPECT_EQ(progress.done, 25u);
    kvza_progress_final(image.get(), &progress);
    EXPECT_EQ(rec.calls.back(), std::make_pair(25u, 25u));
}

TEST(Progress, CountReturnsCallbackAnswerOnlyWhenItRuns) {
    Recorder rec;
    rec.stop_at = 1;
    KvzaProgress progress = rec.record(1);
    progress.total = 10;
    EXPECT_EQ(kvza_progress_count(nullptr, &progress), 0);
    EXPECT_EQ(kvza_progress_count(nullptr, &progress), 1);
    EXPECT_EQ(progress.count, 0u);
    EXPECT_EQ(kvza_progress_count(nullptr, nullptr), 0);
    KvzaProgress silent{nullptr, nullptr, 0, 0, 0, 5};
    EXPECT_EQ(kvza_progress_count(nullptr, &silent), 0);
    EXPECT_EQ(silent.done, 1u);
    EXPECT_EQ(silent.count, 0u);
    kvza_progress_final(nullptr, &silent);  // no callback: nothing to call
}

TEST(Progress, CallbackSeesTheCountThatMadeItRun) {
    // The count is reset after the callback returns, so a callback reading
    // the record finds it as it stood when the step was counted.
    struct Seen {
        KvzaProgress *record = nullptr;
        uint32_t count = 0;
    } seen;
    KvzaProgress progress{[](void *user, uint32_t, uint32_t) -> int32_t {
                              auto *s = static_cast<Seen *>(user);
                              s->count = s->record->count;
                              return 0;
                          },
                          &seen,
                          2,
                          0,
                          0,
                          10};
    seen.record = &progress;
    for (int i = 0; i < 3; ++i) kvza_progress_count(nullptr, &progress);
    EXPECT_EQ(seen.count, 3u);
    EXPECT_EQ(progress.count, 0u);
}

// Runs of steps at once leave the record, the callbacks and the answer as
// the same steps one at a time, also when a callback asks to stop or the
// record starts part-way (count beyond interval, done beyond total).
TEST(Progress, StepsAtOnceMatchSingleSteps) {
    struct Case {
        uint32_t interval, count, done, total;
        int32_t stop_at;
        bool callback;
        uint64_t steps;
    };
    const Case cases[] = {
        {0, 0, 0, 10, 0, true, 25},
        {9, 0, 0, 25, 0, true, 30},
        {9, 3, 7, 25, 2, true, 40},
        {4, 9, 0, 100, 0, true, 17},
        {1000, 0, 0, 50, 0, true, 60},
        {7, 0, 30, 20, 0, true, 12},
        {5, 0, 0, 100, 0, false, 23},
        {5, 9, 0, 100, 0, false, 23},
        {UINT32_MAX, UINT32_MAX, 0, 3, 0, true, 5},
        {UINT32_MAX, UINT32_MAX - 1, 0, 3, 0, false, 5},
        {3, 0, 0, 100, 1, true, 100},
        {0, 0, 0, 0, 0, true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "interval " << c.interval << " count " << c.count << " steps " << c.steps);
        Recorder one_rec, bulk_rec;
        one_rec.stop_at = bulk_rec.stop_at = c.stop_at;
        KvzaProgress one = one_rec.record(c.interval), bulk = bulk_rec.record(c.interval);
        for (KvzaProgress *p : {&one, &bulk}) {
            p->count = c.count;
            p->done = c.done;
            p->total = c.total;
            if (!c.callback) p->callback = nullptr;
        }
        int32_t one_answer = 0;
        for (uint64_t i = 0; i < c.steps && one_answer == 0; ++i)
            one_answer = kvza_progress_count(nullptr, &one);
        // In runs no longer than the quiet steps plus one, as a writer takes them.
        int32_t bulk_answer = 0;
        for (uint64_t left = c.steps; left > 0 && bulk_answer == 0;) {
            const uint64_t quiet = kvza_progress_quiet(&bulk);
            const uint64_t run = std::min(left, quiet == UINT64_MAX ? quiet : quiet + 1);
            bulk_answer = kvza_progress_count_n(nullptr, &bulk, run);
            left -= run;
        }
        EXPECT_EQ(bulk_answer, one_answer);
        EXPECT_EQ(bulk_rec.calls, one_rec.calls);
        EXPECT_EQ(bulk.count, one.count);
        EXPECT_EQ(bulk.done, one.done);
        // All at once, regardless of the quiet steps: the same.
        Recorder all_rec;
        all_rec.stop_at = c.stop_at;
        KvzaProgress all = all_rec.record(c.interval);
        all.count = c.count, all.done = c.done, all.total = c.total;
        if (!c.callback) all.callback = nullptr;
        EXPECT_EQ(kvza_progress_count_n(nullptr, &all, c.steps), one_answer);
        EXPECT_EQ(all_rec.calls, one_rec.calls);
        EXPECT_EQ(all.count, one.count);
        EXPECT_EQ(all.done, one.done);
    }
    EXPECT_EQ(kvza_progress_count_n(nullptr, nullptr, 5), 0);
    EXPECT_EQ(kvza_progress_quiet(nullptr), UINT64_MAX);
}
