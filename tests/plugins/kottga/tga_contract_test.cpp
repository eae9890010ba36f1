// The output contract as the TGA writer meets it: the option table and its
// copy, refusals (unoffered type, palette depth, sides over 65535), the
// files left behind, progress and cancellation.
#include <cstring>

#include "tga_fixture.h"

using namespace tgatest;
using kintest::ProgressLog;
using kottest::OutPath;
using kottest::pixel_of;

namespace {

constexpr int16_t kUsable[] = {20, 21, 25, 41, 50, 81};

kvzatest::ImagePtr checks(int width, int height) {
    return kottest::image_of(width, height, [](int x, int y) {
        return pixel_of(with_alpha((x + y) % 2 ? kYellow : kBlue, x % 3 ? 1.0f : 0.0f));
    });
}

using Calls = std::vector<std::pair<uint32_t, uint32_t>>;

Calls expected_calls(uint32_t steps, uint32_t total) {
    Calls calls;
    for (uint32_t i = 1; i <= steps; ++i) calls.emplace_back(std::min(i, total), total);
    calls.emplace_back(total, total);
    return calls;
}

}  // namespace

TEST_F(Tga, TableOffersTheSixTgaLayouts) {
    const KotUsableTable *t = writer().table();
    ASSERT_NE(t, nullptr);
    for (int id = 0; id < 256; ++id) {
        const bool want =
            std::find(std::begin(kUsable), std::end(kUsable), id) != std::end(kUsable);
        EXPECT_EQ(((t->usable[id / 8] >> (id % 8)) & 1) != 0, want) << "id " << id;
    }
}

TEST_F(Tga, TableHasDitherAndPaletteDepthAndNoSwitches) {
    const KotUsableTable *t = writer().table();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->track_count, 2);
    EXPECT_EQ(t->switch_mask, 0);
    EXPECT_EQ(t->switch_defaults, 0);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(t->switch_name[i], nullptr);
        EXPECT_EQ(t->switch_hint[i], nullptr);
    }
    EXPECT_STREQ(t->track[0].name, "Dither");
    EXPECT_STREQ(t->track[0].hint, "ディザ(中間色表現)の強さ");
    EXPECT_EQ(t->track[0].min, 0);
    EXPECT_EQ(t->track[0].max, 256);
    EXPECT_EQ(t->track[0].frequency, 16);
    EXPECT_EQ(t->track[0].line_size, 1);
    EXPECT_EQ(t->track[0].page_size, 16);
    EXPECT_EQ(t->track[0].position, 128);
    EXPECT_STREQ(t->track[1].name, "Palette Depth");
    EXPECT_STREQ(t->track[1].hint, "パレットの情報量");
    EXPECT_EQ(t->track[1].min, 2);
    EXPECT_EQ(t->track[1].max, 4);
    EXPECT_EQ(t->track[1].frequency, 1);
    EXPECT_EQ(t->track[1].line_size, 1);
    EXPECT_EQ(t->track[1].page_size, 2);
    EXPECT_EQ(t->track[1].position, 4);
    EXPECT_EQ(t->track[2].name, nullptr);
}

TEST_F(Tga, TableIsBuiltOnceAndCopiedWhole) {
    KotUsableTable *first = writer().table();
    KotUsableTable snapshot;
    std::memcpy(&snapshot, first, sizeof snapshot);
    EXPECT_EQ(writer().table(), first);
    EXPECT_EQ(std::memcmp(&snapshot, writer().table(), sizeof snapshot), 0);

    auto image = kvzatest::make_image(1, 1);
    std::vector<uint8_t> buffer(KOT_USABLE_TABLE_SIZE + 8, 0x5a);
    auto *out = reinterpret_cast<KotUsableTable *>(buffer.data());
    EXPECT_EQ(writer().table_img(out, KOT_USABLE_TABLE_SIZE - 1, image.get()), KOT_FAILED);
    EXPECT_EQ(writer().table_img(out, KOT_USABLE_TABLE_SIZE, nullptr), KOT_FAILED);
    EXPECT_EQ(writer().table_img(nullptr, KOT_USABLE_TABLE_SIZE, image.get()), KOT_FAILED);
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0x5a));
    EXPECT_EQ(writer().table_img(out, KOT_USABLE_TABLE_SIZE, image.get()), KOT_OK);
    EXPECT_EQ(std::memcmp(buffer.data(), first, KOT_USABLE_TABLE_SIZE), 0);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + KOT_USABLE_TABLE_SIZE, buffer.end()),
              std::vector<uint8_t>(8, 0x5a));
}

