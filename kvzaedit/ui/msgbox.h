// The front end's three message boxes, all captioned "KVZA frontend".
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

namespace kvzaedit {

// Every error and notice: OK button, stop icon.
void ErrorBox(const QString &text);
// The question on closing: Yes, No, Cancel, information icon; returns the
// button pressed (QMessageBox::Yes, No or Cancel).
QMessageBox::StandardButton AskBox(const QString &text);
// The About box: OK, no icon.
void AboutBox();

#ifdef KVZA_TEST_HOOKS
// Test hook: while set, boxes are not shown; the hook receives the kind
// ("error", "ask", "about") and the text and gives the button to answer.
using MessageHook =
    std::function<QMessageBox::StandardButton(const QString &kind, const QString &text)>;
void SetMessageHook(MessageHook hook);
#endif

}  // namespace kvzaedit
