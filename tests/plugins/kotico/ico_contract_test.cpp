// The output contract as the ICO writer meets it: the option table and its
// copy, refusals, the files left behind, progress and cancellation.
#include <cstring>
#include <string_view>

#include "ico_fixture.h"

using namespace icotest;
using kintest::ProgressLog;
using kottest::options;
using kottest::OutPath;
using kottest::pixel_of;

namespace {

constexpr int16_t kUsable[] = {204, 221, 222, 223, 224, 225, 21};

kvzatest::ImagePtr stripes(int width, int height) {
    return kottest::image_of(width, height, [](int x, int y) {
        const kottest::Rgba8 colours[] = {kRed, kGreen, kBlue, kWhite};
        return pixel_of(with_alpha(colours[(x + y) % 4], x % 2 ? 1.0f : 0.0f));
    });
}

// The (done, total) pairs a full save reports with interval 0: one per
// counted step, done stopping at total, then the final report.
std::vector<std::pair<uint32_t, uint32_t>> expected_calls(uint32_t steps, uint32_t total) {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    for (uint32_t i = 1; i <= steps; ++i) calls.emplace_back(std::min(i, total), total);
    calls.emplace_back(total, total);
    return calls;
}

}  // namespace

TEST_F(Ico, TableOffersTheSevenIconLayouts) {
    const KotUsableTable *t = writer().table();
    ASSERT_NE(t, nullptr);
    for (int id = 0; id < 256; ++id) {
        const bool want =
            std::find(std::begin(kUsable), std::end(kUsable), id) != std::end(kUsable);
        EXPECT_EQ(((t->usable[id / 8] >> (id % 8)) & 1) != 0, want) << "id " << id;
    }
}

TEST_F(Ico, TableTracksAndSwitches) {
    const KotUsableTable *t = writer().table();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->track_count, 2);
    EXPECT_EQ(t->switch_mask, 7);
    EXPECT_EQ(t->switch_defaults, 0);
    EXPECT_STREQ(t->switch_name[0], "Merge to background");
    EXPECT_STREQ(t->switch_hint[0], "背景色を混ぜ合わせる");
    EXPECT_STREQ(t->switch_name[1], "'Alpha Threshold' enable");
    EXPECT_STREQ(t->switch_hint[1], "'Alpha Threshold'を有効にする");
    EXPECT_STREQ(t->switch_name[2], "Alpha dithering");
    EXPECT_STREQ(t->switch_hint[2], "アルファもディザ対象とする");
    EXPECT_STREQ(t->track[0].name, "Dither");
    EXPECT_STREQ(t->track[0].hint, "ディザ(中間色表現)の強さ");
    EXPECT_STREQ(t->track[1].name, "Alpha Threshold");
    EXPECT_STREQ(t->track[1].hint, "透過/非透過を区別するアルファの閾値");
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t->track[i].min, 0);
        EXPECT_EQ(t->track[i].max, 256);
        EXPECT_EQ(t->track[i].frequency, 16);
        EXPECT_EQ(t->track[i].line_size, 1);
        EXPECT_EQ(t->track[i].page_size, 16);
        EXPECT_EQ(t->track[i].position, 128);
    }
    for (int i = 3; i < 16; ++i) EXPECT_EQ(t->switch_name[i], nullptr);
}

TEST_F(Ico, TableIsBuiltOnceAndCopiedWhole) {
    KotUsableTable *first = writer().table();
    KotUsableTable snapshot;
    std::memcpy(&snapshot, first, sizeof snapshot);
    EXPECT_EQ(writer().table(), first);
    EXPECT_EQ(std::memcmp(&snapshot, writer().table(), sizeof snapshot), 0);

    auto image = kvzatest::make_image(1, 1);
    std::vector<uint8_t> buffer(KOT_USABLE_TABLE_SIZE + 16, 0xab);
    auto *out = reinterpret_cast<KotUsableTable *>(buffer.data());
    EXPECT_EQ(writer().table_img(out, KOT_USABLE_TABLE_SIZE - 1, image.get()), KOT_FAILED);
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0xab)) << "size 423 leaves the buffer";
    EXPECT_EQ(writer().table_img(out, KOT_USABLE_TABLE_SIZE, nullptr), KOT_FAILED);
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0xab)) << "a null image leaves it too";
    EXPECT_EQ(writer().table_img(nullptr, KOT_USABLE_TABLE_SIZE, image.get()), KOT_FAILED);

    EXPECT_EQ(writer().table_img(out, KOT_USABLE_TABLE_SIZE + 16, image.get()), KOT_OK);
    EXPECT_EQ(std::memcmp(buffer.data(), first, KOT_USABLE_TABLE_SIZE), 0);
    for (size_t i = KOT_USABLE_TABLE_SIZE; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xab) << "only the table's bytes are copied";
}

