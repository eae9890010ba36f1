// The index stream's helper thread: every posted job runs once, on one
// thread that lasts from job to job and is not the caller's, and is done when
// wait() returns; an owner that never posted, or posted and waited, ends
// cleanly.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "helper_thread.h"

TEST(HelperThread, JobsRunOnceEachOnOneLastingThreadBeforeWaitReturns) {
    kot::HelperThread helper;
    std::vector<int> runs(200, 0);
    std::vector<std::thread::id> threads(200);
    for (size_t i = 0; i < runs.size(); ++i) {
        ASSERT_TRUE(helper.post([&, i] {
            ++runs[i];
            threads[i] = std::this_thread::get_id();
        }));
        helper.wait();
        ASSERT_EQ(runs[i], 1) << i;  // done when wait returned
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i], 1) << i;
        EXPECT_EQ(threads[i], threads[0]) << i;
    }
    EXPECT_NE(threads[0], std::this_thread::get_id());
    kot::HelperThread unused;  // never started: nothing to join
}
