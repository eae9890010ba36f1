// Settings of the main window: the default background colour read at start,
// the sixteen custom colours of the colour dialog and their keys, and the
// background and border colour commands.
#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QScrollArea>
#include <QTimer>
#include <QtTest>

#include "F_main.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using maintest::Env;

namespace {

QString ReadAll(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll());
}

void WriteAll(const QString &path, const QByteArray &text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

// Answers the next colour dialog: records the colour it opened on, then
// picks `pick` and confirms, or cancels when pick is invalid.
void AnswerColourDialog(QColor *opened_on, QColor pick) {
    QTimer::singleShot(0, [opened_on, pick] {
        auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->objectName(), QStringLiteral("BackColSel"));
        *opened_on = dialog->currentColor();
        if (pick.isValid()) {
            dialog->setCurrentColor(pick);
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
}

}  // namespace

class MainSettingsTest : public QObject {
    Q_OBJECT
  private slots:
    void firstStartWritesTheDefaultColour() {
        Env env;
        QVERIFY(!QFile::exists(env.IniFile()));
        TMainF w;
        QCOMPARE(w.BackColSelColour, 0x808080u);
        const QString text = ReadAll(env.IniFile());
        QVERIFY2(text.contains(QStringLiteral("[BackColour]")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Default=808080")), qPrintable(text));
        // The custom colours appear only once a colour dialog is used.
        QVERIFY(!text.contains(QStringLiteral("PaletteA")));
    }

    void storedDefaultColourIsScannedAsHexadecimal() {
        const struct {
            const char *stored;
            uint32_t colour;
        } cases[] = {{"zz", 0x808080}, {"ff", 0x0000FF}, {"1G", 0x000001}, {"123456", 0x123456}};
        for (const auto &c : cases) {
            Env env;
            WriteAll(env.IniFile(), QByteArray("[BackColour]\nDefault=") + c.stored + "\n");
            TMainF w;
            QCOMPARE(w.BackColSelColour, c.colour);
        }
    }

    void customColoursRoundTripThroughTheSettings() {
        Env env;
        // Keys PaletteA .. PaletteP hold 0xBBGGRR numbers.
        WriteAll(env.IniFile(),
                 "[BackColour]\nPaletteA=0000FF\nPaletteB=00FF00\nPaletteC=FF0000\n"
                 "PaletteP=123456\n");
        TMainF w;
        w.LoadCustomColours();
        QCOMPARE(QColorDialog::customColor(0), QColor(255, 0, 0));
        QCOMPARE(QColorDialog::customColor(1), QColor(0, 255, 0));
        QCOMPARE(QColorDialog::customColor(2), QColor(0, 0, 255));
        QCOMPARE(QColorDialog::customColor(15), QColor(0x56, 0x34, 0x12));
        for (int i = 3; i < 15; ++i) QCOMPARE(QColorDialog::customColor(i), QColor(0, 0, 0));
        // Every key read is written back.
        QString text = ReadAll(env.IniFile());
        for (char letter = 'A'; letter <= 'P'; ++letter)
            QVERIFY2(text.contains(QStringLiteral("Palette%1=").arg(QChar(letter))),
                     qPrintable(text));

        QColorDialog::setCustomColor(4, QColor(1, 2, 3));
        QColorDialog::setCustomColor(0, QColor(0xAB, 0xCD, 0xEF));
        w.StoreCustomColours();
        text = ReadAll(env.IniFile());
        QVERIFY2(text.contains(QStringLiteral("PaletteE=030201")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("PaletteA=EFCDAB")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("PaletteP=123456")), qPrintable(text));

        // Loading empties the list first: keys now hold what was stored.
        QColorDialog::setCustomColor(4, QColor(9, 9, 9));
        w.LoadCustomColours();
        QCOMPARE(QColorDialog::customColor(4), QColor(1, 2, 3));
        QCOMPARE(QColorDialog::customColor(0), QColor(0xAB, 0xCD, 0xEF));
    }

    void backgroundColourCommand() {
        Env env;
        TMainF w;
        KvzaImage *img = maintest::MakeImage(2, 1, [](int, int) {
            return KvzaPixel{0, 0, 1.0f, 0.0f};
        });
        maintest::Adopt(w, img);
        QColor opened;
        AnswerColourDialog(&opened, QColor(1, 2, 3));
        w.A_BackCol->trigger();
        QCOMPARE(opened, QColor(128, 128, 128));  // the default colour
        QCOMPARE(w.BackColSelColour, 0x030201u);
        QCOMPARE(int(w.CurImg->viewinfo[0]), 1);
        QCOMPARE(int(w.CurImg->viewinfo[1]), 2);
        QCOMPARE(int(w.CurImg->viewinfo[2]), 3);
        QCOMPARE(w.Modified, uint8_t(1));
        // The view shows the new background behind the transparent pixels.
        const uchar *row = w.Img->Bitmap.constScanLine(0);
        QVERIFY(row[0] <= 1 && row[1] <= 2 && row[1] >= 1 && row[2] >= 2 && row[2] <= 3);
        const QString text = ReadAll(env.IniFile());
        QVERIFY2(text.contains(QStringLiteral("Default=030201")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("PaletteP=")), qPrintable(text));
        // No undo step for an attribute.
        QVERIFY(!w.A_Undo->isEnabled());

        // The next dialog opens on the colour chosen last; cancelling keeps
        // everything but still stores the custom colours.
        QVERIFY(QFile::remove(env.IniFile()));
        w.Modified = 0;
        AnswerColourDialog(&opened, QColor());
        w.A_BackCol->trigger();
        QCOMPARE(opened, QColor(1, 2, 3));
        QCOMPARE(int(w.CurImg->viewinfo[0]), 1);
        QCOMPARE(w.Modified, uint8_t(0));
        const QString after = ReadAll(env.IniFile());
        QVERIFY2(!after.contains(QStringLiteral("Default=")), qPrintable(after));
        QVERIFY2(after.contains(QStringLiteral("PaletteA=")), qPrintable(after));
    }

    void borderColourCommand() {
        Env env;
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(1, 1, maintest::Distinct));
        QColor opened;
        AnswerColourDialog(&opened, QColor(255, 0, 0));
        w.A_BorderCol->trigger();
        // Red through the colour model, with alpha 0.
        const KvzaPixel rgb{255 * 0.003921569f, 0.0f, 0.0f, 0.0f};
        KvzaPixel expect{};
        kvza_rgb2kvz(&expect, &rgb);
        QCOMPARE(w.CurImg->border.c, expect.c);
        QCOMPARE(w.CurImg->border.s, expect.s);
        QCOMPARE(w.CurImg->border.w, expect.w);
        QCOMPARE(w.CurImg->border.a, 0.0f);
        QCOMPARE(w.Modified, uint8_t(1));
        QCOMPARE(w.Scroll->viewport()->palette().color(QPalette::Window), QColor(255, 0, 0));
        QVERIFY(ReadAll(env.IniFile()).contains(QStringLiteral("Default=0000FF")));
    }

    void colourCommandsWithoutADocumentOnlyStoreTheChoice() {
        Env env;
        TMainF w;
        w.A_BackCol->setEnabled(true);  // normally reachable only with a document
        QColor opened;
        AnswerColourDialog(&opened, QColor(0, 128, 255));
        w.A_BackCol->trigger();
        QCOMPARE(w.BackColSelColour, 0xFF8000u);
        QVERIFY(w.CurImg == nullptr);
        QCOMPARE(w.Modified, uint8_t(0));
        QVERIFY(ReadAll(env.IniFile()).contains(QStringLiteral("Default=FF8000")));
    }
};

QTEST_MAIN(MainSettingsTest)
#include "main_settings_test.moc"
