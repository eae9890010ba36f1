// ImageMagick and Python's imaging library on the files of one writer: the
// layout with alpha opens with the exact picture, and every layout that a
// peer refuses has a hint. Built into the tests of each writer, with
// KOT_WRITER naming the plug-in and KOT_FORMAT its format.
#include <set>

#include "kot_host.h"

namespace {

using kottest::Bytes;

// Colours of many byte values under the alpha levels 0, 1, 64, 128, 200, 254
// and 255; `want` receives the picture's RGBA bytes, top row first.
kvzatest::ImagePtr alpha_picture(int width, int height, Bytes *want) {
    static constexpr uint8_t kLevels[] = {0, 1, 64, 128, 200, 254, 255};
    want->clear();
    return kottest::image_of(width, height, [&](int x, int y) {
        const uint8_t a = kLevels[(x + 3 * y) % 7];
        const kottest::Rgba8 c{(x * 37 + y * 11) & 255, (x * 5 + y * 71) & 255, (x * x + y) & 255,
                               a / 255.0f};
        want->insert(want->end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b), a});
        return kottest::pixel_of(c);
    });
}

class Peers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(writer_.ok()) << writer_.error();
        KOT_REQUIRE_CONVERT();
        if (!kottest::have_pil()) GTEST_SKIP() << "Python's imaging library absent";
    }
    kottest::Writer writer_{KOT_PLUGIN_DIR, KOT_WRITER};
};

}  // namespace

TEST_F(Peers, AlphaLayoutOpensWithItsAlpha) {
    const KotSaveOptions o = kottest::options(21);
    for (auto [w, h] : {std::pair{13, 7}, std::pair{255, 255}, std::pair{256, 256}}) {
        SCOPED_TRACE(::testing::Message() << w << " x " << h);
        Bytes want;
        auto image = alpha_picture(w, h, &want);
        kottest::OutPath path(std::string(".") + KOT_FORMAT);
        ASSERT_EQ(writer_.save(image.get(), path.c_str(), &o, nullptr), KOT_OK);
        EXPECT_EQ(kottest::magick_rgba(KOT_FORMAT, path.str()), want);
        EXPECT_EQ(kottest::pil_rgba8(path.str()), want);
    }
}

TEST_F(Peers, LayoutsAPeerRefusesHaveHints) {
    void *handle = dlopen(KOT_PLUGIN_DIR "/" KOT_WRITER ".so", RTLD_NOW | RTLD_NOLOAD);
    const auto hint = reinterpret_cast<KotTypeHintFn>(dlsym(handle, "kot_typehint"));
    ASSERT_NE(hint, nullptr);
    Bytes want;
    auto image = alpha_picture(9, 5, &want);
    std::set<Bytes> seen;  // track 1 is a palette depth for some writers, unused by others
    for (int id = 0; id < 256; ++id) {
        const bool usable = (writer_.table()->usable[id / 8] >> (id % 8)) & 1;
        for (int16_t track1 = 2; track1 <= 4 && usable; ++track1) {
            kottest::OutPath path(std::string(".") + KOT_FORMAT);
            const KotSaveOptions o = kottest::options(int16_t(id), 0, 0, track1);
            ASSERT_EQ(writer_.save(image.get(), path.c_str(), &o, nullptr), KOT_OK) << id;
            if (!seen.insert(path.bytes()).second) continue;
            if (!kottest::magick_rgba(KOT_FORMAT, path.str()) || !kottest::pil_rgba8(path.str())) {
                EXPECT_NE(hint(id), nullptr)
                    << "a peer refuses id " << id << ", track 1 " << track1;
            }
        }
    }
    EXPECT_EQ(hint(254), nullptr);
    dlclose(handle);
}
