// Text rendering without the dialog: image size from the font's metrics,
// coverage levels in the alpha channel, colours, characters of a line,
// clamped positions, empty text and the hand-over to the main window.
#include <QFontMetrics>
#include <QRawFont>
#include <QtTest>
#include <cmath>
#include <vector>

#include "F_main.h"
#include "F_text.h"
#include "main_fixture.h"

using kvzaedit::GlyphMetricsRec;
using kvzaedit::TextFace;
using kvzaedit::TextSettings;
using kvzaedit::TMainF;
using maintest::At;
using maintest::Env;
using maintest::ImagePtr;

namespace {

const QString kFace = QStringLiteral("ＭＳ Ｐゴシック");

// The 16-pixel form font, built here the plain way (family and pixel size).
QFont PlainFont(int pixels = 16) {
    QFont font(kFace);
    font.setPixelSize(pixels);
    return font;
}

TextSettings Settings(uint32_t text = 0xFFFFFF, uint32_t back = 0x000000) {
    TextSettings s;
    s.face = kFace;
    s.text_colour = text;
    s.back_colour = back;
    s.weight = 400;
    s.height = -16;
    return s;
}

ImagePtr Render(const QStringList &lines, const TextSettings &s = Settings()) {
    return ImagePtr(kvzaedit::RenderTextImage(s, lines));
}

float MaxAlpha(KvzaImage *image, int y0, int y1) {
    float m = 0.0f;
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < image->width; ++x) m = std::max(m, At(image, x, y).a);
    return m;
}

int LineHeight(const QFont &font) {
    const QFontMetrics fm(font);
    return fm.height() + std::max(0, fm.leading());
}

}  // namespace

// The width a line is drawn across: the pen steps by each character's own
// whole-pixel advance, without kerning between neighbours.
int PenWalk(const QString &text) {
    const QFontMetrics fm(PlainFont());
    int width = 0;
    for (const QChar ch : text) width += fm.horizontalAdvance(ch);
    return width;
}

class TextRenderTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { kvzaedit::RegisterFontSubstitutes(); }

    // ---- size of the image ----

    void capitalAAndEmptyLine() {
        ImagePtr image = Render({QStringLiteral("A"), QString()});
        QVERIFY(image != nullptr);
        const QFontMetrics fm(PlainFont());
        QCOMPARE(image->width, PenWalk(QStringLiteral("A")));
        const int line = LineHeight(PlainFont());
        QCOMPARE(image->height, 2 * line);
        // The A is inked, the second line is fully transparent.
        QVERIFY(MaxAlpha(image.get(), 0, line) > 0.5f);
        QCOMPARE(MaxAlpha(image.get(), line, 2 * line), 0.0f);
        // Fully covered stroke pixels reach a = 1.
        QCOMPARE(MaxAlpha(image.get(), 0, line), 1.0f);
    }

    void widestLineGivesTheWidth() {
        ImagePtr image =
            Render({QStringLiteral("i"), QStringLiteral("WWWW"), QStringLiteral("ab")});
        QVERIFY(image != nullptr);
        QCOMPARE(image->width, PenWalk(QStringLiteral("WWWW")));
        QCOMPARE(image->height, 3 * LineHeight(PlainFont()));
    }

    void narrowGlyphsAndKernedPairsFitTheWidth() {
        // A run of narrow glyphs adds up their rounding, kerned pairs would
        // measure shorter as a whole string: the width follows the pen, so
        // the last glyph keeps its own cell.
        for (const QString &text : {QString(19, QLatin1Char('i')), QStringLiteral("AVAVAV")}) {
            ImagePtr image = Render({text});
            QVERIFY(image != nullptr);
            QCOMPARE(image->width, PenWalk(text));
        }
    }

    void lineOfSpacesIsTransparent() {
        ImagePtr image = Render({QStringLiteral("    ")});
        QVERIFY(image != nullptr);
        QCOMPARE(image->width, PenWalk(QStringLiteral("    ")));
        QVERIFY(image->width > 0);
        QCOMPARE(MaxAlpha(image.get(), 0, image->height), 0.0f);
    }

    void heightOfTwentyPixels() {
        TextSettings s = Settings();
        s.height = -20;
        ImagePtr image = Render({QStringLiteral("X")}, s);
        QVERIFY(image != nullptr);
        QCOMPARE(image->height, LineHeight(PlainFont(20)));
        QVERIFY(image->height > LineHeight(PlainFont(16)));
    }

    void newImageAttributes() {
        ImagePtr image = Render({QStringLiteral("Hi")});
        QVERIFY(image != nullptr);
        QCOMPARE(image->wrapx, uint8_t{KVZA_WRAP_CLAMP});
        QCOMPARE(image->wrapy, uint8_t{KVZA_WRAP_CLAMP});
        QCOMPARE(image->pixtype, int16_t{0});
        QCOMPARE(image->border.a, 0.0f);
        QCOMPARE(image->palette[0].w, 0.0f);
        QCOMPARE(image->palette[255].c, 0.0f);
    }

    // ---- empty text ----

    void emptyTextMakesNothing() {
        QVERIFY(Render({}) == nullptr);
        QVERIFY(Render({QString()}) == nullptr);
        QVERIFY(Render({QString(), QString(), QString()}) == nullptr);
    }

    void emptyTextLeavesTheWindowEmpty() {
        Env env;
        TMainF w;
        QCOMPARE(
            kvzaedit::MakeTextImage(&w, kFace, 1, {QString(), QString()}, 0, 0xFFFFFF, 400, -16),
            1);
        QVERIFY(w.CurImg == nullptr);
        QCOMPARE(w.Shown, uint8_t{0});
        QCOMPARE(w.Modified, uint8_t{0});
        QVERIFY(!w.A_Save->isEnabled());
    }

    // ---- coverage levels ----

    void alphaIsAWholeNumberOf64ths() {
        ImagePtr image = Render({QStringLiteral("Quick brown fox"), QStringLiteral("あいう")});
        QVERIFY(image != nullptr);
        int partial = 0;
        for (int y = 0; y < image->height; ++y) {
            for (int x = 0; x < image->width; ++x) {
                const float a = At(image.get(), x, y).a;
                QVERIFY(a >= 0.0f && a <= 1.0f);
                const float level = a * 64.0f;
                QCOMPARE(level, std::round(level));
                if (a > 0.0f && a < 1.0f) ++partial;
            }
        }
        QVERIFY2(partial > 0, "anti-aliased edges give partial coverage");
    }

    void glyphLevelsFollowTheRasteriser() {
        // Each level is the rasteriser's 8-bit coverage scaled to 0..64 and
        // rounded to the nearest level, at the position of its bounding box.
        const QFont font = kvzaedit::MakeTextFont(kFace, 400, -16);
        const TextFace dc(font);
        QVERIFY(dc.Valid());
        const QRawFont raw = QRawFont::fromFont(font);
        const quint32 index = raw.glyphIndexesForString(QStringLiteral("A")).front();
        const QImage map = raw.alphaMapForGlyph(index, QRawFont::PixelAntialiasing)
                               .convertToFormat(QImage::Format_Alpha8);
        const QRectF box = raw.boundingRect(index);

        std::vector<uint8_t> buffer(4096);
        GlyphMetricsRec gm;
        const int64_t bytes = dc.Glyph(U'A', buffer.data(), 4096, gm);
        QVERIFY(bytes > 0);
        const int stride = (gm.black_box_x + 3) / 4 * 4;
        QCOMPARE(bytes, int64_t{stride} * gm.black_box_y);
        // Offset of the black box inside the rasteriser's map.
        const int dx = gm.origin_x - static_cast<int>(std::floor(box.left()));
        const int dy = static_cast<int>(-std::floor(box.top())) - gm.origin_y;
        QVERIFY(dx >= 0 && dy >= 0);
        QVERIFY(dx + gm.black_box_x <= map.width() && dy + gm.black_box_y <= map.height());
        int full = 0;
        for (int i = 0; i < gm.black_box_y; ++i) {
            for (int j = 0; j < gm.black_box_x; ++j) {
                const int v = map.constScanLine(i + dy)[j + dx];
                const int level = buffer[static_cast<size_t>(i * stride + j)];
                QVERIFY(level <= 64);
                QCOMPARE(level, static_cast<int>(std::lround(v * 64.0 / 255.0)));
                full += v == 255;
            }
            // The padding of each row stays zero.
            for (int j = gm.black_box_x; j < stride; ++j)
                QCOMPARE(buffer[static_cast<size_t>(i * stride + j)], uint8_t{0});
        }
        QVERIFY(full > 0);
        // Everything outside the black box is uncovered.
        int outside = 0;
        for (int y = 0; y < map.height(); ++y)
            for (int x = 0; x < map.width(); ++x) {
                const bool in =
                    x >= dx && x < dx + gm.black_box_x && y >= dy && y < dy + gm.black_box_y;
                if (!in && map.constScanLine(y)[x] * 64 >= 128) ++outside;
            }
        QCOMPARE(outside, 0);
        QCOMPARE(gm.cell_inc_x,
                 static_cast<int16_t>(
                     std::lround(raw.advancesForGlyphIndexes(QList<quint32>{index}).front().x())));
    }

    void spaceHasNoBitmapButAnAdvance() {
        const TextFace dc(kvzaedit::MakeTextFont(kFace, 400, -16));
        std::vector<uint8_t> buffer(1024, 0xAB);
        GlyphMetricsRec gm;
        QCOMPARE(dc.Glyph(U' ', buffer.data(), 1024, gm), int64_t{0});
        QVERIFY(gm.cell_inc_x > 0);
        QCOMPARE(gm.black_box_x, 0);
    }

    void glyphTooLargeForTheBufferIsSkipped() {
        const TextFace dc(kvzaedit::MakeTextFont(kFace, 400, -16));
        std::vector<uint8_t> buffer(8, 0);
        GlyphMetricsRec gm;
        QCOMPARE(dc.Glyph(U'W', buffer.data(), 8, gm), int64_t{0});
        QVERIFY(gm.cell_inc_x > 0);  // the pen still advances
        for (uint8_t b : buffer) QCOMPARE(b, uint8_t{0});
    }

    // ---- colours ----

    void textColourEverywhereBackgroundInViewinfo() {
        // Text orange (red 255, green 128, blue 0), background teal.
        const uint32_t text = 0x0080FF;
        const uint32_t back = 0x908010;
        ImagePtr image = Render({QStringLiteral("Ag"), QStringLiteral(" ")}, Settings(text, back));
        QVERIFY(image != nullptr);
        QCOMPARE(image->viewinfo[0], uint8_t{0x10});
        QCOMPARE(image->viewinfo[1], uint8_t{0x80});
        QCOMPARE(image->viewinfo[2], uint8_t{0x90});
        const KvzaPixel first = At(image.get(), 0, 0);
        int inked = 0, clear = 0;
        for (int y = 0; y < image->height; ++y) {
            for (int x = 0; x < image->width; ++x) {
                const KvzaPixel p = At(image.get(), x, y);
                // One colour for text and background pixels alike.
                QCOMPARE(p.c, first.c);
                QCOMPARE(p.s, first.s);
                QCOMPARE(p.w, first.w);
                (p.a > 0.0f ? inked : clear)++;
            }
        }
        QVERIFY(inked > 0 && clear > 0);
        // That colour is the text colour.
        KvzaPixel rgb{};
        kvza_kvz2rgb(&rgb, &first);
        QVERIFY(std::fabs(rgb.c - 1.0f) < 1e-4f);
        QVERIFY(std::fabs(rgb.s - 128.0f / 255.0f) < 1e-4f);
        QVERIFY(std::fabs(rgb.w) < 1e-4f);
    }

    void whiteAndBlackText() {
        ImagePtr white = Render({QStringLiteral("x")}, Settings(0xFFFFFF));
        ImagePtr black = Render({QStringLiteral("x")}, Settings(0x000000));
        QVERIFY(white && black);
        QVERIFY(std::fabs(At(white.get(), 0, 0).w - 1.0f) < 1e-5f);
        QVERIFY(std::fabs(At(black.get(), 0, 0).w + 1.0f) < 1e-5f);
        QVERIFY(std::fabs(At(black.get(), 0, 0).c) < 1e-5f);
    }

    // ---- characters ----

    void surrogatePairIsOneCharacter() {
        const QString pair = QString::fromUcs4(U"a\U0001F600b");
        QCOMPARE(pair.size(), qsizetype{4});
        const std::vector<char32_t> codes = kvzaedit::TextCodes(pair.constData(), pair.size());
        QCOMPARE(codes.size(), size_t{3});
        QCOMPARE(codes[1], char32_t{0x1F600});
        // A high surrogate with nothing after it stays one character.
        const QString lone = QString(QChar(0xD83D));
        const std::vector<char32_t> one = kvzaedit::TextCodes(lone.constData(), 1);
        QCOMPARE(one.size(), size_t{1});
        QCOMPARE(one[0], char32_t{0xD83D});
        // The walk ends at a zero.
        const QString zero = QStringLiteral("ab") + QChar(0) + QStringLiteral("cd");
        QCOMPARE(kvzaedit::TextCodes(zero.constData(), zero.size()).size(), size_t{2});
    }

    void surrogatePairAdvancesThePenOnce() {
        // "<pair>A" drawn by the line walker equals the pair's glyph at pen 0
        // and the A one cell increment further.
        const TextFace dc(kvzaedit::MakeTextFont(kFace, 400, -16));
        const kvzaedit::TextMetricsRec tm = dc.Metrics();
        const int32_t row_bytes = tm.max_char_width * 4;
        std::vector<uint8_t> buffer(static_cast<size_t>(row_bytes) * tm.height);
        const QString text = QString::fromUcs4(U"\U00020BB7A");
        ImagePtr drawn(kvzaedit::NewImage(nullptr, 80, tm.height));
        kvzaedit::DrawTextLine(drawn.get(), dc, tm, tm.height, row_bytes, buffer.data(),
                               static_cast<int32_t>(text.size()), text.constData(), 0);

        ImagePtr expected(kvzaedit::NewImage(nullptr, 80, tm.height));
        int pen = 0;
        for (char32_t code : {char32_t{0x20BB7}, char32_t{U'A'}}) {
            GlyphMetricsRec gm;
            const int64_t bytes =
                dc.Glyph(code, buffer.data(), static_cast<int64_t>(buffer.size()), gm);
            const int stride = (gm.black_box_x + 3) / 4 * 4;
            for (int i = 0; bytes > 0 && i < gm.black_box_y; ++i)
                for (int j = 0; j < gm.black_box_x; ++j)
                    At(expected.get(), pen + gm.origin_x + j, tm.ascent - gm.origin_y + i).a =
                        buffer[static_cast<size_t>(i * stride + j)] / 64.0f;
            pen += gm.cell_inc_x;
            if (code == U'A') QVERIFY(bytes > 0);
        }
        QVERIFY(maintest::SamePixels(drawn.get(), expected.get()));
    }

    void doubleWidthCharacterIsOneGlyph() {
        ImagePtr image = Render({QStringLiteral("あ")});
        QVERIFY(image != nullptr);
        QCOMPARE(image->width, PenWalk(QStringLiteral("あ")));
        QVERIFY(MaxAlpha(image.get(), 0, image->height) == 1.0f);
    }

    // ---- positions ----

    void positionsOutsideLandOnTheEdge() {
        const TextFace dc(kvzaedit::MakeTextFont(kFace, 400, -16));
        const kvzaedit::TextMetricsRec tm = dc.Metrics();
        const int32_t row_bytes = tm.max_char_width * 4;
        std::vector<uint8_t> buffer(static_cast<size_t>(row_bytes) * tm.height);
        ImagePtr image(kvzaedit::NewImage(nullptr, 6, 4));
        // Far below the image: every write lands on the bottom row.
        const QString text = QStringLiteral("I");
        kvzaedit::DrawTextLine(image.get(), dc, tm, tm.height, row_bytes, buffer.data(), 1,
                               text.constData(), 1000);
        QCOMPARE(MaxAlpha(image.get(), 0, 3), 0.0f);
        QVERIFY(MaxAlpha(image.get(), 3, 4) > 0.0f);
    }

    void laterGlyphOverwritesItsWholeBox() {
        // An "o" drawn over a half-transparent image: within the black box of
        // each glyph alpha is its coverage, zero included.
        const TextFace dc(kvzaedit::MakeTextFont(kFace, 400, -16));
        const kvzaedit::TextMetricsRec tm = dc.Metrics();
        const int32_t row_bytes = tm.max_char_width * 4;
        std::vector<uint8_t> buffer(static_cast<size_t>(row_bytes) * tm.height);
        ImagePtr image(kvzaedit::NewImage(nullptr, 40, tm.height));
        for (int y = 0; y < tm.height; ++y)
            for (int x = 0; x < 40; ++x) At(image.get(), x, y).a = 0.5f;
        const QString text = QStringLiteral("o");
        kvzaedit::DrawTextLine(image.get(), dc, tm, tm.height, row_bytes, buffer.data(), 1,
                               text.constData(), 0);
        GlyphMetricsRec gm;
        QVERIFY(dc.Glyph(U'o', buffer.data(), static_cast<int64_t>(buffer.size()), gm) > 0);
        // The centre of an "o" is uncovered: it is set to 0, not left at 0.5.
        const int cx = gm.origin_x + gm.black_box_x / 2;
        const int cy = tm.ascent - gm.origin_y + gm.black_box_y / 2;
        QCOMPARE(At(image.get(), cx, cy).a, 0.0f);
        // Outside the box the old alpha stays.
        QCOMPARE(At(image.get(), 39, 0).a, 0.5f);
    }

    // ---- fonts ----

    void fontDescription() {
        QFont f = kvzaedit::MakeTextFont(kFace, 700, -16);
        QCOMPARE(f.family(), kFace);
        QCOMPARE(f.pixelSize(), 16);
        QCOMPARE(f.weight(), QFont::Bold);
        QCOMPARE(kvzaedit::MakeTextFont(kFace, 0, -16).weight(), QFont::Normal);
        QCOMPARE(kvzaedit::MakeTextFont(kFace, 100, -16).weight(), QFont::Thin);
        QCOMPARE(kvzaedit::MakeTextFont(kFace, 900, -16).weight(), QFont::Black);
        // A positive height is the cell: ascent + descent.
        const int cell = QFontMetrics(kvzaedit::MakeTextFont(kFace, 400, 30)).height();
        QVERIFY2(std::abs(cell - 30) <= 1, qPrintable(QString::number(cell)));
        // Face names keep at most 31 characters.
        const QString longName(40, QLatin1Char('x'));
        QCOMPARE(kvzaedit::MakeTextFont(longName, 400, -16).family(),
                 QString(31, QLatin1Char('x')));
    }

    // ---- hand-over to the main window ----

    void emptyWindowShowsTheText() {
        Env env;
        TMainF w;
        const QString caption = w.windowTitle();
        QCOMPARE(kvzaedit::MakeTextImage(&w, kFace, 1, {QStringLiteral("A"), QString()}, 0x0000FF,
                                         0xFFFFFF, 400, -16),
                 0);
        QVERIFY(w.CurImg != nullptr);
        QCOMPARE(w.Shown, uint8_t{1});
        QCOMPARE(w.Modified, uint8_t{1});
        QVERIFY(w.SaveName.isEmpty());
        QCOMPARE(w.windowTitle(), caption);
        QVERIFY(w.A_Save->isEnabled());
        QCOMPARE(w.CurImg->viewinfo[0], uint8_t{0xFF});
        QCOMPARE(w.CurImg->height, 2 * LineHeight(PlainFont()));
        QCOMPARE(maintest::UndoDepth(w), 0);
        QCOMPARE(w.Img->Bitmap.width(), w.CurImg->width);
        QVERIFY(env.boxes.log.isEmpty());
    }

    void occupiedWindowSendsTheText() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(3, 2, maintest::Distinct));
        w.A_Gray->trigger();  // one undo step
        w.Modified = 0;
        KvzaImage *own = w.CurImg;
        ImagePtr before = maintest::Clone(own);
        std::vector<ImagePtr> sent;
        kvzaedit::SetTextSendHook(
            [&sent](const KvzaImage *image) { sent.push_back(maintest::Clone(image)); });
        const int result = kvzaedit::MakeTextImage(&w, kFace, 1, {QStringLiteral("Hello")},
                                                   0x00FF00, 0x000000, 400, -16);
        kvzaedit::SetTextSendHook(nullptr);
        QCOMPARE(result, 0);
        QCOMPARE(sent.size(), size_t{1});
        QCOMPARE(sent[0]->width, PenWalk(QStringLiteral("Hello")));
        QCOMPARE(sent[0]->viewinfo[1], uint8_t{0xFF});
        // The window keeps its document, history and flags.
        QVERIFY(w.CurImg == own);
        QVERIFY(maintest::SamePixels(w.CurImg, before.get()));
        QCOMPARE(maintest::UndoDepth(w), 1);
        QCOMPARE(w.Modified, uint8_t{0});
    }

    void noWindowMakesNothing() {
        QCOMPARE(kvzaedit::MakeTextImage(nullptr, kFace, 1, {QStringLiteral("A")}, 0, 0, 400, -16),
                 1);
    }
};

QTEST_MAIN(TextRenderTest)
#include "text_render_test.moc"
