#include "ping/ListRun.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "common/Errors.h"

TPingRecord RecordPing(const TEchoQuery &query, quint16 retries, const TEchoServiceFactory &connect,
                       const std::atomic<bool> &stop) {
    TPingRecord record;
    try {
        const std::unique_ptr<TEchoService> service = connect ? connect() : ConnectEchoService();
        if (!service) {
            throw TxError(QStringLiteral("The echo service is not available."));
        }
        for (int i = 0; i < retries && !stop; ++i) {
            record.Replies.push_back(service->ExecQuery(query));
        }
    } catch (...) {
        record.Failure = std::current_exception();
    }
    return record;
}

namespace {

// How long the window may go without painting while blocks are written back to back.
constexpr qint64 kPaintIntervalMs = 40;

// The state the workers and the writing thread share. Indices below nextToWrite are written;
// from nextToWrite to nextToStart - 1 they are under way or done and waiting for their turn.
class TListRun final {
  public:
    TListRun(const TListRunInput &input, const TListRunWriter &write)
        : input_(input), write_(write), count_(static_cast<int>(input.Addresses.size())) {
        // The writing thread sleeps in its event loop; a worker wakes it with an event posted to
        // this object, which lives on that thread.
        if (QCoreApplication::instance() != nullptr &&
            QAbstractEventDispatcher::instance(QThread::currentThread()) != nullptr) {
            waker_ = std::make_unique<QObject>();
        }
        sincePaint_.start();
    }

    ~TListRun() { StopWorkers(); }

    TListRun(const TListRun &) = delete;
    TListRun &operator=(const TListRun &) = delete;

    void Run() {
        const int inFlight = qMax(1, input_.InFlight);
        const int workers = qMin(inFlight, count_);
        for (int i = 0; i < workers; ++i) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++running_;
            }
            try {
                workers_.emplace_back([this] { Work(); });
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex_);
                --running_;
                throw;
            }
        }
        while (nextToWrite_ < count_) {
            std::optional<TPingRecord> record;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                const auto done = done_.find(nextToWrite_);
                if (done != done_.end()) {
                    record = std::move(done->second);
                    done_.erase(done);
                }
            }
            if (!record) {
                WaitForWorkers();
                continue;
            }
            write_(nextToWrite_, *record);
            LetPaint();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++nextToWrite_;
            }
            moved_.notify_all();
        }
        StopWorkers();
    }

  private:
    // One worker: takes the next address while the window of addresses started and not yet
    // written has room. There are InFlight workers, each with one address at a time.
    void Work() {
        const int ahead = qMax(qMax(1, input_.InFlight), input_.Ahead);
        for (;;) {
            int index = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                moved_.wait(lock, [&] {
                    return stop_ || nextToStart_ >= count_ || nextToStart_ < nextToWrite_ + ahead;
                });
                if (stop_ || nextToStart_ >= count_) {
                    break;
                }
                index = nextToStart_++;
            }
            TEchoQuery query;
            query.Address = input_.Addresses.at(index);
            query.BufferSize = input_.BufferSize;
            query.TimeOut = input_.TimeOut;
            query.TimeToLive = input_.TimeToLive;
            TPingRecord record = RecordPing(query, input_.Retries, input_.Connect, stopping_);
            bool turn = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                done_.emplace(index, std::move(record));
                turn = index == nextToWrite_;
            }
            if (turn) {
                Wake();
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --running_;
        }
        Wake();
    }

    void Wake() {
        if (waker_) {
            QMetaObject::invokeMethod(
                waker_.get(), [] {}, Qt::QueuedConnection);
        } else {
            woken_.notify_all();
        }
    }

    // Many addresses often complete together (those that waited for the same time-out); the
    // window paints between their blocks at a steady pace rather than once after all of them.
    void LetPaint() {
        if (waker_ && sincePaint_.elapsed() >= kPaintIntervalMs) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sincePaint_.restart();
        }
    }

    // Sleeps until a worker has something for the writing thread (or has ended); the window
    // keeps painting meanwhile.
    void WaitForWorkers() {
        if (waker_) {
            // The condition is checked before each wait and the worker posts its event after
            // changing it, so a wake-up is never missed.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::WaitForMoreEvents);
        } else {
            std::unique_lock<std::mutex> lock(mutex_);
            woken_.wait(lock, [&] { return done_.count(nextToWrite_) != 0 || running_ == 0; });
        }
    }

    // Ends every worker: none starts another address, those under way stop after their current
    // request. The window keeps painting while they finish.
    void StopWorkers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        stopping_ = true;
        moved_.notify_all();
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (running_ == 0) {
                    break;
                }
            }
            WaitForWorkers();
        }
        for (std::thread &worker : workers_) {
            worker.join();
        }
        workers_.clear();
        done_.clear();
    }

    const TListRunInput &input_;
    const TListRunWriter &write_;
    const int count_;
    std::unique_ptr<QObject> waker_;
    QElapsedTimer sincePaint_;
    std::vector<std::thread> workers_;

    std::mutex mutex_;
    std::condition_variable moved_;  // the window moved, or the run stops
    std::condition_variable woken_;  // for the writing thread without an event loop
    std::map<int, TPingRecord> done_;
    int nextToStart_ = 0;
    int nextToWrite_ = 0;
    int running_ = 0;
    bool stop_ = false;
    std::atomic<bool> stopping_{false};
};

}  // namespace

void RunAddressList(const TListRunInput &input, const TListRunWriter &write) {
    TListRun run(input, write);
    run.Run();
}
