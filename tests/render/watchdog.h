#pragma once

// Ends the test program when one run of a loop takes far longer than any run
// may: a deadlock must fail the test, not stall it.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
  public:
    explicit Watchdog(std::chrono::milliseconds limit)
        : limit_(limit), thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_one();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void begin(const std::string& run) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            run_ = run;
            armed_ = true;
            deadline_ = std::chrono::steady_clock::now() + limit_;
        }
        changed_.notify_one();
    }
    void end() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            armed_ = false;
        }
        changed_.notify_one();
    }

  private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            if (!armed_) {
                changed_.wait(lock);
                continue;
            }
            if (std::chrono::steady_clock::now() >= deadline_) {
                std::fprintf(stderr, "Watchdog: %s did not end within %lld ms\n", run_.c_str(),
                             static_cast<long long>(limit_.count()));
                std::fflush(stderr);
                std::abort();
            }
            changed_.wait_until(lock, deadline_);
        }
    }

    const std::chrono::milliseconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string run_;
    bool armed_ = false;
    bool quit_ = false;
    std::chrono::steady_clock::time_point deadline_{};
    std::thread thread_;
};
