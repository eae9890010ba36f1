// The hand-over between instances below the window: the count n, what a
// standard input counts as, reading a block from a pipe (whole, malformed,
// short, silent), and sending to child processes that read, die or never
// start. Children are small shell scripts written by the tests.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "image_alloc.h"
#include "instances.h"

using kvzaedit::InputKind;
using kvzaedit::ReceiveStatus;
using kvzaedit::SendStatus;

namespace {

struct Block {
    KvzaImage *image = nullptr;
    Block() = default;
    explicit Block(KvzaImage *i) : image(i) {}
    ~Block() { kvzaedit::ReleaseImage(image); }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;
    uint64_t bytes() const { return kvzaedit::ImageBlockBytes(image->width, image->height); }
    QByteArray raw() const {
        return QByteArray(reinterpret_cast<const char *>(image), static_cast<qsizetype>(bytes()));
    }
};

// A block whose every byte after the sizes (padding, reserved, viewinfo,
// border, palette and pixels included) is pseudo-random.
KvzaImage *RandomBlock(int32_t w, int32_t h, unsigned seed) {
    KvzaImage *image = kvzaedit::NewImage(nullptr, w, h);
    if (image == nullptr) return nullptr;
    std::mt19937 gen(seed);
    auto *bytes = reinterpret_cast<uint8_t *>(image);
    const uint64_t total = kvzaedit::ImageBlockBytes(w, h);
    for (uint64_t i = 8; i < total; ++i) bytes[i] = static_cast<uint8_t>(gen());
    return image;
}

QByteArray Le32(uint32_t v) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

QByteArray Sizes(int32_t w, int32_t h) {
    QByteArray out(8, '\0');
    std::memcpy(out.data(), &w, 4);
    std::memcpy(out.data() + 4, &h, 4);
    return out;
}

struct Pipe {
    int r = -1, w = -1;
    Pipe() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) == 0) {
            r = ends[0];
            w = ends[1];
        }
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    void CloseRead() {
        if (r >= 0) close(r);
        r = -1;
    }
    void CloseWrite() {
        if (w >= 0) close(w);
        w = -1;
    }
};

// Writes bytes to the pipe from a thread (they may exceed its capacity),
// then closes the write end unless keep_open.
std::thread Feed(Pipe &p, QByteArray bytes, bool keep_open = false) {
    const int fd = p.w;
    if (!keep_open) p.w = -1;
    return std::thread([fd, bytes, keep_open] {
        const char *data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t done = write(fd, data, static_cast<size_t>(left));
            if (done < 0) {
                if (errno == EINTR) continue;
                break;
            }
            data += done;
            left -= done;
        }
        if (!keep_open) close(fd);
    });
}

ReceiveStatus Receive(int fd, Block &out, int first_ms = 2000, int idle_ms = 2000) {
    kvzaedit::ReceiveTimeouts t;
    t.first_ms = first_ms;
    t.idle_ms = idle_ms;
    return kvzaedit::ReceiveImage(fd, &out.image, t);
}

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
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

