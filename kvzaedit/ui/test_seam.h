// test_seam.h - the seams through which the tests drive the modal dialogs,
// message boxes and start-up of the editor. They exist only in the test
// build of the windows (KVZA_TEST_HOOKS); the shipped program has none.
#pragma once

#ifdef KVZA_TEST_HOOKS

#include <QTimer>

namespace kvzaedit {

// The one place a test's hook of a kind is kept (empty: none).
template <typename Hook>
Hook &HookSlot() {
    static Hook hook;
    return hook;
}

// While hook is set, it is called with dialog from inside the dialog's
// modal loop (it is expected to close the dialog).
template <typename Hook, typename Dialog>
void ArmDialogHook(const Hook &hook, Dialog *dialog) {
    if (!hook) return;
    QTimer::singleShot(0, dialog, [&hook, dialog] {
        if (hook) hook(*dialog);
    });
}

}  // namespace kvzaedit

#endif
