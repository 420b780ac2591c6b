#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A bounded set of worker threads for calls that block (name look-ups, blocking echo services):
// a thread is added only when a task waits and every thread is busy, up to the bound.
class TWorkers final {
  public:
    explicit TWorkers(int most) : most_(qMax(1, most)) {}

    ~TWorkers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ending_ = true;
        }
        queued_.notify_all();
        for (std::thread &thread : threads_) {
            thread.join();
        }
    }
    TWorkers(const TWorkers &) = delete;
    TWorkers &operator=(const TWorkers &) = delete;

    void Submit(std::function<void()> task) {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
        if (idle_ == 0 && static_cast<int>(threads_.size()) < most_) {
            threads_.emplace_back([this] { Work(); });
        } else {
            queued_.notify_one();
        }
    }

  private:
    void Work() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ++idle_;
            queued_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
            --idle_;
            if (tasks_.empty()) {
                return;  // ending, and nothing left
            }
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }

    const int most_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> tasks_;
    std::vector<std::thread> threads_;
    int idle_ = 0;
    bool ending_ = false;
};
