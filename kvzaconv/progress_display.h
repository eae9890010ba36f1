// progress_display.h - one line per running file on standard error: its
// name, a bar and the step, redrawn in place on a terminal; plain lines at
// every tenth otherwise (only when asked for).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kvzaconv {

class ProgressDisplay {
  public:
    // terminal: draw in place; enabled false: draw nothing at all.
    ProgressDisplay(bool enabled, bool terminal) : enabled_(enabled), terminal_(terminal) {}
    ~ProgressDisplay() { Clear(); }

    // A file starts; its slot number.
    size_t Start(const std::string &name);
    void Update(size_t slot, const std::string &step, uint32_t done, uint32_t total);
    // The file is finished: its line goes.
    void Finish(size_t slot);
    // Prints a line (a failure) above the bars.
    void Message(const std::string &text);
    // Removes the bars from the screen.
    void Clear();

  private:
    struct Slot {
        std::string name, step;
        uint32_t done = 0, total = 0;
        int tenth = -1;  // last tenth printed (plain lines)
        bool active = false;
    };
    void Draw(bool force);
    std::string Line(const Slot &slot) const;

    bool enabled_, terminal_;
    std::vector<Slot> slots_;
    int drawn_ = 0;  // lines on the screen
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace kvzaconv
