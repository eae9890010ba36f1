// The foreign JPEG reader, on JPEG files these tests encode with libjpeg:
// through the input host under its default names, and through its exports.
#include <dlfcn.h>
#include <stdio.h>

#include <gtest/gtest.h>

#include <functional>

#include <jpeglib.h>

#include "dynlib.h"
#include "host_test_support.h"
#include "image_alloc.h"
#include "ini_file.h"
#include "input_host.h"
#include "localmem.h"

namespace {

using hoststest::Deliverable;
using hoststest::FakeUi;
using hoststest::RgbOf;
using hoststest::TempDir;
using hoststest::WriteFile;

using Pixel = std::function<void(int x, int y, unsigned char *out)>;

// Encodes width x height pixels of the given components (1 grey, 3 RGB, 4
// CMYK as stored) at quality 100 without chroma subsampling.
std::string EncodeJpeg(int width, int height, int components, J_COLOR_SPACE space,
                       const Pixel &pixel, bool progressive = false) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(width) * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x)
            pixel(x, static_cast<int>(cinfo.next_scanline), &row[x * components]);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string bytes(reinterpret_cast<char *>(out), size);
    jpeg_destroy_compress(&cinfo);
    free(out);
    return bytes;
}

// Four 8 x 8 quadrants: red, green / blue, white.
const unsigned char kQuadrant[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

void Quadrants(int x, int y, unsigned char *out) {
    const unsigned char *c = kQuadrant[(y >= 8 ? 2 : 0) + (x >= 8 ? 1 : 0)];
    out[0] = c[0];
    out[1] = c[1];
    out[2] = c[2];
}

// Colour within JPEG tolerance of (r, g, b).
void ExpectNear(const KvzaImage *image, int x, int y, int r, int g, int b, int tolerance = 6) {
    const KvzaPixel &p = image->pixels[x + static_cast<size_t>(y) * image->width];
    const hoststest::Rgb got = RgbOf(p);
    EXPECT_NEAR(got.r, r, tolerance) << x << "," << y;
    EXPECT_NEAR(got.g, g, tolerance) << x << "," << y;
    EXPECT_NEAR(got.b, b, tolerance) << x << "," << y;
    EXPECT_EQ(p.a, 1.0f) << x << "," << y;
}

class JpegThroughHost : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!hoststest::Exists(Deliverable("kinjpg.so"))) GTEST_SKIP() << "kinjpg.so not built";
        saved_dir = kvzaedit::ProgramDir();
        kvzaedit::SetProgramDir(KVZA_BIN_DIR);
        kvzaedit::SetIniPath(dir.file("KVZAEDIT.INI"));
    }
    void TearDown() override {
        if (!saved_dir.empty()) kvzaedit::SetProgramDir(saved_dir);
        kvzaedit::ReleaseImage(image);
    }
    KvzaImage *Open(const std::string &name, const std::string &bytes) {
        const std::string path = dir.file(name);
        WriteFile(path, bytes);
        library = kvzaedit::PluginLibraryName(kvzaedit::PluginDir::Input, path);
        image = kvzaedit::LoadImageFile(path, library, ui);
        return image;
    }

    std::string saved_dir;
    TempDir dir;
    FakeUi ui;
    std::string library;
    KvzaImage *image = nullptr;
};

TEST_F(JpegThroughHost, ColourQuadrantsUnderTheJpgName) {
    ASSERT_NE(Open("photo.jpg", EncodeJpeg(16, 16, 3, JCS_RGB, Quadrants)), nullptr);
    EXPECT_EQ(library, "kinjpg.so");
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(image->width, 16);
    ASSERT_EQ(image->height, 16);
    EXPECT_EQ(image->pixtype, 0);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const unsigned char *c = kQuadrant[(y >= 8 ? 2 : 0) + (x >= 8 ? 1 : 0)];
            ExpectNear(image, x, y, c[0], c[1], c[2]);
        }
    }
}

TEST_F(JpegThroughHost, JpegNameUsesTheSecondInstalledName) {
    ASSERT_NE(Open("photo.JPEG", EncodeJpeg(16, 16, 3, JCS_RGB, Quadrants)), nullptr);
    EXPECT_EQ(library, "kinjpeg.so");
    ExpectNear(image, 15, 15, 255, 255, 255);
}

TEST_F(JpegThroughHost, OddWidthRowsArePadded) {
    // 5 pixels of 3 bytes: rows of 16 bytes; a horizontal ramp shows any
    // misplaced row start.
    const auto ramp = [](int x, int y, unsigned char *out) {
        out[0] = static_cast<unsigned char>(x * 60);
        out[1] = static_cast<unsigned char>(y * 80);
        out[2] = 128;
    };
    ASSERT_NE(Open("ramp.jpg", EncodeJpeg(5, 3, 3, JCS_RGB, ramp)), nullptr);
    ASSERT_EQ(image->width, 5);
    ASSERT_EQ(image->height, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) ExpectNear(image, x, y, x * 60, y * 80, 128, 10);
    }
}

