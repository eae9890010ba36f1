// The view drawing repeats the bytes of a pixel equal to its left neighbour
// and skips the conversion of pixels drawn as the background. These tests
// compare every byte RefreshView writes with a pixel-by-pixel reference of
// the drawing rules, on rows full of repeats, near-repeats (one component or
// one bit apart) and values outside the usual ranges.
#include <QtTest>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "F_main.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using maintest::Env;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// A float channel as a view byte: the integer part of v x 255, its low 8
// bits; a product that is not a number (or beyond 64 bits) shows as 0.
uint8_t RefByte(double v) {
    const double t = std::trunc(v * 255.0);
    if (std::isnan(t) || std::fabs(t) >= 9.2e18) return 0;
    return static_cast<uint8_t>(static_cast<int64_t>(t) & 0xFF);
}

// The bytes (red, green, blue) one pixel is drawn as, by mode.
void RefPixel(const KvzaPixel &p, int mode, const uint8_t back[3], uint8_t out[3]) {
    KvzaPixel rgb = p;
    kvza_kvz2rgb(&rgb, &p);
    kvza_cliprgba(&rgb, &rgb);
    const float ch[3] = {rgb.c, rgb.s, rgb.w};
    const float a = p.a;
    for (int k = 0; k < 3; ++k) {
        const float bg = static_cast<float>(back[k]) * 0.003921569f;
        switch (mode) {
            case 1:
                out[k] = (a == 0.0f || std::isnan(a)) ? back[k] : RefByte(ch[k]);
                break;
            case 2:
                out[k] = a >= 1.0f ? RefByte(ch[k]) : back[k];
                break;
            case 3:
                out[k] = RefByte(static_cast<double>(bg) +
                                 static_cast<double>(a) * (static_cast<double>(ch[k]) - bg));
                break;
            default:
                out[k] = RefByte(ch[k]);
                break;
        }
    }
}

// Checks the whole view bitmap of w against the reference; returns the first
// difference as text, or an empty string.
QString CompareView(TMainF &w, int mode) {
    const KvzaImage *img = w.CurImg;
    const uint8_t back[3] = {img->viewinfo[0], img->viewinfo[1], img->viewinfo[2]};
    if (w.Img->Bitmap.width() != img->width || w.Img->Bitmap.height() != img->height)
        return QStringLiteral("bitmap size");
    for (int y = 0; y < img->height; ++y) {
        const uchar *row = w.Img->Bitmap.constScanLine(y);
        for (int x = 0; x < img->width; ++x) {
            uint8_t want[3];
            RefPixel(img->pixels[static_cast<int64_t>(y) * img->width + x], mode, back, want);
            if (std::memcmp(row + 3 * x, want, 3) != 0)
                return QStringLiteral("mode %1 pixel (%2, %3): (%4,%5,%6), expected (%7,%8,%9)")
                    .arg(mode)
                    .arg(x)
                    .arg(y)
                    .arg(row[3 * x])
                    .arg(row[3 * x + 1])
                    .arg(row[3 * x + 2])
                    .arg(want[0])
                    .arg(want[1])
                    .arg(want[2]);
        }
    }
    return QString();
}

void DrawAllModes(TMainF &w) {
    for (int mode = 0; mode < 4; ++mode) {
        w.TransMode = static_cast<int8_t>(mode);
        w.RefreshView(0);
        const QString diff = CompareView(w, mode);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }
}

// The float just above v.
float Next(float v) {
    return std::nextafter(v, kInf);
}

}  // namespace

class PerfViewRunsTest : public QObject {
    Q_OBJECT
  private slots:
    void nearRepeatsAreDrawnOnTheirOwn() {
        Env env;
        TMainF w;
        const KvzaPixel red = maintest::Rgba(0.9f, 0.1f, 0.2f, 0.75f);
        KvzaPixel alpha_apart = red;
        alpha_apart.a = Next(red.a);
        KvzaPixel c_apart = red;
        c_apart.c = -red.c;
        KvzaPixel w_apart = red;
        w_apart.w = Next(red.w);
        KvzaPixel zero_a = red;
        zero_a.a = 0.0f;
        KvzaPixel minus_zero_a = red;
        minus_zero_a.a = -0.0f;
        // Each pixel differs from its left neighbour in one place only.
        const std::vector<KvzaPixel> row = {red,     red,          alpha_apart,  alpha_apart, red,
                                            c_apart, c_apart,      red,          w_apart,     red,
                                            zero_a,  minus_zero_a, minus_zero_a, zero_a,      red};
        KvzaImage *img = maintest::MakeImage(static_cast<int>(row.size()), 3, [&](int x, int y) {
            return row[(x + y) % row.size()];  // rows start at different places
        });
        QVERIFY(img != nullptr);
        img->viewinfo[0] = 10;
        img->viewinfo[1] = 200;
        img->viewinfo[2] = 90;
        maintest::Adopt(w, img);
        DrawAllModes(w);
    }

