// PNG files written by other programs, in every layout, read with kinpng and
// saved back with kotpng in the layout they were read in, with the table's
// default options: the samples are identical (8- and 16-bit alike), the
// colour of fully transparent pixels aside.
#include <filesystem>

#include "png_fixture.h"

using namespace pngtest;

namespace {

struct PeerFile {
    const char *name;
    int16_t pixtype;  // what the reader records
};

const PeerFile kPeerFiles[] = {
    {"rgba8.png", 21},   {"rgba8i.png", 21}, {"rgb8.png", 20},    {"rgb8key.png", 21},
    {"rgba16.png", 198}, {"rgb16.png", 196}, {"rgb16i.png", 196}, {"g8.png", 50},
    {"g8key.png", 51},   {"ga8.png", 51},    {"g16.png", 81},     {"g16pil.png", 81},
    {"ga16.png", 215},   {"g1.png", 200},    {"g2.png", 205},     {"g4.png", 210},
    {"p8.png", 41},      {"p8a.png", 40},    {"p1.png", 202},     {"p2.png", 207},
    {"p4.png", 212},     {"p1a.png", 40},    {"p2a.png", 40},     {"p4a.png", 40},
};

class PngRoundTrip : public Png {
  protected:
    static void SetUpTestSuite() {
        folder_ =
            std::filesystem::temp_directory_path() / ("kotpng_peers_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        made_ = kottest::have_convert() && have_pil() &&
                std::system(("'" PNG_TEST_DIR "/make_peer_pngs.sh' '" + folder_.string() +
                             "' >/dev/null 2>&1")
                                .c_str()) == 0;
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    void SetUp() override {
        Png::SetUp();
        if (!made_) GTEST_SKIP() << "ImageMagick or Python's imaging library absent";
        ASSERT_TRUE(reader_.ok()) << reader_.error();
    }

    // The table's defaults for a save in layout type.
    KotSaveOptions defaults(int16_t type) {
        const KotUsableTable *table = writer().table();
        KotSaveOptions o{};
        o.type = type;
        o.valid = 1;
        o.switches = table->switch_defaults;
        for (int i = 0; i < table->track_count; ++i) o.track[i] = table->track[i].position;
        return o;
    }

    kintest::Reader reader_{KOT_PLUGIN_DIR, "kinpng"};
    static inline std::filesystem::path folder_;
    static inline bool made_ = false;
};

TEST_F(PngRoundTrip, SavedBackInItsOwnLayoutWithTheSameSamples) {
    for (const PeerFile &f : kPeerFiles) {
        SCOPED_TRACE(f.name);
        const std::string source = (folder_ / f.name).string();
        kintest::Opened opened = kintest::open(reader_, source.c_str());
        ASSERT_EQ(opened.status, KIN_OK);
        EXPECT_EQ(opened.image->pixtype, f.pixtype);

        kottest::OutPath saved(".png");
        ASSERT_EQ(save(opened.image.get(), saved, defaults(opened.image->pixtype)), KOT_OK);
        const auto want = magick_rgba16(source);
        const auto got = magick_rgba16(saved.str());
        ASSERT_TRUE(want && got);
        ASSERT_EQ(want->size(), got->size());
        int differing = 0;
        for (size_t i = 0; i < want->size(); i += 4) {
            const bool transparent = (*want)[i + 3] == 0;
            for (size_t k = transparent ? 3 : 0; k < 4; ++k)
                differing += (*want)[i + k] != (*got)[i + k];
        }
        EXPECT_EQ(differing, 0);
    }
}

}  // namespace
