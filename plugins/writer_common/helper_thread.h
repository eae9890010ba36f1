// One helper thread kept for the life of its owner, for work handed over in
// many small jobs: the thread (and what it keeps per thread) lasts from job
// to job instead of starting anew for each.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

namespace kot {

class HelperThread {
  public:
    HelperThread() = default;
    HelperThread(const HelperThread &) = delete;
    HelperThread &operator=(const HelperThread &) = delete;
    ~HelperThread() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    // Hands job to the helper, started on the first call; false (and job
    // not run) when no thread can be had.
    bool post(std::function<void()> job) {
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { serve(); });
            } catch (const std::system_error &) {
                return false;
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = std::move(job);
            busy_ = true;
        }
        wake_.notify_all();
        return true;
    }

    // Waits until the posted job is done.
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return !busy_; });
    }

  private:
    void serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || busy_; });
            if (busy_) {
                std::function<void()> job = std::move(job_);
                lock.unlock();
                job();
                lock.lock();
                busy_ = false;
                wake_.notify_all();
            } else {
                return;
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> job_;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace kot
