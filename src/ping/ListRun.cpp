#include "ping/ListRun.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "ping/AddressRuns.h"

namespace {

// Callers without a window hear of a run on their own thread: the engine thread queues each
// outcome here and the calling thread takes them in the order they came, sleeping in between.
// No event loop runs meanwhile, so the calling thread may be any thread.
class TOutcomeQueue final {
  public:
    struct TOutcome {
        int Index = 0;
        int Request = -1;  // -1: the address is done and Record holds what it made
        std::optional<TPingReply> Reply;
        TPingRecord Record;
    };

    TAddressRunCallbacks Callbacks() {
        TAddressRunCallbacks callbacks;
        callbacks.Replied = [this](int index, int request, const std::optional<TPingReply> &reply) {
            Push(TOutcome{index, request, reply, {}});
        };
        callbacks.Done = [this](int index, TPingRecord &record) {
            Push(TOutcome{index, -1, std::nullopt, std::move(record)});
        };
        callbacks.Finished = [this] {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                finished_ = true;
            }
            woken_.notify_all();
        };
        return callbacks;
    }

    // Takes the next outcome, waiting for it at most `wait` (forever when negative). No value
    // when none came in that time, or when the run has finished and every outcome was taken.
    std::optional<TOutcome> Next(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto ready = [this] { return !outcomes_.empty() || finished_; };
        if (wait.count() < 0) {
            woken_.wait(lock, ready);
        } else {
            woken_.wait_for(lock, wait, ready);
        }
        if (outcomes_.empty()) {
            return std::nullopt;
        }
        TOutcome outcome = std::move(outcomes_.front());
        outcomes_.pop_front();
        return outcome;
    }

    bool Drained() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return finished_ && outcomes_.empty();
    }

  private:
    void Push(TOutcome outcome) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            outcomes_.push_back(std::move(outcome));
        }
        woken_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable woken_;
    std::deque<TOutcome> outcomes_;
    bool finished_ = false;
};

// How often a run with a stop condition asks it while nothing comes.
constexpr std::chrono::milliseconds kStopPoll{10};

}  // namespace

void DriveAddressRuns(const TListRunInput &input, const TRunListener &listener) {
    if (listener.StopRequested && listener.StopRequested()) {
        return;
    }
    TOutcomeQueue queue;
    // Declared after the queue: the run, which calls into the queue, ends first, also when a
    // listener throws (its destructor stops it and waits for the requests under way).
    TAddressRuns runs(input, queue.Callbacks());
    const std::chrono::milliseconds wait =
        listener.StopRequested ? kStopPoll : std::chrono::milliseconds(-1);
    bool stopped = false;
    while (!queue.Drained()) {
        if (std::optional<TOutcomeQueue::TOutcome> outcome = queue.Next(wait)) {
            if (outcome->Request >= 0) {
                if (listener.Replied) {
                    listener.Replied(outcome->Index, outcome->Request, outcome->Reply);
                }
            } else if (listener.Done) {
                listener.Done(outcome->Index, outcome->Record);
            }
        }
        if (!stopped && listener.StopRequested && listener.StopRequested()) {
            runs.Stop();
            stopped = true;
        }
    }
}

void RunAddressList(const TListRunInput &input, const TListRunWriter &write) {
    DriveAddressRuns(input, TRunListener{{}, write, {}});
}
