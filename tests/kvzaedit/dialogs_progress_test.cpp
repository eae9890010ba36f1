// The progress dialog: its record, the callback's effect on the bar and the
// label, Cancel by button and by Escape, the refused close, and its use by a
// library operation.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <vector>

#include "F_prgrs.h"
#include "image_block.h"
#include "kvza.h"
#include "msgbox.h"

using kvzaedit::OpenProgressDialog;
using kvzaedit::ShowProgress;
using kvzaedit::TPrgrsF;

namespace {

// Records every (done, total) the operation reports, then hands the call on
// to the dialog's own callback, so the dialog still does all the work.
struct CallLog {
    void *dialog = nullptr;
    std::vector<std::pair<uint32_t, uint32_t>> calls;
};

int32_t LoggingCallback(void *userdata, uint32_t done, uint32_t total) {
    auto *log = static_cast<CallLog *>(userdata);
    log->calls.emplace_back(done, total);
    return ShowProgress(log->dialog, done, total);
}

std::unique_ptr<TPrgrsF> Open(int disable_cancel = 0, uint32_t interval = 100,
                              QWidget *owner = nullptr) {
    return std::unique_ptr<TPrgrsF>(OpenProgressDialog(disable_cancel, interval, owner));
}

}  // namespace

class ProgressDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        kvzaedit::SetMessageHook([this](const QString &kind, const QString &text) {
            messages << kind + ":" + text;
            return QMessageBox::Ok;
        });
        messages.clear();
    }
    void cleanup() { kvzaedit::SetMessageHook(nullptr); }

    void layoutAtCreation() {
        auto dialog = Open();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Now Processing..."));
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->isModal());
        QCOMPARE(dialog->size(), QSize(217, 92));
        QCOMPARE(dialog->font().pixelSize(), 12);

        auto *bar = dialog->findChild<QProgressBar *>(QStringLiteral("PrgM"));
        QVERIFY(bar);
        QCOMPARE(bar->geometry(), QRect(8, 8, 200, 16));
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);

        auto *label = dialog->findChild<QLabel *>(QStringLiteral("L_Count"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("0/0"));
        QCOMPARE(label->pos(), QPoint(8, 32));
        QCOMPARE(label->width(), 201);
        QVERIFY(label->alignment() & Qt::AlignRight);

        auto *cancel = dialog->findChild<QPushButton *>(QStringLiteral("B_Cancel"));
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(cancel->pos(), QPoint(72, 56));
        QVERIFY(cancel->isEnabled());
        QVERIFY(!dialog->canceled());
        QVERIFY(messages.isEmpty());
    }

    void recordIsWiredToTheDialog() {
        auto dialog = Open(0, 37);
        KvzaProgress *progress = dialog->progress();
        QVERIFY(progress != nullptr);
        QVERIFY(progress->callback == &ShowProgress);
        QCOMPARE(progress->userdata, static_cast<void *>(dialog.get()));
        QCOMPARE(progress->interval, 37u);
        // The record lives inside the dialog.
        const auto *begin = reinterpret_cast<const char *>(dialog.get());
        const auto *at = reinterpret_cast<const char *>(progress);
        QVERIFY(at >= begin && at < begin + sizeof(TPrgrsF));
    }

    void disabledCancel() {
        auto dialog = Open(1);
        QVERIFY(!dialog->B_Cancel->isEnabled());
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QVERIFY(!dialog->canceled());
        QCOMPARE(ShowProgress(dialog.get(), 1, 2), 0);
    }

    void showProgressSetsBarAndLabel() {
        auto dialog = Open();
        QCOMPARE(ShowProgress(dialog.get(), 3, 7), 0);
        QCOMPARE(dialog->PrgM->maximum(), 7);
        QCOMPARE(dialog->PrgM->value(), 3);
        QCOMPARE(dialog->L_Count->text(), QStringLiteral("3/7"));
        // The maximum goes in before the position: a position above the old
        // maximum must still land.
        QCOMPARE(ShowProgress(dialog.get(), 250, 1000), 0);
        QCOMPARE(dialog->PrgM->maximum(), 1000);
        QCOMPARE(dialog->PrgM->value(), 250);
        QCOMPARE(dialog->L_Count->text(), QStringLiteral("250/1000"));
    }

    void hugeCountsKeepTheirProportion() {
        auto dialog = Open();
        QCOMPARE(ShowProgress(dialog.get(), 3000000000u, 4000000000u), 0);
        QCOMPARE(dialog->L_Count->text(), QStringLiteral("3000000000/4000000000"));
        QVERIFY(dialog->PrgM->maximum() > 0);
        const double ratio = static_cast<double>(dialog->PrgM->value()) / dialog->PrgM->maximum();
        QVERIFY(qAbs(ratio - 0.75) < 1e-6);
    }

    void shortOperationReportsOnceAtTheEnd() {
        auto dialog = Open();
        CallLog log;
        log.dialog = dialog.get();
        KvzaProgress *progress = dialog->progress();
        progress->callback = &LoggingCallback;
        progress->userdata = &log;

        auto image = kvzatest::make_image(10, 10);  // 100 steps
        const KvzaPixel colour{0.f, 0.f, 1.f, 1.f};
        QCOMPARE(kvza_clr(image.get(), &colour, progress), 0);
        QCOMPARE(log.calls.size(), size_t{1});
        QCOMPARE(log.calls[0].first, 100u);
        QCOMPARE(log.calls[0].second, 100u);
        QCOMPARE(dialog->L_Count->text(), QStringLiteral("100/100"));
        QCOMPARE(dialog->PrgM->maximum(), 100);
        QCOMPARE(dialog->PrgM->value(), 100);
    }

    void longerOperationReportsEvery101Steps() {
        auto dialog = Open();
        CallLog log;
        log.dialog = dialog.get();
        dialog->progress()->callback = &LoggingCallback;
        dialog->progress()->userdata = &log;

        auto image = kvzatest::make_image(101, 3);  // 303 steps: 101, 202, 303, final
        const KvzaPixel colour{0.f, 0.f, 0.f, 1.f};
        QCOMPARE(kvza_clr(image.get(), &colour, dialog->progress()), 0);
        const std::vector<std::pair<uint32_t, uint32_t>> expected = {
            {101, 303}, {202, 303}, {303, 303}, {303, 303}};
        QVERIFY(log.calls == expected);
        QCOMPARE(dialog->L_Count->text(), QStringLiteral("303/303"));
    }

    void cancelClickSetsTheFlag() {
        auto dialog = Open();
        QCOMPARE(ShowProgress(dialog.get(), 1, 10), 0);
        QTest::mouseClick(dialog->B_Cancel, Qt::LeftButton);
        QVERIFY(dialog->canceled());
        QVERIFY(ShowProgress(dialog.get(), 2, 10) != 0);
        // The flag stays set.
        QVERIFY(ShowProgress(dialog.get(), 3, 10) != 0);
        QCOMPARE(dialog->L_Count->text(), QStringLiteral("3/10"));
        QVERIFY(dialog->isVisible());
    }

    void clickPendingDuringTheCallbackIsSeenAtOnce() {
        auto dialog = Open();
        TPrgrsF *raw = dialog.get();
        QTimer::singleShot(0, raw, [raw] { raw->B_Cancel->click(); });
        QVERIFY(!dialog->canceled());
        // The callback processes the pending click and already answers stop.
        QVERIFY(ShowProgress(raw, 5, 10) != 0);
    }

    void escapeActsAsCancel() {
        auto dialog = Open();
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QVERIFY(dialog->canceled());
        QVERIFY(dialog->isVisible());
        QVERIFY(ShowProgress(dialog.get(), 1, 1) != 0);
    }

    void rejectDoesNotHide() {
        auto dialog = Open();
        dialog->reject();
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->canceled());
    }

    void closeIsRefused() {
        auto dialog = Open();
        QVERIFY(!dialog->close());
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->canceled());
        QCOMPARE(ShowProgress(dialog.get(), 1, 2), 0);
    }

    void cancelStopsALibraryOperation() {
        auto dialog = Open();
        CallLog log;
        log.dialog = dialog.get();
        dialog->progress()->callback = &LoggingCallback;
        dialog->progress()->userdata = &log;
        dialog->B_Cancel->click();

        auto image = kvzatest::make_image(30, 30);  // 900 steps
        const KvzaPixel colour{0.f, 0.f, 1.f, 1.f};
        QCOMPARE(kvza_clr(image.get(), &colour, dialog->progress()), 2);
        QCOMPARE(log.calls.size(), size_t{1});  // stopped at the first report
        QCOMPARE(log.calls[0].first, 101u);
        // The final report still shows total/total after a cancel.
        kvza_progress_final(image.get(), dialog->progress());
        QCOMPARE(dialog->L_Count->text(), QStringLiteral("900/900"));
        QCOMPARE(dialog->PrgM->value(), 900);
    }

    void stillUsableWhileTheOwnerIsDisabled() {
        QWidget owner;
        owner.resize(400, 300);
        owner.show();
        auto dialog = Open(0, 100, &owner);
        owner.setEnabled(false);
        QVERIFY(dialog->B_Cancel->isEnabled());
        QVERIFY(dialog->isEnabled());
        QTest::mouseClick(dialog->B_Cancel, Qt::LeftButton);
        QVERIFY(dialog->canceled());
        owner.setEnabled(true);
    }

  private:
    QStringList messages;
};

QTEST_MAIN(ProgressDialogTest)
#include "dialogs_progress_test.moc"
