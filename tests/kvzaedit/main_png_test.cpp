// A PNG with partial alpha written by another program (Python's imaging
// library) opens in the editor, is edited and saved back as PNG in the layout
// it was read in: its alpha comes back byte for byte, the edit is in the file.
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "F_main.h"
#include "F_save.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using kvzaedit::TSaveF;

namespace {

constexpr int kW = 23;
constexpr int kH = 17;

// RGBA bytes of a PNG as Python's imaging library decodes it; empty on failure.
QByteArray PilRgba(const QString &path) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys\nfrom PIL import Image\n"
                                 "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA')"
                                 ".tobytes())"),
                  path});
    if (!python.waitForFinished(30000) || python.exitCode() != 0) return {};
    return python.readAllStandardOutput();
}

// Writes a kW x kH RGBA PNG with every alpha level from 0 to 255 and colours
// that are not grey.
bool WritePeerPng(const QString &path) {
    QProcess python;
    python.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys\nfrom PIL import Image\n"
                        "im = Image.new('RGBA', (%1, %2))\n"
                        "im.putdata([((x * 11) %% 256, (y * 15) %% 256, 200, (x + y * %1) %% 256)"
                        " for y in range(%2) for x in range(%1)])\n"
                        "im.save(sys.argv[1])")
             .arg(kW)
             .arg(kH)
             .replace(QStringLiteral("%%"), QStringLiteral("%")),
         path});
    return python.waitForFinished(30000) && python.exitCode() == 0 && QFile::exists(path);
}

}  // namespace

class MainPngTest : public QObject {
    Q_OBJECT
  private slots:
    void peerPngKeepsItsAlphaThroughAnEdit() {
        maintest::Env env;
        const QString path = env.Path(QStringLiteral("peer.png"));
        if (!WritePeerPng(path)) QSKIP("Python's imaging library is not installed");
        const QByteArray before = PilRgba(path);
        QCOMPARE(before.size(), 4 * kW * kH);

        int16_t preselected = 0;
        kvzaedit::SetSaveDialogHook([&preselected](TSaveF &dialog) {
            const int current = dialog.CB_Type->currentIndex();
            preselected = current >= 0 ? dialog.typeIds()[static_cast<size_t>(current)] : 0;
            dialog.B_OK->click();
        });
        {
            TMainF w(path);
            QVERIFY(w.CurImg != nullptr);
            QCOMPARE(int(w.CurImg->pixtype), 21);  // "RGB 24bit(+8bit alpha)"
            w.A_Gray->trigger();
            QCOMPARE(w.Modified, uint8_t(1));
            QCOMPARE(w.SaveDoc(), 0);
            QCOMPARE(int(preselected), 21);
        }
        kvzaedit::SetSaveDialogHook(nullptr);
        QCOMPARE(env.boxes.log, QStringList());

        const QByteArray after = PilRgba(path);
        QCOMPARE(after.size(), before.size());
        int alpha_changed = 0, not_grey = 0;
        for (int i = 0; i < after.size(); i += 4) {
            alpha_changed += after[i + 3] != before[i + 3];
            const auto r = static_cast<uint8_t>(after[i]), g = static_cast<uint8_t>(after[i + 1]),
                       b = static_cast<uint8_t>(after[i + 2]);
            if (static_cast<uint8_t>(after[i + 3]) != 0 &&
                (std::abs(r - g) > 1 || std::abs(g - b) > 1))
                ++not_grey;
        }
        QCOMPARE(alpha_changed, 0);
        QCOMPARE(not_grey, 0);
    }
};

QTEST_MAIN(MainPngTest)
#include "main_png_test.moc"