bool WaitForFile(const QString &path, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path)) {
        if (timer.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}

bool WaitForState(const kvzaedit::PendingWrite &p, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (p.state.load() == kvzaedit::PendingWrite::kRunning) {
        if (timer.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}

// A script that stores its standard input in out and renames it to done.
QString Catcher(const QTemporaryDir &dir) {
    const QByteArray out = QFile::encodeName(dir.filePath("out"));
    return Script(dir, "catcher.sh",
                  "cat > '" + out + ".part' && mv '" + out + ".part' '" + out + "'\n");
}

}  // namespace

class InstancesWireTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        // The tests write to pipes whose reader may have gone; only the
        // sending code sets SIGPIPE aside, so do it for the test feeders too.
        signal(SIGPIPE, SIG_IGN);
    }

    // ---- the count n ----
    void countOfSmallestAndRealImages() {
        KvzaImage header{};
        header.width = 1;
        header.height = 1;
        QCOMPARE(kvzaedit::WireCount(&header), uint64_t{4232});
        header.width = 640;
        header.height = 480;
        QCOMPARE(kvzaedit::WireCount(&header), uint64_t{16} * 640 * 480 + 4216);
    }

    void countRefusesBlocksBeyond32Bits() {
        KvzaImage header{};
        QCOMPARE(kvzaedit::WireCount(nullptr), uint64_t{0});
        QCOMPARE(kvzaedit::WireCount(&header), uint64_t{0});  // 0 x 0
        header.width = -3;
        header.height = 5;
        QCOMPARE(kvzaedit::WireCount(&header), uint64_t{0});
        // 2^28 pixels: 2^32 + 4216 bytes, which 32-bit arithmetic would wrap to 4216.
        header.width = 1 << 16;
        header.height = 1 << 12;
        QCOMPARE(kvzaedit::WireCount(&header), uint64_t{0});
        // The largest n + 4 that fits: n = 2^32 - 5 needs 16 x pixels = 2^32 - 4221,
        // which is not a multiple of 16; the largest pixel count below it is sent.
        const uint64_t max_pixels = (UINT32_MAX - 4u - 4216u) / 16u;
        header.width = static_cast<int32_t>(max_pixels);
        header.height = 1;
        QCOMPARE(kvzaedit::WireCount(&header), max_pixels * 16 + 4216);
        header.width = static_cast<int32_t>(max_pixels + 1);
        QCOMPARE(kvzaedit::WireCount(&header), uint64_t{0});
    }

    // ---- what a standard input holds ----
    void classifiesPipesFilesAndDevices() {
        Pipe p;
        QCOMPARE(kvzaedit::ClassifyInput(p.r), InputKind::Data);

        const int nul = open("/dev/null", O_RDONLY | O_CLOEXEC);
        QVERIFY(nul >= 0);
        QCOMPARE(kvzaedit::ClassifyInput(nul), InputKind::Null);
        close(nul);
        QCOMPARE(kvzaedit::ClassifyInput(nul), InputKind::Closed);

        // Another character device is not /dev/null.
        const int zero = open("/dev/zero", O_RDONLY | O_CLOEXEC);
        QVERIFY(zero >= 0);
        QCOMPARE(kvzaedit::ClassifyInput(zero), InputKind::Data);
        close(zero);

        QTemporaryDir dir;
        QFile empty(dir.filePath("empty"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QFile full(dir.filePath("full"));
        QVERIFY(full.open(QIODevice::WriteOnly));
        full.write("x");
        full.close();
        QVERIFY(empty.open(QIODevice::ReadOnly));
        QCOMPARE(kvzaedit::ClassifyInput(empty.handle()), InputKind::Null);
        QVERIFY(full.open(QIODevice::ReadOnly));
        QCOMPARE(kvzaedit::ClassifyInput(full.handle()), InputKind::Data);
    }

    void classifiesTerminal() {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0) QSKIP("no pseudo-terminal available");
        QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
        const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(slave >= 0);
        QCOMPARE(kvzaedit::ClassifyInput(slave), InputKind::Terminal);
        close(slave);
        close(master);
    }

    // ---- receiving ----
    void receivesBlockByteForByte() {
        Block sent(RandomBlock(3, 2, 7));
        QVERIFY(sent.image != nullptr);
        Pipe p;
        std::thread feeder = Feed(p, Le32(static_cast<uint32_t>(sent.bytes())) + sent.raw());
        Block got;
        QCOMPARE(Receive(p.r, got), ReceiveStatus::Received);
        feeder.join();
        QVERIFY(got.image != nullptr);
        QCOMPARE(got.raw(), sent.raw());
    }

    void receivesOnePixelAndBlocksLargerThanThePipe() {
        for (const QSize size : {QSize(1, 1), QSize(700, 500)}) {
            Block sent(RandomBlock(size.width(), size.height(), 11));
            QVERIFY(sent.image != nullptr);
            Pipe p;
            const QByteArray stream = Le32(static_cast<uint32_t>(sent.bytes())) + sent.raw();
            if (size.width() == 1) QCOMPARE(stream.size(), qsizetype{4 + 4232});
            std::thread feeder = Feed(p, stream);
            Block got;
            QCOMPARE(Receive(p.r, got), ReceiveStatus::Received);
            feeder.join();
            QCOMPARE(got.raw(), sent.raw());
        }
    }

    void nothingSentGivesNoImageAndNoFailure() {
        // Input ends at once; a zero count; an incomplete count.
        const QByteArray streams[] = {QByteArray(), Le32(0) + QByteArray(100, 'x'),
                                      QByteArray("\x10\x10", 2)};
        for (const QByteArray &stream : streams) {
            Pipe p;
            std::thread feeder = Feed(p, stream);
            Block got;
            QCOMPARE(Receive(p.r, got), ReceiveStatus::Nothing);
            feeder.join();
            QVERIFY(got.image == nullptr);
        }
    }

    void silentInputIsNothingSent() {
        // A pipe whose writer stays open and never writes (a shell pipeline
        // from an idle program) must not hold the window back.
        Pipe p;
        Block got;
        QCOMPARE(Receive(p.r, got, 100, 100), ReceiveStatus::Nothing);
        QVERIFY(got.image == nullptr);
    }

    void countDisagreeingWithSizesIsRefused() {
        struct Case {
            uint32_t n;
            int32_t w, h;
        };
        const Case cases[] = {
            {4232 + 16, 1, 1},      // one pixel too many
            {16 * 6 + 4216, 3, 1},  // 3 x 1 holds 3 pixels, not 6
            {4232, 0, 1},           // empty size
            {4232, -1, -1},         // negative sizes multiply to 1 in 32 bits
            {4232, 268435457, 1},   // (2^28 + 1) x 16 wraps to 16 in 32 bits
            {4232, 1, 268435457},   // the same on the other axis
        };
        for (const Case &c : cases) {
            Pipe p;
            // Enough bytes follow for n, so only the header check refuses it.
            std::thread feeder = Feed(p, Le32(c.n) + Sizes(c.w, c.h) + QByteArray(c.n, '\x55'));
            Block got;
            QCOMPARE(Receive(p.r, got), ReceiveStatus::ReadFailed);
            p.CloseRead();
            feeder.join();
            QVERIFY(got.image == nullptr);
        }
    }

    void countTooSmallForAnyBlockIsRefused() {
        for (uint32_t n : {1u, 8u, 4216u, 4231u}) {
            Pipe p;
            std::thread feeder = Feed(p, Le32(n) + QByteArray(8000, '\0'));
            Block got;
            QCOMPARE(Receive(p.r, got), ReceiveStatus::ReadFailed);
            p.CloseRead();
            feeder.join();
        }
    }

    void shortStreamIsRefused() {
        Block sent(RandomBlock(4, 4, 3));
        const QByteArray whole = Le32(static_cast<uint32_t>(sent.bytes())) + sent.raw();
        // Cut inside the sizes, inside the palette, one byte before the end.
        for (qsizetype keep : {qsizetype{6}, qsizetype{2000}, whole.size() - 1}) {
            Pipe p;
            std::thread feeder = Feed(p, whole.left(keep));
            Block got;
            QCOMPARE(Receive(p.r, got), ReceiveStatus::ReadFailed);
            feeder.join();
            QVERIFY(got.image == nullptr);
        }
    }

    void stalledStreamIsRefused() {
        Block sent(RandomBlock(4, 4, 5));
        const QByteArray whole = Le32(static_cast<uint32_t>(sent.bytes())) + sent.raw();
        Pipe p;
        std::thread feeder = Feed(p, whole.left(100), true);
        feeder.join();
        Block got;
        QCOMPARE(Receive(p.r, got, 1000, 100), ReceiveStatus::ReadFailed);
    }

    // A parent that sends a byte now and then, each well within the idle
    // limit, still ends at the deadline of the whole block.
    void tricklingStreamEndsAtTheBlocksDeadline() {
        Block sent(RandomBlock(4, 4, 6));
        const QByteArray whole = Le32(static_cast<uint32_t>(sent.bytes())) + sent.raw();
        Pipe p;
        std::atomic<bool> stop{false};
        const int fd = p.w;
        std::thread feeder([&] {
            for (qsizetype i = 0; i < whole.size() && !stop; ++i) {
                if (write(fd, whole.constData() + i, 1) != 1) break;
                if (i >= 100) QThread::msleep(50);
            }
        });
        kvzaedit::ReceiveTimeouts t;
        t.first_ms = 1000;
        t.idle_ms = 400;  // the block is due 400 ms after n plus 4 ms at 1 MB/s
        t.bytes_per_second = 1'000'000;
        Block got;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(kvzaedit::ReceiveImage(p.r, &got.image, t), ReceiveStatus::ReadFailed);
        const qint64 took = timer.elapsed();
        stop = true;
        feeder.join();
        QVERIFY(got.image == nullptr);
        QVERIFY2(took < 2000, qPrintable(QString::number(took)));
    }

    void blockBeyondMemoryIsOutOfMemory() {
        // 2^28 - 264 pixels: a valid count just under 4 GiB; refused when
        // the machine has less, received otherwise (no pixels are sent, so
        // then the stream is short).
        const int32_t w = (1 << 28) - 264;
        const uint64_t n = uint64_t{16} * static_cast<uint64_t>(w) + 4216;
        QVERIFY(n < UINT32_MAX);
        Pipe p;
        std::thread feeder = Feed(p, Le32(static_cast<uint32_t>(n)) + Sizes(w, 1));
        Block got;
        const ReceiveStatus status = Receive(p.r, got);
        feeder.join();
        const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
        if (pages > 0 && page > 0 && static_cast<uint64_t>(pages) * static_cast<uint64_t>(page) < n)
            QCOMPARE(status, ReceiveStatus::OutOfMemory);
        else
            QVERIFY(status == ReceiveStatus::ReadFailed || status == ReceiveStatus::OutOfMemory);
        QVERIFY(got.image == nullptr);
    }

    void retiredInputIsNullAndReleasesThePipe() {
        Pipe p;
        const int fd = dup(p.r);
        QVERIFY(fd >= 0);
        p.CloseRead();
        kvzaedit::RetireInput(fd);
        QCOMPARE(kvzaedit::ClassifyInput(fd), InputKind::Null);
        // The reader is gone: writing fails instead of waiting.
        QCOMPARE(write(p.w, "x", 1), ssize_t{-1});
        QCOMPARE(errno, EPIPE);
        close(fd);
    }

    // ---- starting and sending ----
    void startedInstanceIsNoChildAndGetsArguments() {
        QTemporaryDir dir;
        const QByteArray log = QFile::encodeName(dir.filePath("log"));
        const QString script = Script(
            dir, "record.sh",
            "{ echo \"args=$*\"; echo \"count=$#\"; echo \"stdin=$(readlink /proc/self/fd/0)\";"
            " echo \"session=$(cut -d' ' -f6 /proc/$$/stat)\"; } > '" +
                log + ".part' && mv '" + log + ".part' '" + log + "'\n");
        QVERIFY(kvzaedit::StartInstance(QFile::encodeName(script).toStdString(), {"/tmp/a b.bmp"},
                                        -1, true));
        // The middle process was reaped and the instance reparented: this
        // process has no child left.
        int status = 0;
        QCOMPARE(waitpid(-1, &status, WNOHANG), pid_t{-1});
        QCOMPARE(errno, ECHILD);
        QVERIFY(WaitForFile(dir.filePath("log"), 20000));
        const QString text = QString::fromUtf8(ReadAll(dir.filePath("log")));
        QVERIFY2(text.contains("args=/tmp/a b.bmp\n"), qPrintable(text));
        QVERIFY2(text.contains("count=1\n"), qPrintable(text));
        QVERIFY2(text.contains("stdin=/dev/null\n"), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("session=%1\n").arg(getsid(0))), qPrintable(text));
    }

    void startWithPipeKeepsSession() {
        QTemporaryDir dir;
        const QByteArray log = QFile::encodeName(dir.filePath("log"));
        const QString script = Script(
            dir, "record.sh",
            "{ echo \"count=$#\"; echo \"session=$(cut -d' ' -f6 /proc/$$/stat)\"; cat; } > '" +
                log + ".part' && mv '" + log + ".part' '" + log + "'\n");
        Pipe p;
        QVERIFY(kvzaedit::StartInstance(QFile::encodeName(script).toStdString(), {}, p.r, false));
        p.CloseRead();
        QCOMPARE(write(p.w, "payload", 7), ssize_t{7});
        p.CloseWrite();
        QVERIFY(WaitForFile(dir.filePath("log"), 20000));
        const QString text = QString::fromUtf8(ReadAll(dir.filePath("log")));
        QVERIFY2(text.contains("count=0\n"), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("session=%1\n").arg(getsid(0))), qPrintable(text));
        QVERIFY2(text.endsWith("payload"), qPrintable(text));
    }

    void sendsCountAndBlockToTheChild() {
        // A block that fits the pipe, and one far beyond it (helper thread).
        for (const QSize size : {QSize(5, 3), QSize(1024, 600)}) {
            QTemporaryDir dir;
            const QString catcher = Catcher(dir);
            Block sent(RandomBlock(size.width(), size.height(), 99));
            QVERIFY(sent.image != nullptr);
            const kvzaedit::SendResult r =
                kvzaedit::SendImage(QFile::encodeName(catcher).toStdString(), sent.image);
            if (size.width() == 5) {
                QCOMPARE(r.status, SendStatus::Done);
            } else {
                QVERIFY(r.status == SendStatus::Pending || r.status == SendStatus::Done);
            }
            // The caller may drop its image at once: the helper has a copy.
            const QByteArray expected = Le32(static_cast<uint32_t>(sent.bytes())) + sent.raw();
            kvzaedit::ReleaseImage(sent.image);
            QVERIFY(WaitForFile(dir.filePath("out"), 30000));
            if (r.pending) {
                QVERIFY(WaitForState(*r.pending, 30000));
                QCOMPARE(r.pending->state.load(), int{kvzaedit::PendingWrite::kDone});
            }
            QCOMPARE(ReadAll(dir.filePath("out")), expected);
        }
    }

    void childThatDiesEarlyFailsTheWrite() {
        QTemporaryDir dir;
        const QString quitter = Script(dir, "quit.sh", "exit 0\n");
        Block sent(RandomBlock(1024, 1024, 1));  // 16 MiB: more than any pipe holds here
        QVERIFY(sent.image != nullptr);
        const kvzaedit::SendResult r =
            kvzaedit::SendImage(QFile::encodeName(quitter).toStdString(), sent.image);
        if (r.status == SendStatus::Pending) {
            QVERIFY(WaitForState(*r.pending, 30000));
            QCOMPARE(r.pending->state.load(), int{kvzaedit::PendingWrite::kFailed});
        } else {
            QCOMPARE(r.status, SendStatus::PipeWrite);
        }
    }

    void programThatCannotStartFailsTheWrite() {
        QTemporaryDir dir;
        Block sent(RandomBlock(1024, 1024, 2));
        const kvzaedit::SendResult r = kvzaedit::SendImage(
            QFile::encodeName(dir.filePath("missing")).toStdString(), sent.image);
        if (r.status == SendStatus::Pending) {
            QVERIFY(WaitForState(*r.pending, 30000));
            QCOMPARE(r.pending->state.load(), int{kvzaedit::PendingWrite::kFailed});
        } else {
            QCOMPARE(r.status, SendStatus::PipeWrite);
        }
    }

    void blockBeyond32BitsStartsNothing() {
        QTemporaryDir dir;
        const QString catcher = Catcher(dir);
        KvzaImage header{};  // only the sizes are looked at
        header.width = 65536;
        header.height = 65536;
        const kvzaedit::SendResult r =
            kvzaedit::SendImage(QFile::encodeName(catcher).toStdString(), &header);
        QCOMPARE(r.status, SendStatus::TooLarge);
        QCOMPARE(kvzaedit::SendImage("/bin/true", nullptr).status, SendStatus::TooLarge);
        QThread::msleep(200);
        QVERIFY(!QFile::exists(dir.filePath("out")));
    }

    void ownProgramIsTheDefault() {
        kvzaedit::SetInstanceProgram(std::string());
        const QString own = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        QCOMPARE(QString::fromStdString(kvzaedit::InstanceProgram()), own);
        kvzaedit::SetInstanceProgram("/x/y");
        QCOMPARE(kvzaedit::InstanceProgram(), std::string("/x/y"));
        kvzaedit::SetInstanceProgram(std::string());
    }
};

QTEST_MAIN(InstancesWireTest)
#include "instances_wire_test.moc"
