// The work splitter covers every item once, and the worker numbers it hands
// out are one per thread: workers keep scratch data (memos) by that number,
// so two threads sharing one would race on it.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "parallel.h"

TEST(RunWorkers, EveryItemOnceAndOneNumberPerThread) {
    struct Case {
        uint64_t total;
        uint64_t least;
        bool here;  // all on the calling thread, as worker 0
    };
    for (const Case &c : {Case{100000, 1, false}, Case{7, 1, false}, Case{1, 1, true},
                          Case{0, 1, true}, Case{500, 501, true}}) {
        std::vector<int> seen(c.total, 0);
        std::mutex lock;
        std::map<unsigned, std::thread::id> thread_of;
        std::map<std::thread::id, unsigned> number_of;
        bool one_each = true;
        kvza::run_workers(
            c.total,
            [&](unsigned worker, uint64_t b, uint64_t e) {
                // Long enough that every helper starts before the ranges run out.
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                const std::thread::id me = std::this_thread::get_id();
                const std::lock_guard<std::mutex> hold(lock);
                const auto t = thread_of.emplace(worker, me).first;
                const auto n = number_of.emplace(me, worker).first;
                if (t->second != me || n->second != worker) one_each = false;
                for (uint64_t i = b; i < e; ++i) ++seen[i];
            },
            c.least);
        for (uint64_t i = 0; i < c.total; ++i) ASSERT_EQ(seen[i], 1) << c.total << " item " << i;
        EXPECT_TRUE(one_each) << c.total;
        for (const auto &[worker, id] : thread_of) {
            EXPECT_LT(worker, kvza::worker_count());
            if (worker == 0) {
                EXPECT_EQ(id, std::this_thread::get_id());
            }
        }
        if (!c.here && kvza::worker_count() > 1) {
            EXPECT_GT(thread_of.size(), 1U) << c.total;
        }
        if (c.here && c.total > 0) {
            EXPECT_EQ(thread_of.size(), 1U);
            EXPECT_EQ(thread_of.count(0), 1U);
        }
    }
}
