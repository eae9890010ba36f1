// The bundled sample picture: its size, attributes and the three areas of
// transparency it promises.
#include <QtTest>
#include <cmath>

#include "image_alloc.h"
#include "main_fixture.h"
#include "sample_image.h"

using maintest::At;

class MainSampleImageTest : public QObject {
    Q_OBJECT
  private slots:
    void sampleHasItsAreas() {
        maintest::ImagePtr img(kvzaedit::MakeSampleImage());
        QVERIFY(img != nullptr);
        QCOMPARE(img->width, 256);
        QCOMPARE(img->height, 192);
        QCOMPARE(int(img->viewinfo[0]), 128);
        QCOMPARE(int(img->viewinfo[2]), 128);
        QCOMPARE(int(img->wrapx), int(KVZA_WRAP_CLAMP));
        QCOMPARE(img->border.a, 0.0f);
        for (int y = 0; y < 192; y += 7) {
            QCOMPARE(At(img.get(), 0, y).a, 0.0f);
            QCOMPARE(At(img.get(), 63, y).a, 0.0f);
            QCOMPARE(At(img.get(), 64, y).a, 0.5f);
            QCOMPARE(At(img.get(), 127, y).a, 0.5f);
            QCOMPARE(At(img.get(), 128, y).a, 1.0f);
            QCOMPARE(At(img.get(), 255, y).a, 1.0f);
        }
        // The disc centre is opaque white.
        KvzaPixel rgb{};
        kvza_kvz2rgb(&rgb, &At(img.get(), 176, 96));
        QCOMPARE(At(img.get(), 176, 96).a, 1.0f);
        QVERIFY(std::fabs(rgb.c - 1.0f) < 1e-4f);
        QVERIFY(std::fabs(rgb.s - 1.0f) < 1e-4f);
        QVERIFY(std::fabs(rgb.w - 0.85f) < 1e-4f);
        // The gradient: red grows to the right, green downwards, even where
        // the pixels are transparent.
        kvza_kvz2rgb(&rgb, &At(img.get(), 0, 0));
        QVERIFY(std::fabs(rgb.c) < 1e-4f && std::fabs(rgb.s) < 1e-4f);
        kvza_kvz2rgb(&rgb, &At(img.get(), 255, 191));
        QVERIFY(std::fabs(rgb.c - 1.0f) < 1e-4f && std::fabs(rgb.s - 1.0f) < 1e-4f);
        QVERIFY(std::fabs(rgb.w) < 1e-4f);
    }
};

QTEST_MAIN(MainSampleImageTest)
#include "main_sample_image_test.moc"