TEST_F(Ico, NothingIsTouchedWithoutOptionsOrPixels) {
    auto image = stripes(4, 4);
    auto narrow = kvzatest::make_image(0, 4);
    auto flat = kvzatest::make_image(4, 0);
    const KotSaveOptions o = options(224);
    OutPath path(".ico");
    ProgressLog log;
    KvzaProgress p = log.record();
    EXPECT_EQ(writer().save(image.get(), path.c_str(), nullptr, &p), KOT_FAILED);
    EXPECT_EQ(writer().save(narrow.get(), path.c_str(), &o, &p), KOT_FAILED);
    EXPECT_EQ(writer().save(flat.get(), path.c_str(), &o, &p), KOT_FAILED);
    EXPECT_EQ(writer().save(nullptr, path.c_str(), &o, &p), KOT_FAILED);
    EXPECT_FALSE(path.exists());
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(Ico, UnofferedTypeLeavesAnEmptyFile) {
    auto image = stripes(4, 3);
    for (int16_t type : {0, 20, 41, 202, 226, 254, -1}) {
        SCOPED_TRACE(type);
        OutPath path(".ico");
        path.write("previous content");
        ProgressLog log;
        KvzaProgress p = log.record();
        const KotSaveOptions o = options(type);
        EXPECT_EQ(writer().save(image.get(), path.c_str(), &o, &p), KOT_FAILED);
        EXPECT_TRUE(path.exists());
        EXPECT_TRUE(path.bytes().empty());
        EXPECT_EQ(log.calls, (std::vector<std::pair<uint32_t, uint32_t>>{{12, 12}}))
            << "the final report comes also after a failure";
    }
}

TEST_F(Ico, SidesOf256AreRefusedWithAnEmptyFile) {
    for (auto [w, h] : {std::pair{256, 1}, std::pair{1, 256}, std::pair{300, 300}}) {
        SCOPED_TRACE(::testing::Message() << w << " x " << h);
        auto image = kottest::image_of(w, h, [](int, int) { return pixel_of(kRed); });
        int32_t status = -1;
        const Bytes file = save(image.get(), options(225), &status);
        EXPECT_EQ(status, KOT_FAILED);
        EXPECT_TRUE(file.empty());
    }
    auto largest = kottest::image_of(255, 255, [](int, int) { return pixel_of(kRed); });
    const Bytes file = save_ok(largest.get(), options(204));
    EXPECT_EQ(file[6], 255);
    EXPECT_EQ(file[7], 255);
    EXPECT_EQ(file.size(), 22u + 40u + 8u + 2u * 32u * 255u);
}

TEST_F(Ico, UnwritablePathsFail) {
    auto image = stripes(3, 3);
    const KotSaveOptions o = options(222);
    ProgressLog log;
    KvzaProgress p = log.record();
    EXPECT_EQ(writer().save(image.get(), "/nonexistent-folder/x.ico", &o, &p), KOT_FAILED);
    EXPECT_EQ(log.calls.back(), std::make_pair(9u, 9u));
    EXPECT_EQ(writer().save(image.get(), nullptr, &o, nullptr), KOT_FAILED);
    // A device that takes no bytes: the loss shows up when the file is closed.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(writer().save(image.get(), "/dev/full", &o, nullptr), KOT_FAILED);
    }
}

TEST_F(Ico, ProgressCountsColourUnitsAndMaskUnitsAgainstOneTotal) {
    auto image = stripes(10, 3);
    struct Case {
        int16_t id;
        uint16_t switches;
        uint32_t steps;  // colour units + mask units
    };
    const Case cases[] = {
        {222, 0, 30 + 6},                // a pixel each; mask bytes of 8 pixels: 2 a row
        {224, 0, 30 + 6},                //
        {225, kottest::kThreshold, 36},  //
        {204, 0, 6 + 6},                 // bytes of 8 pixels: 2 a row, in both parts
        {221, 0, 15 + 6},                // bytes of 2 pixels: 5 a row
        {223, kottest::kMerge, 30 + 3},  // merged: one group of 32 pixels a row
        {204, kottest::kMerge, 6 + 3},   //
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.id << " switches " << c.switches);
        ProgressLog log;
        KvzaProgress p = log.record();
        int32_t status = -1;
        save(image.get(), options(c.id, c.switches), &status, &p);
        EXPECT_EQ(status, KOT_OK);
        EXPECT_EQ(log.calls, expected_calls(c.steps, 30));
    }
}

