// Headers the TGA reader refuses, progress, and hostile input.
#include <cstring>

#include "tga_fixture.h"

using namespace kintest;

namespace {

TgaSpec grey_3x2() {
    TgaSpec s;
    s.type = 3;
    s.width = 3;
    s.height = 2;
    s.depth = 8;
    s.pixels = {0, 50, 100, 150, 200, 250};
    return s;
}

void expect_refused(const kintest::Reader &reader, const Bytes &file, const std::string &what) {
    TempFile f(file);
    EXPECT_EQ(reader.imgs(f.path(), 0), 0) << what;
    int32_t w = 0, h = 0;
    EXPECT_EQ(reader.pixs(f.path(), 0, &w, &h), 0) << what;
    kvzatest::ImagePtr image = kvzatest::make_image(3, 2);
    EXPECT_EQ(reader.load(image.get(), f.path(), 0, nullptr), 1) << what;
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(is_clear(image->pixels[i])) << what;
}

}  // namespace

TEST_F(Tga, RunLengthEncodedFilesAreRefusedByAllExports) {
    for (uint8_t type : {9, 10, 11}) {
        TgaSpec s = grey_3x2();
        s.type = type;
        expect_refused(reader(), build_tga(s), "type " + std::to_string(type));
    }
}

TEST_F(Tga, UnknownTypesAreRefused) {
    for (uint8_t type : {0, 4, 32, 33, 255}) {
        TgaSpec s = grey_3x2();
        s.type = type;
        expect_refused(reader(), build_tga(s), "type " + std::to_string(type));
    }
}

TEST_F(Tga, BadDepthsAreRefused) {
    for (uint8_t depth : {0, 1, 4, 15, 31, 48}) {
        TgaSpec s = grey_3x2();
        s.depth = depth;
        s.pixels = Bytes(64, 0);
        expect_refused(reader(), build_tga(s), "depth " + std::to_string(depth));
    }
}

TEST_F(Tga, FileOneByteShortIsRefused) {
    const Bytes full = build_tga(grey_3x2());
    expect_refused(reader(), Bytes(full.begin(), full.end() - 1), "grey");

    TgaSpec s = grey_3x2();
    s.id = Bytes(10, 'i');
    const Bytes with_id = build_tga(s);
    expect_refused(reader(), Bytes(with_id.begin(), with_id.end() - 1), "with id");

    TgaSpec m;
    m.map_type = 1;
    m.type = 1;
    m.map_length = 4;
    m.entry_bits = 24;
    m.map = Bytes(12, 9);
    m.width = 3;
    m.height = 2;
    m.depth = 8;
    m.pixels = Bytes(6, 1);
    const Bytes mapped = build_tga(m);
    TempFile f(mapped);
    EXPECT_EQ(reader().imgs(f.path(), 0), 1);
    expect_refused(reader(), Bytes(mapped.begin(), mapped.end() - 1), "mapped");
}

TEST_F(Tga, IdFieldLongerThanTheFileIsRefused) {
    Bytes file = build_tga(grey_3x2());
    file[0] = static_cast<uint8_t>(file.size() - 18 + 1);
    expect_refused(reader(), file, "id");
}

TEST_F(Tga, HeaderShorterThan18BytesIsRefused) {
    const Bytes full = build_tga(grey_3x2());
    for (size_t len : {0, 1, 17})
        expect_refused(reader(), Bytes(full.begin(), full.begin() + len), "short");
}

TEST_F(Tga, LargestSizesAreRefusedWithoutTheData) {
    TgaSpec s = grey_3x2();
    s.width = 65535;
    s.height = 65535;
    s.depth = 32;
    expect_refused(reader(), build_tga(s), "65535 x 65535");
    s.type = 1;
    s.entry_bits = 32;
    s.map_length = 65535;
    s.depth = 16;
    expect_refused(reader(), build_tga(s), "mapped 65535 x 65535");
}

TEST_F(Tga, MissingFileNullPathAndBadOffsets) {
    kvzatest::ImagePtr image = kvzatest::make_image(3, 2);
    EXPECT_EQ(reader().imgs("/nonexistent/x.tga", 0), 0);
    EXPECT_EQ(reader().pixs("/nonexistent/x.tga", 0, nullptr, nullptr), 0);
    EXPECT_EQ(reader().load(image.get(), "/nonexistent/x.tga", 0, nullptr), 1);
    EXPECT_EQ(reader().imgs(nullptr, 0), 0);
    EXPECT_EQ(reader().load(image.get(), nullptr, 0, nullptr), 1);
    TempFile f(build_tga(grey_3x2()));
    for (int32_t offset : {-1, INT32_MIN, 1, 100, INT32_MAX}) {
        EXPECT_EQ(reader().imgs(f.path(), offset), 0) << offset;
        EXPECT_EQ(reader().pixs(f.path(), offset, nullptr, nullptr), 0) << offset;
        EXPECT_EQ(reader().load(image.get(), f.path(), offset, nullptr), 1) << offset;
    }
    EXPECT_EQ(reader().load(nullptr, f.path(), 0, nullptr), 1);
    EXPECT_EQ(reader().imgs("/", 0), 0);
    EXPECT_EQ(reader().load(image.get(), "/", 0, nullptr), 1);
}

// ---- progress ------------------------------------------------------------