TEST_F(Tga, NothingIsTouchedWithoutOptionsOrPixels) {
    auto image = checks(3, 3);
    auto narrow = kvzatest::make_image(0, 3);
    auto flat = kvzatest::make_image(3, 0);
    const KotSaveOptions o = tga_options(20);
    OutPath path(".tga");
    ProgressLog log;
    KvzaProgress p = log.record();
    EXPECT_EQ(writer().save(image.get(), path.c_str(), nullptr, &p), KOT_FAILED);
    EXPECT_EQ(writer().save(narrow.get(), path.c_str(), &o, &p), KOT_FAILED);
    EXPECT_EQ(writer().save(flat.get(), path.c_str(), &o, &p), KOT_FAILED);
    EXPECT_EQ(writer().save(nullptr, path.c_str(), &o, &p), KOT_FAILED);
    EXPECT_FALSE(path.exists());
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(Tga, UnofferedTypeOrDepthLeavesAnEmptyFile) {
    auto image = checks(4, 2);
    const std::pair<int16_t, int16_t> refused[] = {{0, 4},  {22, 4}, {24, 4}, {204, 4},
                                                   {41, 1}, {41, 5}, {41, 0}, {41, -4}};
    for (const auto &[type, depth] : refused) {
        SCOPED_TRACE(::testing::Message() << "type " << type << " depth " << depth);
        OutPath path(".tga");
        path.write("earlier content");
        ProgressLog log;
        KvzaProgress p = log.record();
        const KotSaveOptions o = tga_options(type, 0, depth);
        EXPECT_EQ(writer().save(image.get(), path.c_str(), &o, &p), KOT_FAILED);
        EXPECT_TRUE(path.exists());
        EXPECT_TRUE(path.bytes().empty());
        EXPECT_EQ(log.calls, (Calls{{8, 8}}));
    }
    // The depth means nothing to the other layouts.
    for (int16_t depth : {0, 7})
        EXPECT_EQ(save_ok(image.get(), tga_options(20, 0, depth)).size(), 18u + 24u + 26u);
}

TEST_F(Tga, SidesOver65535AreRefusedBeforeAnyByte) {
    for (auto [w, h] : {std::pair{65536, 1}, std::pair{1, 65536}}) {
        SCOPED_TRACE(::testing::Message() << w << " x " << h);
        auto image = kottest::image_of(w, h, [](int, int) { return pixel_of(kRed); });
        for (int16_t id : kUsable) {
            int32_t status = -1;
            const Bytes file = save(image.get(), tga_options(id), &status);
            EXPECT_EQ(status, KOT_FAILED) << "id " << id;
            EXPECT_TRUE(file.empty()) << "id " << id;
        }
    }
    auto tall = kottest::image_of(1, 65535, [](int, int) { return pixel_of(kWhite); });
    const Bytes file = save_ok(tall.get(), tga_options(20));
    EXPECT_EQ(file.size(), 18u + 3u * 65535u + 26u);
    EXPECT_EQ(kottest::le16(file, 14), 65535u);
}

TEST_F(Tga, UnwritablePathsFail) {
    auto image = checks(2, 2);
    const KotSaveOptions o = tga_options(41);
    ProgressLog log;
    KvzaProgress p = log.record();
    EXPECT_EQ(writer().save(image.get(), "/nonexistent-folder/x.tga", &o, &p), KOT_FAILED);
    EXPECT_EQ(log.calls.back(), std::make_pair(4u, 4u));
    EXPECT_EQ(writer().save(image.get(), nullptr, &o, nullptr), KOT_FAILED);
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(writer().save(image.get(), "/dev/full", &o, nullptr), KOT_FAILED);
    }
}

TEST_F(Tga, ProgressCountsOnePixelAStep) {
    auto image = checks(7, 5);
    for (auto [id, depth] : {std::pair<int16_t, int16_t>{20, 4},
                             {21, 4},
                             {25, 4},
                             {41, 2},
                             {41, 3},
                             {41, 4},
                             {50, 4},
                             {81, 4}}) {
        SCOPED_TRACE(::testing::Message() << "id " << id << " depth " << depth);
        ProgressLog log;
        KvzaProgress p = log.record();
        int32_t status = -1;
        save(image.get(), tga_options(id, 64, depth), &status, &p);
        EXPECT_EQ(status, KOT_OK);
        EXPECT_EQ(log.calls, expected_calls(35, 35));
    }
}

TEST_F(Tga, CancelLeavesTheFileWithoutFooter) {
    auto image = checks(4, 3);
    struct Case {
        int16_t id;
        int16_t depth;
        size_t first;  // header, colour map and one pixel
        size_t unit;
    };
    const Case cases[] = {{20, 4, 18 + 3, 3},   {21, 4, 18 + 4, 4},   {25, 4, 18 + 2, 2},
                          {41, 2, 18 + 513, 1}, {41, 3, 18 + 769, 1}, {41, 4, 18 + 1025, 1},
                          {50, 4, 18 + 1, 1},   {81, 4, 18 + 2, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.id << " depth " << c.depth);
        for (uint32_t stop : {1u, 12u}) {
            ProgressLog log;
            log.stop_at_call = stop;
            KvzaProgress p = log.record();
            int32_t status = -1;
            const Bytes file = save(image.get(), tga_options(c.id, 0, c.depth), &status, &p);
            EXPECT_EQ(status, KOT_CANCELED);
            // Cancelled at the last pixel: everything but the footer.
            EXPECT_EQ(file.size(), c.first + (stop - 1) * c.unit);
            // The stopping call, then the final report.
            ASSERT_EQ(log.calls.size(), stop + 1);
            EXPECT_EQ(log.calls[stop - 1], std::make_pair(stop, 12u));
            EXPECT_EQ(log.calls.back(), std::make_pair(12u, 12u));
        }
    }
}

TEST_F(Tga, IndexLayoutLeavesTheOptimisedPaletteInTheImage) {
    auto image = kottest::image_of(3, 1, [](int x, int) {
        const kottest::Rgba8 c[] = {with_alpha(kCyan, 0.5f), kMagenta, with_alpha(kCyan, 0.5f)};
        return pixel_of(c[x]);
    });
    const std::vector<KvzaPixel> pixels(image->pixels, image->pixels + 3);
    save_ok(image.get(), tga_options(41, 0, 4));
    EXPECT_PIXEL(image->palette[0], pixel_of(with_alpha(kCyan, 0.5f))) << "full alpha keeps 0.5";
    EXPECT_PIXEL(image->palette[1], pixel_of(kMagenta));
    save_ok(image.get(), tga_options(41, 0, 2));
    EXPECT_PIXEL(image->palette[0], pixel_of(kCyan)) << "two-valued alpha makes 0.5 opaque";
    for (int i = 0; i < 3; ++i) EXPECT_PIXEL(image->pixels[i], pixels[static_cast<size_t>(i)]);
}