TEST_F(JpegThroughHost, GreyJpeg) {
    const auto grey = [](int x, int, unsigned char *out) { *out = x < 8 ? 40 : 200; };
    ASSERT_NE(Open("grey.jpg", EncodeJpeg(16, 8, 1, JCS_GRAYSCALE, grey)), nullptr);
    ExpectNear(image, 0, 0, 40, 40, 40, 3);
    ExpectNear(image, 15, 7, 200, 200, 200, 3);
}

TEST_F(JpegThroughHost, AdobeCmykJpeg) {
    // Inks stored inverted (255 = no ink): red is no cyan, full magenta and
    // yellow, no black.
    const auto red = [](int, int, unsigned char *out) {
        out[0] = 255;
        out[1] = 0;
        out[2] = 0;
        out[3] = 255;
    };
    ASSERT_NE(Open("cmyk.jpg", EncodeJpeg(8, 8, 4, JCS_CMYK, red)), nullptr);
    ExpectNear(image, 3, 3, 255, 0, 0);
}

TEST_F(JpegThroughHost, ProgressiveJpeg) {
    ASSERT_NE(Open("prog.jpg", EncodeJpeg(16, 16, 3, JCS_RGB, Quadrants, true)), nullptr);
    ExpectNear(image, 0, 15, 0, 0, 255);
}

TEST_F(JpegThroughHost, AfterA128BytePrefix) {
    ASSERT_NE(
        Open("prefixed.jpg", std::string(128, '\0') + EncodeJpeg(16, 16, 3, JCS_RGB, Quadrants)),
        nullptr);
    EXPECT_TRUE(ui.messages.empty());
    ExpectNear(image, 15, 0, 0, 255, 0);
}

TEST_F(JpegThroughHost, NotAJpeg) {
    EXPECT_EQ(Open("fake.jpg", std::string(3000, 'z')), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"not support"});
}