TEST_F(Tga, ProgressCountsEveryPixelAndEndsWithTotalOfTotal) {
    ProgressLog log;
    KvzaProgress p = log.record(0);
    const Opened o = open(reader(), build_tga(grey_3x2()), 0, &p);
    ASSERT_EQ(o.status, 0);
    ASSERT_EQ(log.calls.size(), 7U);
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(log.calls[i], std::make_pair(i + 1, 6U));
    EXPECT_EQ(log.calls.back(), std::make_pair(6U, 6U));
}

TEST_F(Tga, CancellingAtOnceReturnsTwo) {
    ProgressLog log;
    log.stop_at_call = 1;
    KvzaProgress p = log.record(0);
    const Opened o = open(reader(), build_tga(grey_3x2()), 0, &p);
    EXPECT_EQ(o.status, 2);
    // Bottom-up: the first stored pixel is (0, 1); nothing after it.
    EXPECT_FLOAT_EQ(pix(o.image, 0, 1).w, -1.0f);
    EXPECT_TRUE(is_clear(pix(o.image, 1, 1)));
    EXPECT_TRUE(is_clear(pix(o.image, 0, 0)));
    ASSERT_EQ(log.calls.size(), 2U);
    EXPECT_EQ(log.calls.back(), std::make_pair(6U, 6U));
}

TEST_F(Tga, RefusedHeadersMakeNoProgressCalls) {
    TgaSpec s = grey_3x2();
    s.type = 10;
    ProgressLog log;
    KvzaProgress p = log.record(0);
    kvzatest::ImagePtr image;
    EXPECT_EQ(load_into(reader(), build_tga(s), 3, 2, image, 0, KVZA_WRAP_CLAMP, &p), 1);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(Tga, UnsupportedTypeAndDepthFailInDecodingWithTheFinalCall) {
    // The header is accepted; the combination is refused by the decoding
    // step, which the progress set-up and final report enclose.
    TgaSpec s = grey_3x2();
    s.type = 2;  // 8-bit true colour
    ProgressLog log;
    KvzaProgress p = log.record(0);
    kvzatest::ImagePtr image;
    EXPECT_EQ(load_into(reader(), build_tga(s), 3, 2, image, 0, KVZA_WRAP_CLAMP, &p), 1);
    ASSERT_EQ(log.calls.size(), 1U);
    EXPECT_EQ(log.calls[0], std::make_pair(6U, 6U));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_TRUE(is_clear(pix(image, x, y)));
}

// ---- hostile input -------------------------------------------------------

TEST_F(Tga, EverySampleLoads) {
    for (const Sample &s : tga_samples()) {
        const Opened o = open(reader(), s.bytes);
        EXPECT_EQ(o.width, s.width) << s.name;
        EXPECT_EQ(o.height, s.height) << s.name;
        EXPECT_EQ(o.status, 0) << s.name;
    }
}

TEST_F(Tga, EveryTruncationIsRefused) {
    for (const Sample &s : tga_samples()) {
        TempFile f({});
        for (size_t len = 0; len < s.bytes.size(); ++len) {
            f.write(Bytes(s.bytes.begin(), s.bytes.begin() + static_cast<long>(len)));
            ASSERT_EQ(reader().imgs(f.path(), 0), 0) << s.name << " cut to " << len;
            ASSERT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0);
            kvzatest::ImagePtr image = kvzatest::make_image(s.width, s.height);
            ASSERT_EQ(reader().load(image.get(), f.path(), 0, nullptr), 1);
        }
    }
}

TEST_F(Tga, DamagedHeadersNeverCrash) {
    const uint8_t values[] = {0x00, 0x01, 0x02, 0x03, 0x10, 0x20, 0x7F, 0x80, 0xFF};
    for (const Sample &s : tga_samples()) {
        TempFile f({});
        for (size_t i = 0; i < 18; ++i) {
            for (uint8_t v : values) {
                Bytes damaged = s.bytes;
                damaged[i] = v;
                f.write(damaged);
                reader().imgs(f.path(), 0);
                reader().pixs(f.path(), 0, nullptr, nullptr);
                kvzatest::ImagePtr image = kvzatest::make_image(s.width, s.height);
                const int32_t status = reader().load(image.get(), f.path(), 0, nullptr);
                ASSERT_TRUE(status == 0 || status == 1) << s.name << " byte " << i;
                kvzatest::ImagePtr tiny = kvzatest::make_image(1, 1);
                tiny->wrapx = tiny->wrapy = static_cast<uint8_t>(i % 4);
                reader().load(tiny.get(), f.path(), 0, nullptr);
            }
        }
    }
}

TEST_F(Tga, SamplesAfterAPrefixLoadTheSame) {
    for (const Sample &s : tga_samples()) {
        Bytes file(128, 0xFF);
        append(file, s.bytes);
        const Opened o = open(reader(), file, 128);
        const Opened plain = open(reader(), s.bytes);
        ASSERT_EQ(o.status, 0) << s.name;
        ASSERT_EQ(plain.status, 0) << s.name;
        EXPECT_EQ(std::memcmp(o.image.get(), plain.image.get(),
                              KVZA_HEADER_BYTES + sizeof(KvzaPixel) * s.width * s.height),
                  0)
            << s.name;
    }
}
