// Further instances from the main window, with real processes: A_Fork hands
// the image to the program's test build, which is run with its diagnostic hook
// KVZAEDIT_RECEIVE_DUMP (it records what start-up received and ends); the
// program started with malformed, short, empty, terminal and closed standard
// inputs; A_New and dropped files, observed through small recording scripts;
// the parent's messages when the child dies early or the block is too large.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <cstring>
#include <functional>

#include "F_main.h"
#include "instances.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using maintest::Env;
using maintest::ImagePtr;

namespace {

const char kDumpVariable[] = "KVZAEDIT_RECEIVE_DUMP";

// The program with its test seams; the shipped one has no start-up dump.
QString ProgramPath() {
    return QStringLiteral(KVZA_TESTING_PROGRAM);
}

QString ShippedProgramPath() {
    return QDir(QStringLiteral(KVZA_BIN_DIR)).filePath(QStringLiteral("kvzaedit"));
}

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

QByteArray RawBlock(const KvzaImage *image) {
    return QByteArray(
        reinterpret_cast<const char *>(image),
        static_cast<qsizetype>(kvzaedit::ImageBlockBytes(image->width, image->height)));
}

QByteArray Le32(uint32_t v) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

bool WaitForFile(const QString &path, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path)) {
        if (timer.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

// An image whose header fields, palette and pixels all differ from zero and
// from each other, so a byte-exact copy is told from a near one.
KvzaImage *RichImage(int w, int h) {
    KvzaImage *image = maintest::MakeImage(w, h, maintest::Distinct);
    if (image == nullptr) return nullptr;
    image->pixtype = 21;
    image->reserved = 0xBEEF;
    image->wrapx = 2;
    image->wrapy = 3;
    image->pad[0] = 0x5A;
    image->pad[1] = 0xA5;
    for (int i = 0; i < KVZA_VIEWINFO_BYTES; ++i)
        image->viewinfo[i] = static_cast<uint8_t>(i * 7 + 1);
    image->border = KvzaPixel{0.25f, -0.125f, 0.5f, 0.75f};
    for (int i = 0; i < KVZA_PALETTE_ENTRIES; ++i)
        image->palette[i] =
            KvzaPixel{i / 512.0f, -i / 1024.0f, i / 256.0f - 0.5f, 1.0f - i / 256.0f};
    return image;
}

// Writes an executable shell script.
QString Script(const QTemporaryDir &dir, const QString &name, const QByteArray &body) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return QString();
    f.write("#!/bin/sh\n" + body);
    f.close();
    chmod(QFile::encodeName(path).constData(), 0755);
    return path;
}

// A script that writes one file run.<pid> per start: its arguments, their
// count, its standard input and its session.
QString Recorder(const QTemporaryDir &dir) {
    const QByteArray base = QFile::encodeName(dir.filePath("run"));
    return Script(dir, "record.sh",
                  "f='" + base +
                      "'.$$\n{ echo \"args=$*\"; echo \"count=$#\"; "
                      "echo \"stdin=$(readlink /proc/self/fd/0)\"; "
                      "echo \"session=$(cut -d' ' -f6 /proc/$$/stat)\"; } > \"$f.part\" && "
                      "mv \"$f.part\" \"$f\"\n");
}

QStringList Runs(const QTemporaryDir &dir) {
    QStringList texts;
    const QStringList names =
        QDir(dir.path()).entryList({QStringLiteral("run.*")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        if (!name.endsWith(QStringLiteral(".part")))
            texts << QString::fromUtf8(ReadAll(dir.filePath(name)));
    return texts;
}

bool WaitForRuns(const QTemporaryDir &dir, int count, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (Runs(dir).size() < count) {
        if (timer.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

// A 24-bit BMP of two pixels: blue, red.
QByteArray TinyBmp() {
    QByteArray bmp(62, '\0');
    auto put32 = [&bmp](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 62);
    put32(10, 54);
    put32(14, 40);
    put32(18, 2);                                            // width
    put32(22, 1);                                            // height
    bmp[26] = 1;                                             // planes
    bmp[28] = 24;                                            // bits per pixel
    put32(34, 8);                                            // image bytes
    const char row[8] = {'\xFF', 0, 0, 0, 0, '\xFF', 0, 0};  // B G R, B G R, padding
    std::memcpy(bmp.data() + 54, row, 8);
    return bmp;
}

// What the program's diagnostic hook recorded.
struct Dump {
    bool present = false;
    QStringList facts;
    QByteArray block;
    bool has(const QString &fact) const { return facts.contains(fact); }
    QStringList boxes() const { return facts.filter(QRegularExpression(QStringLiteral("^box="))); }
};

Dump ReadDump(const QString &path) {
    Dump d;
    d.present = QFile::exists(path);
    if (!d.present) return d;
    d.block = ReadAll(path);
    d.facts = QString::fromUtf8(ReadAll(path + QStringLiteral(".txt")))
                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return d;
}

// Runs the program with the hook on; prepare sets up its standard input,
// input is written to it (then closed) when write_input is set.
Dump RunProgram(const QTemporaryDir &dir, const std::function<void(QProcess &)> &prepare,
                const QByteArray &input, bool write_input) {
    const QString dump = dir.filePath(QStringLiteral("dump"));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kDumpVariable), dump);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    if (prepare) prepare(child);
    child.start(ProgramPath(), QStringList());
    if (!child.waitForStarted(30000)) return Dump();
    if (write_input) {
        child.write(input);
        child.waitForBytesWritten(30000);
        child.closeWriteChannel();
    }
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished(5000);
        return Dump();
    }
    return ReadDump(dump);
}

struct ProgramOverride {
    explicit ProgramOverride(const QString &path) {
        kvzaedit::SetInstanceProgram(QFile::encodeName(path).toStdString());
    }
    ~ProgramOverride() { kvzaedit::SetInstanceProgram(std::string()); }
};

void SendDrop(TMainF &w, const QList<QUrl> &urls) {
    QMimeData data;
    data.setUrls(urls);
    // As on screen: the drag enters the window before it is dropped.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
}

}  // namespace

class InstancesWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(ProgramPath()), "the test build of the program is built");
        QVERIFY(qgetenv(kDumpVariable).isEmpty());
        // Children run on the same platform as this test, whoever started it.
        if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    void shippedProgramHasNoStartupDump() {
        const QByteArray program = ReadAll(ShippedProgramPath());
        QVERIFY2(!program.isEmpty(), "the program is built beside the plug-ins");
        QVERIFY(!program.contains(kDumpVariable));
        QVERIFY(ReadAll(ProgramPath()).contains(kDumpVariable));
    }

    // ---- A_Fork with the real program ----
    void forkedChildGetsTheImageByteForByte_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("small") << 7 << 5;
        QTest::newRow("one pixel") << 1 << 1;
        QTest::newRow("beyond the pipe") << 800 << 600;
    }
    void forkedChildGetsTheImageByteForByte() {
        QFETCH(int, width);
        QFETCH(int, height);
        Env env;
        QTemporaryDir dir;
        const QString dump = dir.filePath(QStringLiteral("dump"));
        ProgramOverride program(ProgramPath());
        TMainF w;
        maintest::Adopt(w, RichImage(width, height));
        const QByteArray before = RawBlock(w.CurImg);
        QVERIFY(w.A_Fork->isEnabled());
        // The hook's variable is seen by the child only: it is set around the start.
        qputenv(kDumpVariable, QFile::encodeName(dump));
        w.A_Fork->trigger();
        qunsetenv(kDumpVariable);
        QVERIFY(WaitForFile(dump, 60000));
        const Dump d = ReadDump(dump);
        QCOMPARE(d.block.size(), before.size());
        QVERIFY(d.block == before);
        QVERIFY2(d.has("input=data"), qPrintable(d.facts.join('|')));
        QVERIFY(d.has("shown=1"));
        QVERIFY(d.has("modified=1"));  // a received document is unsaved
        QVERIFY(d.has("savename="));
        QVERIFY(d.has("caption=KVZA frontend"));
        QVERIFY(d.has(QStringLiteral("session=%1").arg(getsid(0))));  // no new session
        QVERIFY(d.boxes().isEmpty());
        // The parent keeps its document as it was.
        QTest::qWait(100);
        QVERIFY(env.boxes.log.isEmpty());
        QCOMPARE(RawBlock(w.CurImg), before);
        QCOMPARE(w.Modified, uint8_t{0});
        QCOMPARE(maintest::UndoDepth(w), 0);
    }

    void forkWithoutImageDoesNothing() {
        Env env;
        QTemporaryDir dir;
        ProgramOverride program(Recorder(dir));
        TMainF w;
        w.A_ForkExecute();
        QTest::qWait(300);
        QVERIFY(Runs(dir).isEmpty());
        QVERIFY(env.boxes.log.isEmpty());
    }

    // ---- the receiving program with other inputs ----
    void malformedCountLeavesChildEmpty() {
        QTemporaryDir dir;
        // n says two pixels, the header says 1 x 1; all n bytes follow.
        const uint32_t n = 4232 + 16;
        ImagePtr one(maintest::MakeImage(1, 1, maintest::Distinct));
        const QByteArray stream = Le32(n) + RawBlock(one.get()) + QByteArray(16, '\0');
        const Dump d = RunProgram(dir, nullptr, stream, true);
        QVERIFY(d.present);
        QVERIFY(d.block.isEmpty());
        QVERIFY(d.has("shown=0"));
        QCOMPARE(d.boxes(), QStringList({"box=pipe cannot read"}));
    }

    void shortStreamLeavesChildEmpty() {
        QTemporaryDir dir;
        ImagePtr image(RichImage(4, 3));
        const QByteArray whole =
            Le32(static_cast<uint32_t>(RawBlock(image.get()).size())) + RawBlock(image.get());
        const Dump d = RunProgram(dir, nullptr, whole.left(whole.size() - 10), true);
        QVERIFY(d.present);
        QVERIFY(d.block.isEmpty());
        QVERIFY(d.has("shown=0"));
        QCOMPARE(d.boxes(), QStringList({"box=pipe cannot read"}));
    }

    void emptyPipeAndZeroCountOpenEmptyWithoutMessage() {
        for (const QByteArray &stream : {QByteArray(), Le32(0)}) {
            QTemporaryDir dir;
            const Dump d = RunProgram(dir, nullptr, stream, true);
            QVERIFY(d.present);
            QVERIFY(d.has("input=data"));
            QVERIFY(d.has("shown=0"));
            QVERIFY(d.has("modified=0"));
            QVERIFY(d.boxes().isEmpty());
        }
    }

    void nullInputOpensEmpty() {
        QTemporaryDir dir;
        const Dump d = RunProgram(
            dir, [](QProcess &p) { p.setStandardInputFile(QProcess::nullDevice()); }, {}, false);
        QVERIFY(d.present);
        QVERIFY(d.has("input=null"));
        QVERIFY(d.has("shown=0"));
        QVERIFY(d.boxes().isEmpty());
    }

    void terminalInputOpensEmpty() {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0) QSKIP("no pseudo-terminal available");
        QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
        const QString slave = QString::fromLocal8Bit(ptsname(master));
        QTemporaryDir dir;
        // Nothing is ever typed: a program that read the terminal would not end.
        const Dump d = RunProgram(
            dir, [&slave](QProcess &p) { p.setStandardInputFile(slave); }, {}, false);
        close(master);
        QVERIFY(d.present);
        QVERIFY2(d.has("input=terminal"), qPrintable(d.facts.join('|')));
        QVERIFY(d.has("shown=0"));
        QVERIFY(d.boxes().isEmpty());
    }

    void closedInputOpensEmpty() {
        QTemporaryDir dir;
        const Dump d = RunProgram(
            dir, [](QProcess &p) { p.setChildProcessModifier([] { close(STDIN_FILENO); }); }, {},
            false);
        QVERIFY(d.present);
        // The closed descriptor is taken by /dev/null when the program loads,
        // so no file opened later passes for standard input.
        QVERIFY2(d.has("input=null"), qPrintable(d.facts.join('|')));
        QVERIFY(d.has("shown=0"));
        QVERIFY(d.boxes().isEmpty());
    }

    // ---- parent-side failures ----
    void childDyingEarlyGivesPipeCannotWrite() {
        Env env;
        QTemporaryDir dir;
        ProgramOverride program(Script(dir, "quit.sh", "exit 0\n"));
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(1024, 1024, maintest::Distinct));
        const int result = w.SendToNewInstance(w.CurImg);
        QTRY_COMPARE_WITH_TIMEOUT(env.boxes.count("error:pipe cannot write"), 1, 30000);
        QVERIFY(result == 0 || result == 1);
        QTest::qWait(200);
        QCOMPARE(env.boxes.log, QStringList({"error:pipe cannot write"}));
        QCOMPARE(w.CurImg->width, 1024);
    }

    void windowClosedWhileWritingIsSafe() {
        Env env;
        QTemporaryDir dir;
        ProgramOverride program(Script(dir, "slow.sh", "sleep 1\nexit 0\n"));
        {
            TMainF w;
            maintest::Adopt(w, maintest::MakeImage(1024, 1024, maintest::Distinct));
            QCOMPARE(w.SendToNewInstance(w.CurImg), 0);
            w.Modified = 0;
        }  // the image and the window go while the helper still writes
        QTest::qWait(1500);
        QVERIFY(env.boxes.log.isEmpty());
    }

    void blockBeyond32BitsIsOutOfMemory() {
        Env env;
        QTemporaryDir dir;
        ProgramOverride program(Recorder(dir));
        TMainF w;
        KvzaImage header{};  // only the sizes are looked at
        header.width = 65536;
        header.height = 65536;
        QCOMPARE(w.SendToNewInstance(&header), 1);
        QCOMPARE(env.boxes.log, QStringList({"error:out of memory"}));
        QTest::qWait(300);
        QVERIFY(Runs(dir).isEmpty());
    }

    // ---- empty instances ----
    void newStartsIndependentEmptyInstance() {
        Env env;
        QTemporaryDir dir;
        ProgramOverride program(Recorder(dir));
        TMainF w;
        maintest::Adopt(w, RichImage(3, 3));
        const QByteArray before = RawBlock(w.CurImg);
        w.A_New->trigger();
        QVERIFY(WaitForRuns(dir, 1, 20000));
        const QString run = Runs(dir).front();
        QVERIFY2(run.contains("count=0\n"), qPrintable(run));
        QVERIFY2(run.contains("stdin=/dev/null\n"), qPrintable(run));
        QVERIFY2(!run.contains(QStringLiteral("session=%1\n").arg(getsid(0))), qPrintable(run));
        QCOMPARE(RawBlock(w.CurImg), before);
        QVERIFY(env.boxes.log.isEmpty());
    }

    void sendingNoImageStartsEmptyInstance() {
        Env env;
        QTemporaryDir dir;
        ProgramOverride program(Recorder(dir));
        TMainF w;
        QCOMPARE(w.SendToNewInstance(nullptr), 0);
        QVERIFY(WaitForRuns(dir, 1, 20000));
        QVERIFY(Runs(dir).front().contains("stdin=/dev/null\n"));
    }

    void newInstanceOfRealProgramOpensEmpty() {
        Env env;
        QTemporaryDir dir;
        const QString dump = dir.filePath(QStringLiteral("dump"));
        ProgramOverride program(ProgramPath());
        TMainF w;
        qputenv(kDumpVariable, QFile::encodeName(dump));
        w.A_New->trigger();
        qunsetenv(kDumpVariable);
        QVERIFY(WaitForFile(dump, 60000));
        const Dump d = ReadDump(dump);
        QVERIFY(d.has("input=null"));
        QVERIFY(d.has("shown=0"));
        QVERIFY(!d.has(QStringLiteral("session=%1").arg(getsid(0))));
        QVERIFY(d.boxes().isEmpty());
    }

    // ---- dropped files ----
    void windowAcceptsDropsOfFiles() {
        Env env;
        TMainF w;
        QVERIFY(w.acceptDrops());
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/x.bmp"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QMimeData text;
        text.setText(QStringLiteral("plain"));
        QDragEnterEvent other(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        other.setAccepted(false);
        QApplication::sendEvent(&w, &other);
        QVERIFY(!other.isAccepted());
    }

    void fileDroppedOnEmptyWindowOpensThere() {
        Env env;
        QTemporaryDir dir;
        ProgramOverride program(Recorder(dir));
        const QString path = env.Path(QStringLiteral("two.bmp"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(TinyBmp());
        }
        TMainF w;
        SendDrop(w, {QUrl::fromLocalFile(path)});
        QVERIFY2(env.boxes.log.isEmpty(), qPrintable(env.boxes.log.join('|')));
        QCOMPARE(w.Shown, uint8_t{1});
        QVERIFY(w.CurImg != nullptr);
        QCOMPARE(w.CurImg->width, 2);
        QCOMPARE(w.CurImg->height, 1);
        QCOMPARE(w.windowTitle(), path);
        QCOMPARE(w.OpenName, path);
        QCOMPARE(w.Modified, uint8_t{0});
        QTest::qWait(200);
        QVERIFY(Runs(dir).isEmpty());  // no further process
    }

    void twoFilesDroppedDoNothing() {
        Env env;
        QTemporaryDir dir;
        ProgramOverride program(Recorder(dir));
        const QString path = env.Path(QStringLiteral("two.bmp"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(TinyBmp());
        }
        const QList<QUrl> two = {QUrl::fromLocalFile(path), QUrl::fromLocalFile(path)};
        TMainF empty;
        SendDrop(empty, two);
        QCOMPARE(empty.Shown, uint8_t{0});
        QVERIFY(empty.CurImg == nullptr);

        TMainF busy;
        maintest::Adopt(busy, RichImage(2, 2));
        SendDrop(busy, two);
        SendDrop(busy, {QUrl(QStringLiteral("http://example.invalid/a.bmp"))});
        // A single file afterwards starts exactly one process: the earlier
        // drops started none.
        SendDrop(busy, {QUrl::fromLocalFile(path)});
        QVERIFY(WaitForRuns(dir, 1, 20000));
        QTest::qWait(300);
        QCOMPARE(Runs(dir).size(), 1);
        QVERIFY(env.boxes.log.isEmpty());
    }

    void fileDroppedOnWindowWithDocumentOpensInNewInstance() {
        Env env;
        QTemporaryDir dir;
        ProgramOverride program(Recorder(dir));
        const QString path = env.Path(QStringLiteral("with space.bmp"));
        TMainF w;
        maintest::Adopt(w, RichImage(3, 2));
        const QByteArray before = RawBlock(w.CurImg);
        w.Modified = 1;
        SendDrop(w, {QUrl::fromLocalFile(path)});
        QVERIFY(WaitForRuns(dir, 1, 20000));
        const QString run = Runs(dir).front();
        QVERIFY2(run.contains("args=" + path + "\n"), qPrintable(run));
        QVERIFY2(run.contains("count=1\n"), qPrintable(run));
        QVERIFY2(run.contains("stdin=/dev/null\n"), qPrintable(run));
        QVERIFY2(!run.contains(QStringLiteral("session=%1\n").arg(getsid(0))), qPrintable(run));
        // The window keeps its own document.
        QCOMPARE(RawBlock(w.CurImg), before);
        QCOMPARE(w.Modified, uint8_t{1});
        QCOMPARE(w.windowTitle(), QStringLiteral("KVZA frontend"));
        QVERIFY(env.boxes.log.isEmpty());
        w.Modified = 0;
    }
};

QTEST_MAIN(InstancesWindowTest)
#include "instances_window_test.moc"
