// parallel.h - work split over the cores. The parts touch disjoint data and
// never call a progress callback (it belongs to the caller's thread), so the
// result is the same however the work is split.
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

namespace kvza {

// Below this many items a helper thread costs more than it saves.
inline constexpr uint64_t kParallelMin = 4096;

// Runs body(begin, end) over [0, total) in one part per core, the first on
// the calling thread; a part whose thread cannot start runs here. Below
// `least` items (rows of pixels count as their pixels) all run here.
template <class Body>
void run_parts(uint64_t total, const Body &body, uint64_t least = kParallelMin) {
    const unsigned cores = std::thread::hardware_concurrency();
    const uint64_t parts = total < least || total < 2 || cores < 2 ? 1 : cores;
    std::vector<std::thread> helpers;
    for (uint64_t p = 1; p < parts; ++p) {
        const uint64_t begin = total * p / parts, end = total * (p + 1) / parts;
        try {
            helpers.emplace_back([&body, begin, end] { body(begin, end); });
        } catch (...) {
            body(begin, end);
        }
    }
    body(0, total / parts);
    for (std::thread &t : helpers) t.join();
}

}  // namespace kvza
