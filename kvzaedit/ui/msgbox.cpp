#include "msgbox.h"

#include "test_seam.h"

namespace kvzaedit {

namespace {

#ifdef KVZA_TEST_HOOKS
MessageHook &Hook() {
    return HookSlot<MessageHook>();
}
#endif

const QString kCaption = QStringLiteral("KVZA frontend");

QMessageBox::StandardButton Show(QMessageBox::Icon icon, [[maybe_unused]] const QString &kind,
                                 const QString &text, QMessageBox::StandardButtons buttons) {
#ifdef KVZA_TEST_HOOKS
    if (Hook()) return Hook()(kind, text);
#endif
    QMessageBox box(icon, kCaption, text, buttons);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.show();
    box.raise();
    box.activateWindow();
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void ErrorBox(const QString &text) {
    Show(QMessageBox::Critical, QStringLiteral("error"), text, QMessageBox::Ok);
}

QMessageBox::StandardButton AskBox(const QString &text) {
    return Show(QMessageBox::Information, QStringLiteral("ask"), text,
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

void AboutBox() {
    Show(QMessageBox::NoIcon, QStringLiteral("about"),
         QStringLiteral("KVZA frontend prototype\nFloating-point alpha image editor, "
                        "built by the KVZA editor team"),
         QMessageBox::Ok);
}

#ifdef KVZA_TEST_HOOKS
void SetMessageHook(MessageHook hook) {
    Hook() = std::move(hook);
}
#endif

}  // namespace kvzaedit