TEST_F(Ico, ProgressIntervalSpacesTheCalls) {
    auto image = stripes(8, 8);
    ProgressLog log;
    KvzaProgress p = log.record(9);
    int32_t status = -1;
    save(image.get(), options(224), &status, &p);
    EXPECT_EQ(status, KOT_OK);
    // 64 pixels and 8 mask bytes: calls after steps 10, 20, ..., 70, then the final one.
    ASSERT_EQ(log.calls.size(), 8u);
    EXPECT_EQ(log.calls[0], std::make_pair(10u, 64u));
    EXPECT_EQ(log.calls[5], std::make_pair(60u, 64u));
    EXPECT_EQ(log.calls[6], std::make_pair(64u, 64u));
    EXPECT_EQ(log.calls[7], std::make_pair(64u, 64u));
}

TEST_F(Ico, CancelAtTheFirstCallStopsAfterOneUnit) {
    auto image = stripes(5, 4);
    struct Case {
        int16_t id;
        size_t kept;  // bytes before the colour rows + the one unit written
    };
    const Case cases[] = {{204, 62 + 8 + 1}, {221, 62 + 64 + 1}, {222, 62 + 1024 + 1},
                          {223, 62 + 2},     {224, 62 + 3},      {225, 62 + 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id);
        ProgressLog log;
        log.stop_at_call = 1;
        KvzaProgress p = log.record();
        int32_t status = -1;
        const Bytes file = save(image.get(), options(c.id), &status, &p);
        EXPECT_EQ(status, KOT_CANCELED);
        EXPECT_EQ(file.size(), c.kept);
        EXPECT_EQ(log.calls, (std::vector<std::pair<uint32_t, uint32_t>>{{1, 20}, {20, 20}}));
    }
}

TEST_F(Ico, CancelInTheMaskKeepsWhatWasWritten) {
    auto image = stripes(3, 2);
    ProgressLog log;
    log.stop_at_call = 8;  // 6 pixels, then the second mask byte
    KvzaProgress p = log.record();
    int32_t status = -1;
    const Bytes file = save(image.get(), options(224), &status, &p);
    EXPECT_EQ(status, KOT_CANCELED);
    // Headers, two colour rows of 12 bytes, the first mask row (byte and
    // padding) and the second row's byte.
    EXPECT_EQ(file.size(), 62u + 24u + 4u + 1u);
    EXPECT_EQ(log.calls.back(), std::make_pair(6u, 6u));
    EXPECT_EQ(log.calls.size(), 9u);

    // Merged: the cancel comes at the first group of 4 zero bytes.
    ProgressLog merged;
    merged.stop_at_call = 7;
    KvzaProgress q = merged.record();
    const Bytes file2 = save(image.get(), options(224, kottest::kMerge), &status, &q);
    EXPECT_EQ(status, KOT_CANCELED);
    EXPECT_EQ(file2.size(), 62u + 24u + 4u);
}

TEST_F(Ico, IndexLayoutLeavesTheOptimisedPaletteInTheImage) {
    auto image = kottest::image_of(3, 1, [](int x, int) {
        const kottest::Rgba8 c[] = {kCyan, with_alpha(kMagenta, 0.3f), kCyan};
        return pixel_of(c[x]);
    });
    const std::vector<KvzaPixel> pixels(image->pixels, image->pixels + 3);
    save_ok(image.get(), options(221));
    EXPECT_PIXEL(image->palette[0], pixel_of(kCyan));
    EXPECT_PIXEL(image->palette[1], pixel_of(kMagenta)) << "entries are made opaque";
    for (int i = 0; i < 3; ++i) EXPECT_PIXEL(image->pixels[i], pixels[static_cast<size_t>(i)]);
    EXPECT_EQ(image->pixtype, 0);
}

TEST_F(Ico, RgbLayoutLeavesThePaletteAlone) {
    auto image = stripes(2, 2);
    image->palette[0] = KvzaPixel{0.25f, 0.5f, 0.75f, 0.125f};
    save_ok(image.get(), options(224));
    EXPECT_PIXEL(image->palette[0], (KvzaPixel{0.25f, 0.5f, 0.75f, 0.125f}));
}
