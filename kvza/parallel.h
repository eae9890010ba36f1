// parallel.h - work split over the cores. The parts touch disjoint data and
// never call a progress callback (it belongs to the caller's thread), so the
// result is the same however the work is split.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace kvza {

// Below this many items a helper thread costs more than it saves.
inline constexpr uint64_t kParallelMin = 4096;

// The threads run_parts uses at most: one per core. Asked of the system
// once (the question costs a system call, and small parts are many).
inline unsigned worker_count() {
    static const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    return cores;
}

// Runs body(worker, begin, end) over consecutive ranges that cover
// [0, total) once, on one thread per core (the calling thread among them,
// as worker 0; the others are 1 .. worker_count() - 1, one number per
// thread, so a worker may keep scratch data of its own). The work goes out
// in a few ranges per core, taken in turn, so a part that costs more than
// another (the content differs) does not leave a core idle. Below `least`
// items (rows of pixels count as their pixels), or on one core, it all runs
// here at once; a thread that cannot start leaves its share to the others.
template <class Body>
void run_workers(uint64_t total, const Body &body, uint64_t least = kParallelMin) {
    if (total < least || total < 2 || worker_count() < 2) {
        body(0U, uint64_t{0}, total);
        return;
    }
    const unsigned cores = worker_count();
    const uint64_t ranges = std::min<uint64_t>(total, uint64_t{cores} * 8);
    std::atomic<uint64_t> next{0};
    auto work = [&](unsigned worker) {
        for (uint64_t r; (r = next.fetch_add(1)) < ranges;)
            body(worker, total * r / ranges, total * (r + 1) / ranges);
    };
    std::vector<std::thread> helpers;
    for (unsigned c = 1; c < cores; ++c) {
        try {
            helpers.emplace_back(work, c);
        } catch (...) {
            break;
        }
    }
    work(0U);
    for (std::thread &t : helpers) t.join();
}

// run_workers for a body(begin, end) that needs no worker number.
template <class Body>
void run_parts(uint64_t total, const Body &body, uint64_t least = kParallelMin) {
    run_workers(
        total, [&body](unsigned, uint64_t b, uint64_t e) { body(b, e); }, least);
}

}  // namespace kvza
