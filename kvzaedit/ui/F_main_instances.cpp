// TMainF: further instances of the program (new, duplicate, dropped files)
// and the image handed over by a parent instance.
#include <unistd.h>

#include <QByteArray>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "F_main.h"
#include "image_alloc.h"
#include "instances.h"
#include "msgbox.h"

namespace kvzaedit {

namespace {

#ifdef KVZA_TEST_HOOKS
// Diagnostic hook for the hand-over tests (test builds only): when the environment variable
// KVZAEDIT_RECEIVE_DUMP names a file, the program records what start-up took
// from its standard input and ends at once, without showing any box. The
// file <path>.txt gets one line per fact ("input=", "box=", "shown=",
// "modified=", "savename=", "caption=", "session=", "group=") and then <path>
// gets the received image block as it lies in memory (empty when none), so a
// reader that sees <path> finds both complete.
const char kDumpVariable[] = "KVZAEDIT_RECEIVE_DUMP";

const char *KindName(InputKind kind) {
    switch (kind) {
        case InputKind::Closed:
            return "closed";
        case InputKind::Terminal:
            return "terminal";
        case InputKind::Null:
            return "null";
        case InputKind::Data:
            break;
    }
    return "data";
}

bool WriteFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const bool ok = file.write(bytes) == bytes.size();
    file.close();
    return ok;
}
#endif

// Watches a block that a helper thread is still writing to a child, and
// reports a failed write in this window's thread.
void WatchPendingWrite(QObject *owner, std::shared_ptr<PendingWrite> pending) {
    auto *timer = new QTimer(owner);
    timer->setInterval(50);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, pending] {
        const int state = pending->state.load();
        if (state == PendingWrite::kRunning) return;
        timer->stop();
        timer->deleteLater();
        if (state == PendingWrite::kFailed) ErrorBox(QStringLiteral("pipe cannot write"));
    });
    timer->start();
}

}  // namespace

void TMainF::ReceiveFromParent() {
#ifdef KVZA_TEST_HOOKS
    const QByteArray dump = qgetenv(kDumpVariable);
    QStringList boxes;
    if (!dump.isEmpty())
        SetMessageHook([&boxes](const QString &, const QString &text) {
            boxes << text;
            return QMessageBox::Ok;
        });
#endif

    // Closed, a terminal or /dev/null: nothing was sent, the window opens
    // empty at once. Otherwise the parent's stream is read; an input that
    // stays silent at first (a pipe nobody writes to) counts as nothing sent.
    const InputKind kind = ClassifyInput(STDIN_FILENO);
    KvzaImage *image = nullptr;
    if (kind == InputKind::Data) {
        switch (ReceiveImage(STDIN_FILENO, &image)) {
            case ReceiveStatus::OutOfMemory:
                kvzaedit::ErrorBox(QStringLiteral("out of memory"));
                break;
            case ReceiveStatus::ReadFailed:
                kvzaedit::ErrorBox(QStringLiteral("pipe cannot read"));
                break;
            case ReceiveStatus::Nothing:
            case ReceiveStatus::Received:
                break;
        }
        RetireInput(STDIN_FILENO);
    }
    if (image != nullptr) {
        ReleaseImage(CurImg);
        CurImg = image;
        ShowDoc();
        Modified = 1;
    }

#ifdef KVZA_TEST_HOOKS
    if (dump.isEmpty()) return;
    const QString path = QFile::decodeName(dump);
    QStringList facts;
    facts << QStringLiteral("input=") + QString::fromLatin1(KindName(kind));
    for (const QString &text : boxes) facts << QStringLiteral("box=") + text;
    facts << QStringLiteral("shown=%1").arg(Shown) << QStringLiteral("modified=%1").arg(Modified)
          << QStringLiteral("savename=") + SaveName << QStringLiteral("caption=") + windowTitle()
          << QStringLiteral("session=%1").arg(static_cast<long>(getsid(0)))
          << QStringLiteral("group=%1").arg(static_cast<long>(getpgrp()));
    QByteArray block;
    if (CurImg != nullptr)
        block = QByteArray(reinterpret_cast<const char *>(CurImg),
                           static_cast<qsizetype>(ImageBlockBytes(CurImg->width, CurImg->height)));
    WriteFile(path + QStringLiteral(".txt"), (facts.join(QLatin1Char('\n')) + "\n").toUtf8());
    if (WriteFile(path + QStringLiteral(".part"), block)) QFile::rename(path + ".part", path);
    _exit(0);
#endif
}

int TMainF::SendToNewInstance(const KvzaImage *image) {
    const std::string program = InstanceProgram();
    if (image == nullptr) {
        StartInstance(program, {}, -1, true);
        return 0;
    }
    const SendResult sent = SendImage(program, image);
    switch (sent.status) {
        case SendStatus::Done:
            return 0;
        case SendStatus::Pending:
            WatchPendingWrite(this, sent.pending);
            return 0;
        case SendStatus::TooLarge:
        case SendStatus::OutOfMemory:
            kvzaedit::ErrorBox(QStringLiteral("out of memory"));
            return 1;
        case SendStatus::PipeCreate:
            kvzaedit::ErrorBox(QStringLiteral("pipe cannot create"));
            return 1;
        case SendStatus::PipeDuplicate:
            kvzaedit::ErrorBox(QStringLiteral("pipe cannot duplicate"));
            return 1;
        case SendStatus::PipeWrite:
            break;
    }
    kvzaedit::ErrorBox(QStringLiteral("pipe cannot write"));
    return 1;
}

void TMainF::A_NewExecute() {
    StartInstance(InstanceProgram(), {}, -1, true);  // the result is not examined
}

void TMainF::A_ForkExecute() {
    if (CurImg == nullptr) return;
    SendToNewInstance(CurImg);
}

void TMainF::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData() != nullptr && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainF::dropEvent(QDropEvent *event) {
    const QMimeData *data = event->mimeData();
    if (data == nullptr) return;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    const QString path = urls.front().toLocalFile();
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    if (Shown == 0) {
        OpenName = path;
        OpenDoc();
        return;
    }
    // A window with a document hands the file to an instance of its own.
    StartInstance(InstanceProgram(), {QFile::encodeName(path).toStdString()}, -1, true);
}

}  // namespace kvzaedit