    void valuesOutsideTheRangesRepeatLikeAnyOther() {
        Env env;
        TMainF w;
        const float odd[] = {kNaN, kInf, -kInf, 2.0f, -0.5f, 1.0f, 0.0f, -0.0f, 1e-40f, 3e38f};
        std::vector<KvzaPixel> row;
        for (float v : odd) {
            const KvzaPixel colour = maintest::Rgba(0.3f, 0.6f, 0.9f, 1.0f);
            KvzaPixel in_a = colour, in_c = colour, in_w = colour;
            in_a.a = v;
            in_c.c = v;
            in_w.w = v;
            for (const KvzaPixel &p : {in_a, in_a, in_c, in_c, in_c, in_w, in_w}) row.push_back(p);
        }
        KvzaImage *img = maintest::MakeImage(static_cast<int>(row.size()), 2,
                                             [&](int x, int) { return row[x]; });
        QVERIFY(img != nullptr);
        img->viewinfo[0] = 255;
        img->viewinfo[1] = 0;
        img->viewinfo[2] = 128;
        maintest::Adopt(w, img);
        DrawAllModes(w);
    }

    void randomRowsWithRunsMatchTheReference_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("small") << 97 << 23;
        // Large enough to be drawn in two halves at once; an odd row count
        // leaves the halves unequal.
        QTest::newRow("split") << 613 << 439;
    }

    void randomRowsWithRunsMatchTheReference() {
        QFETCH(int, width);
        QFETCH(int, height);
        Env env;
        TMainF w;
        std::mt19937 rng(20240611);
        std::uniform_real_distribution<float> unit(-0.2f, 1.2f);
        std::vector<KvzaPixel> pixels;
        for (int i = 0; i < width * height; ++i) {
            if (!pixels.empty() && rng() % 3 == 0) {
                pixels.push_back(pixels.back());  // a run
                continue;
            }
            KvzaPixel p = maintest::Rgba(unit(rng), unit(rng), unit(rng), unit(rng));
            if (rng() % 5 == 0) p.a = static_cast<float>(rng() % 2);  // exact 0 or 1
            pixels.push_back(p);
        }
        KvzaImage *img = maintest::MakeImage(width, height, [&](int x, int y) {
            return pixels[static_cast<size_t>(y) * width + x];
        });
        QVERIFY(img != nullptr);
        img->viewinfo[0] = 128;
        img->viewinfo[1] = 128;
        img->viewinfo[2] = 128;
        maintest::Adopt(w, img);
        DrawAllModes(w);
    }

    void aRedrawAfterAnEditLeavesNoStaleBytes() {
        // The same bitmap is drawn again: bytes of the former image must not
        // survive where a run now starts with a different pixel.
        Env env;
        TMainF w;
        KvzaImage *img = maintest::MakeImage(
            16, 4, [](int x, int y) { return maintest::Rgba(x / 15.0f, y / 3.0f, 0.5f, 1.0f); });
        QVERIFY(img != nullptr);
        maintest::Adopt(w, img);
        w.TransMode = 0;
        w.RefreshView(0);
        for (int64_t i = 0; i < 16 * 4; ++i)
            img->pixels[i] = maintest::Rgba(0.2f, 0.4f, 0.6f, 1.0f);
        w.RefreshView(0);
        const QString diff = CompareView(w, 0);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    // The drawn bytes of a pixel are remembered by its stored bytes: a few
    // colours repeated across a row wider than a chunk (several within one
    // chunk before the first is converted), drawn again under another
    // background and mode, and after colours are edited in place, must each
    // show exactly what the reference draws. Colours differ in alpha alone
    // or by one bit, and include the background-showing alphas.
    void rememberedPixelsFollowBackgroundModeAndEdits() {
        Env env;
        TMainF w;
        std::vector<KvzaPixel> colours;
        for (float a : {1.0f, 0.5f, 0.0f, Next(0.5f), kNaN, 1.5f}) {
            colours.push_back(maintest::Rgba(0.8f, 0.3f, 0.1f, a));
            colours.push_back(maintest::Rgba(0.1f, Next(0.3f), 0.7f, a));
        }
        const int width = 2500, height = 5;  // rows of three chunks
        KvzaImage *img = maintest::MakeImage(
            width, height, [&](int x, int y) { return colours[(x * 7 + y * 3) % colours.size()]; });
        QVERIFY(img != nullptr);
        maintest::Adopt(w, img);
        const uint8_t backs[][3] = {{128, 128, 128}, {0, 255, 17}, {128, 128, 128}};
        for (const auto &back : backs) {
            std::memcpy(img->viewinfo, back, 3);
            DrawAllModes(w);
        }
        // Same stored bytes, same view; new stored bytes, their own view.
        for (int64_t i = 0; i < int64_t{width} * height; i += 3)
            img->pixels[i].s = -img->pixels[i].s;
        DrawAllModes(w);
    }
};

QTEST_MAIN(PerfViewRunsTest)
#include "perf_view_runs_test.moc"
