#include "progress_display.h"

#include <cstdio>

namespace kvzaconv {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

int Percent(uint32_t done, uint32_t total) {
    return total == 0 ? 0 : static_cast<int>(uint64_t{done} * 100 / total);
}

}  // namespace

size_t ProgressDisplay::Start(const std::string &name) {
    size_t slot = 0;
    while (slot < slots_.size() && slots_[slot].active) ++slot;
    if (slot == slots_.size()) slots_.emplace_back();
    slots_[slot] = Slot{};
    slots_[slot].name = name;
    slots_[slot].active = true;
    Draw(true);
    return slot;
}

void ProgressDisplay::Update(size_t slot, const std::string &step, uint32_t done, uint32_t total) {
    if (slot >= slots_.size()) return;
    Slot &s = slots_[slot];
    s.step = step;
    s.done = done;
    s.total = total;
    if (enabled_ && !terminal_) {
        const int tenth = Percent(done, total) / 10;
        if (tenth != s.tenth) {
            s.tenth = tenth;
            std::fprintf(stderr, "%s: %s %d%%\n", s.name.c_str(), step.c_str(), tenth * 10);
        }
        return;
    }
    Draw(false);
}

void ProgressDisplay::Finish(size_t slot) {
    if (slot >= slots_.size()) return;
    slots_[slot].active = false;
    Draw(true);
}

void ProgressDisplay::Message(const std::string &text) {
    Clear();
    std::fprintf(stderr, "%s\n", text.c_str());
    Draw(true);
}

void ProgressDisplay::Clear() {
    if (!enabled_ || !terminal_ || drawn_ == 0) return;
    std::fprintf(stderr, "\033[%dA\r\033[J", drawn_);
    drawn_ = 0;
    std::fflush(stderr);
}

std::string ProgressDisplay::Line(const Slot &s) const {
    const int percent = Percent(s.done, s.total);
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    std::string name = s.name;
    if (name.size() > 32) name = "..." + name.substr(name.size() - 29);
    char text[128];
    std::snprintf(text, sizeof text, "%-32s [%s] %3d%% %s", name.c_str(), bar.c_str(), percent,
                  s.step.c_str());
    return text;
}

void ProgressDisplay::Draw(bool force) {
    if (!enabled_ || !terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < kRedrawEvery) return;
    last_ = now;
    if (drawn_ > 0) std::fprintf(stderr, "\033[%dA", drawn_);
    int lines = 0;
    for (const Slot &s : slots_) {
        if (!s.active) continue;
        std::fprintf(stderr, "\r\033[K%s\n", Line(s).c_str());
        ++lines;
    }
    // Lines left over from more files than now run are cleared.
    if (lines < drawn_) std::fprintf(stderr, "\033[J");
    drawn_ = lines;
    std::fflush(stderr);
}

}  // namespace kvzaconv