TEST_F(JpegThroughHost, SignatureWithoutPicture) {
    EXPECT_EQ(Open("empty.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + std::string(100, '\0')),
              nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Picture cannot get"});
}

TEST_F(JpegThroughHost, TruncatedJpegKeepsTheRowsDecoded) {
    // Top half plain red, bottom half noise, so that most of the data
    // belongs to the bottom; cut the data well before its end.
    const auto halves = [](int x, int y, unsigned char *out) {
        const unsigned noise = (static_cast<unsigned>(x) * 2654435761u) ^ (y * 40503u);
        out[0] = y < 64 ? 255 : static_cast<unsigned char>(noise >> 8);
        out[1] = y < 64 ? 0 : static_cast<unsigned char>(noise >> 16);
        out[2] = y < 64 ? 0 : static_cast<unsigned char>(noise >> 24);
    };
    const std::string whole = EncodeJpeg(128, 128, 3, JCS_RGB, halves);
    ASSERT_NE(Open("cut.jpg", whole.substr(0, whole.size() * 3 / 5)), nullptr);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(image->width, 128);
    ASSERT_EQ(image->height, 128);
    ExpectNear(image, 10, 2, 255, 0, 0);
    ExpectNear(image, 100, 60, 255, 0, 0);
}

TEST_F(JpegThroughHost, CorruptDataDoesNotCrash) {
    std::string bytes = EncodeJpeg(32, 32, 3, JCS_RGB, Quadrants);
    // Scramble everything after the headers, markers included.
    unsigned seed = 12345;
    for (size_t i = bytes.size() / 3; i < bytes.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    KvzaImage *got = Open("corrupt.jpg", bytes);
    if (got == nullptr) {
        EXPECT_EQ(ui.messages, std::vector<std::string>{"Picture cannot get"});
    } else {
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(got->width, 32);
    }
}

TEST_F(JpegThroughHost, DamagedHeaderIsRefused) {
    std::string bytes = EncodeJpeg(16, 16, 3, JCS_RGB, Quadrants);
    // Keep the signature and the first segment; junk without a marker follows.
    for (size_t i = 20; i < bytes.size(); ++i) bytes[i] = '\x01';
    EXPECT_EQ(Open("badhead.jpg", bytes), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Picture cannot get"});
}

// ---- the exports ----

using GetPluginInfoFn = int (*)(int, char *, int);
using IsSupportedFn = int (*)(const char *, const void *);
struct PictureInfo {
    long left, top, width, height;
    uint16_t x_density, y_density;
    int16_t colour_depth;
    HLOCAL text;
};
using GetPictureInfoFn = int (*)(const char *, long, unsigned, PictureInfo *);
using ProgressFn = int (*)(int, int, long);
using GetPictureFn = int (*)(const char *, long, unsigned, HLOCAL *, HLOCAL *, ProgressFn, long);

class JpegExports : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string path = Deliverable("kinjpg.so");
        if (!hoststest::Exists(path)) GTEST_SKIP() << "kinjpg.so not built";
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        plugin_info = reinterpret_cast<GetPluginInfoFn>(dlsym(handle, "GetPluginInfo"));
        is_supported = reinterpret_cast<IsSupportedFn>(dlsym(handle, "IsSupported"));
        picture_info = reinterpret_cast<GetPictureInfoFn>(dlsym(handle, "GetPictureInfo"));
        picture = reinterpret_cast<GetPictureFn>(dlsym(handle, "GetPicture"));
        ASSERT_TRUE(plugin_info && is_supported && picture_info && picture);
        jpeg = EncodeJpeg(16, 16, 3, JCS_RGB, Quadrants);
    }
    void TearDown() override {
        if (handle != nullptr) dlclose(handle);
    }

    void *handle = nullptr;
    GetPluginInfoFn plugin_info = nullptr;
    IsSupportedFn is_supported = nullptr;
    GetPictureInfoFn picture_info = nullptr;
    GetPictureFn picture = nullptr;
    std::string jpeg;
};

TEST_F(JpegExports, PluginInfo) {
    char buf[64];
    EXPECT_EQ(plugin_info(0, buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "00IN");
    ASSERT_GT(plugin_info(2, buf, sizeof buf), 0);
    EXPECT_NE(std::string(buf).find("*.jpg"), std::string::npos);
    EXPECT_EQ(plugin_info(1, buf, 3), 2);  // cut to the buffer, terminated
    EXPECT_EQ(std::strlen(buf), 2u);
    EXPECT_EQ(plugin_info(99, buf, sizeof buf), 0);
}

TEST_F(JpegExports, IsSupportedLooksAtTheSignature) {
    std::string probe(2048, '\0');
    EXPECT_EQ(is_supported("a.jpg", probe.data()), 0);
    probe.replace(0, jpeg.size() < 2048 ? jpeg.size() : 2048, jpeg.substr(0, 2048));
    EXPECT_NE(is_supported("a.jpg", probe.data()), 0);
    probe[2] = 0;
    EXPECT_EQ(is_supported("a.jpg", probe.data()), 0);
    EXPECT_EQ(is_supported("a.jpg", nullptr), 0);
}

TEST_F(JpegExports, PictureInfoFromMemory) {
    PictureInfo info{};
    ASSERT_EQ(picture_info(jpeg.data(), static_cast<long>(jpeg.size()), 1, &info), 0);
    EXPECT_EQ(info.width, 16);
    EXPECT_EQ(info.height, 16);
    EXPECT_EQ(info.colour_depth, 24);
    EXPECT_NE(picture_info("not a jpeg", 10, 1, &info), 0);
}

TEST_F(JpegExports, PictureFromFileAtOffset) {
    TempDir dir;
    const std::string path = dir.file("x.bin");
    WriteFile(path, std::string(7, 'p') + jpeg);
    HLOCAL info = nullptr, bits = nullptr;
    ASSERT_EQ(picture(path.c_str(), 7, 0, &info, &bits, nullptr, 0), 0);
    ASSERT_NE(info, nullptr);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(LocalSize(info), 40u);
    EXPECT_EQ(LocalSize(bits), 48u * 16u);  // 16 x 3 bytes per row, 16 rows
    const auto *h = static_cast<const unsigned char *>(LocalLock(info));
    int32_t width, height;
    uint16_t bpp;
    std::memcpy(&width, h + 4, 4);
    std::memcpy(&height, h + 8, 4);
    std::memcpy(&bpp, h + 14, 2);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 16);  // bottom row first
    EXPECT_EQ(bpp, 24);
    const auto *b = static_cast<const unsigned char *>(LocalLock(bits));
    // First stored row is the bottom row: blue, then white; blue byte first.
    EXPECT_NEAR(b[0], 255, 6);
    EXPECT_NEAR(b[2], 0, 6);
    EXPECT_NEAR(b[47], 255, 6);
    LocalUnlock(bits);
    LocalUnlock(info);
    EXPECT_EQ(LocalFree(bits), nullptr);
    EXPECT_EQ(LocalFree(info), nullptr);
}

TEST_F(JpegExports, MissingFileIsAReadError) {
    HLOCAL info = nullptr, bits = nullptr;
    EXPECT_NE(picture("/nonexistent/x.jpg", 0, 0, &info, &bits, nullptr, 0), 0);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
}

int g_progress_calls = 0;
int CancelAtSecondRow(int done, int total, long data) {
    ++g_progress_calls;
    EXPECT_EQ(total, 16);
    EXPECT_EQ(data, 42);
    return done >= 2;
}

TEST_F(JpegExports, ProgressCanCancel) {
    HLOCAL info = nullptr, bits = nullptr;
    g_progress_calls = 0;
    EXPECT_EQ(picture(jpeg.data(), static_cast<long>(jpeg.size()), 1, &info, &bits,
                      CancelAtSecondRow, 42),
              1);
    EXPECT_EQ(g_progress_calls, 2);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
}

TEST_F(JpegExports, EmptyOrMissingArguments) {
    HLOCAL info = nullptr, bits = nullptr;
    EXPECT_NE(picture(jpeg.data(), 0, 1, &info, &bits, nullptr, 0), 0);
    EXPECT_NE(picture(nullptr, 10, 1, &info, &bits, nullptr, 0), 0);
    EXPECT_NE(picture(jpeg.data(), static_cast<long>(jpeg.size()), 1, nullptr, &bits, nullptr, 0),
              0);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
}

}  // namespace
