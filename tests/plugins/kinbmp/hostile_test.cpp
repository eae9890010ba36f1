// Broken and hostile files: every truncation of every sample, and random
// damage, must give a refusal or a partial image and never touch memory
// outside the file buffer or the image (run under AddressSanitizer).
#include <algorithm>
#include <cstring>

#include "bmp_fixture.h"

using namespace kintest;

TEST_F(Bmp, EverySampleLoads) {
    for (const Sample &s : bmp_samples()) {
        TempFile f(s.bytes);
        EXPECT_GE(reader().imgs(f.path(), 0), 1) << s.name;
        const Opened o = open(reader(), f.path());
        EXPECT_EQ(o.width, s.width) << s.name;
        EXPECT_EQ(o.height, s.height) << s.name;
        EXPECT_EQ(o.status, 0) << s.name;
    }
}

TEST_F(Bmp, EveryTruncationIsRefusedOrPartial) {
    for (const Sample &s : bmp_samples()) {
        TempFile f({});
        for (size_t len = 0; len < s.bytes.size(); ++len) {
            f.write(Bytes(s.bytes.begin(), s.bytes.begin() + static_cast<long>(len)));
            reader().imgs(f.path(), 0);
            int32_t w = -1, h = -1;
            const int32_t count = reader().pixs(f.path(), 0, &w, &h);
            if (count > 0) {
                EXPECT_EQ(w, s.width);
                EXPECT_EQ(h, s.height);
            }
            kvzatest::ImagePtr image = kvzatest::make_image(s.width, s.height);
            const int32_t status = reader().load(image.get(), f.path(), 0, nullptr);
            // Only the padding after the last stored row may be missing.
            if (len + 4 <= s.bytes.size())
                ASSERT_EQ(status, 1) << s.name << " cut to " << len;
            else
                ASSERT_TRUE(status == 0 || status == 1) << s.name << " cut to " << len;
        }
    }
}

TEST_F(Bmp, DamagedSamplesNeverCrash) {
    // Every byte of every sample replaced by a few telling values, loaded into
    // a record of the sample's size and into a 1 x 1 record of each wrap mode.
    const uint8_t values[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
    for (const Sample &s : bmp_samples()) {
        TempFile f({});
        const size_t limit = std::min<size_t>(s.bytes.size(), 80);  // headers and tables
        for (size_t i = 0; i < limit; ++i) {
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

TEST_F(Bmp, SamplesAfterAPrefixLoadAtOffset128Only) {
    for (const Sample &s : bmp_samples()) {
        Bytes file(128, 'p');
        append(file, s.bytes);
        TempFile f(file);
        EXPECT_EQ(reader().imgs(f.path(), 0), 0) << s.name;
        EXPECT_EQ(reader().pixs(f.path(), 0, nullptr, nullptr), 0) << s.name;
        const Opened o = open(reader(), f.path(), 128);
        EXPECT_EQ(o.status, 0) << s.name;
        const Opened plain = open(reader(), s.bytes);
        ASSERT_EQ(plain.status, 0);
        EXPECT_EQ(std::memcmp(o.image.get(), plain.image.get(),
                              KVZA_HEADER_BYTES + sizeof(KvzaPixel) * s.width * s.height),
                  0)
            << s.name;
    }
}
