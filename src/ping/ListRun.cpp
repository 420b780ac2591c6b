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

#include "common/Errors.h"
#include "ping/AddressRuns.h"

TPingRecord RecordPing(const TEchoQuery &query, quint16 retries, const TEchoServiceFactory &connect,
                       const std::atomic<bool> &stop) {
    TPingRecord record;
    record.Started = QDateTime::currentDateTime();
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

// The writing side of a list run: records come from the engine thread in list order and are
// written on the calling thread.
class TListWriter final {
  public:
    TListWriter() {
        // The writing thread sleeps in its event loop; the engine thread wakes it with an event
        // posted to this object, which lives on that thread.
        if (QCoreApplication::instance() != nullptr &&
            QAbstractEventDispatcher::instance(QThread::currentThread()) != nullptr) {
            waker_ = std::make_unique<QObject>();
        }
        sincePaint_.start();
    }

    TAddressRunCallbacks Callbacks() {
        TAddressRunCallbacks callbacks;
        callbacks.Done = [this](int index, TPingRecord &record) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                done_.emplace(index, std::move(record));
            }
            Wake();
        };
        callbacks.Finished = [this] {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                finished_ = true;
            }
            Wake();
        };
        return callbacks;
    }

    // Writes the records in list order until every one is written or the run has finished.
    void Write(int count, const TListRunWriter &write) {
        for (int next = 0; next < count;) {
            std::optional<TPingRecord> record;
            bool finished = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                const auto done = done_.find(next);
                if (done != done_.end()) {
                    record = std::move(done->second);
                    done_.erase(done);
                }
                finished = finished_ && done_.empty();
            }
            if (record) {
                write(next++, *record);
                LetPaint();
            } else if (finished) {
                return;
            } else {
                WaitForRecords(next);
            }
        }
    }

    // Waits, painting, until the run has finished.
    void WaitForFinish() {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (finished_) {
                    return;
                }
            }
            WaitForRecords(-1);
        }
    }

  private:
    void Wake() {
        if (waker_) {
            QMetaObject::invokeMethod(
                waker_.get(), [] {}, Qt::QueuedConnection);
        } else {
            std::lock_guard<std::mutex> lock(mutex_);
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

    // Sleeps until the engine thread has something for the writing thread; the window keeps
    // painting meanwhile.
    void WaitForRecords(int next) {
        if (waker_) {
            // The condition is checked before each wait and the engine thread posts its event
            // after changing it, so a wake-up is never missed.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::WaitForMoreEvents);
        } else {
            std::unique_lock<std::mutex> lock(mutex_);
            woken_.wait(lock, [&] { return done_.count(next) != 0 || finished_; });
        }
    }

    std::unique_ptr<QObject> waker_;
    QElapsedTimer sincePaint_;
    std::mutex mutex_;
    std::condition_variable woken_;
    std::map<int, TPingRecord> done_;
    bool finished_ = false;
};

}  // namespace

void RunAddressList(const TListRunInput &input, const TListRunWriter &write) {
    TListWriter writer;
    // Declared after the writer: the run, which calls into the writer, ends first.
    TAddressRuns runs(input, writer.Callbacks());
    try {
        writer.Write(static_cast<int>(input.Addresses.size()), write);
    } catch (...) {
        // The requests under way end first; the window keeps painting meanwhile.
        runs.Stop();
        writer.WaitForFinish();
        throw;
    }
}
