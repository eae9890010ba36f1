// Helpers of the resize, wrap-mode and reduction dialog tests: a main window
// with a document, and a canceller for the progress dialog.
#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "F_main.h"
#include "F_prgrs.h"
#include "main_fixture.h"

namespace resizetest {

// A 0 ms repeating timer that presses Cancel in the first visible progress
// dialog it finds and then stops. Lives as long as the object.
class ProgressCanceller {
  public:
    ProgressCanceller() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<kvzaedit::TPrgrsF *>(top);
                if (dialog == nullptr || !dialog->isVisible()) continue;
                dialog->B_Cancel->click();
                ++presses;
                timer_.stop();
                return;
            }
        });
        timer_.start();
    }
    int presses = 0;

  private:
    QTimer timer_;
};

// The undo slots as they are, to compare before and after.
struct History {
    explicit History(const kvzaedit::TMainF &w) {
        for (int k = 0; k < 16; ++k) saved[k] = w.UndoBuf[k];
    }
    bool operator==(const History &other) const {
        for (int k = 0; k < 16; ++k)
            if (saved[k] != other.saved[k]) return false;
        return true;
    }
    const KvzaImage *saved[16] = {};
};

}  // namespace resizetest
