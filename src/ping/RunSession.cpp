#include "ping/RunSession.h"

#include <QMetaType>
#include <chrono>
#include <exception>

#include "common/Errors.h"

namespace {

// Ends the requests of a list run's address once a stop was asked for; never leaves the session.
struct TRunStopped final : std::exception {
    const char *what() const noexcept override { return "The run was stopped."; }
};

// Ends a list run after the record of an address that failed.
struct TListFailed final : std::exception {
    const char *what() const noexcept override { return "The list run failed."; }
};

// The echo service of one address of a list run: once a stop is asked for, no further request
// goes out, so that the address ends after the request under way.
class TStoppableService final : public TEchoService {
  public:
    TStoppableService(std::unique_ptr<TEchoService> service, const std::atomic<bool> &stop)
        : service_(std::move(service)), stop_(stop) {}

    std::optional<TPingReply> ExecQuery(const TEchoQuery &query) override {
        if (stop_) {
            throw TRunStopped();
        }
        return service_->ExecQuery(query);
    }

  private:
    std::unique_ptr<TEchoService> service_;
    const std::atomic<bool> &stop_;
};

bool WasStopped(const std::exception_ptr &failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const TRunStopped &) {
        return true;
    } catch (...) {
        return false;
    }
}

QString FailureText(const std::exception_ptr &failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &error) {
        return ErrorText(error);
    } catch (...) {
        return QStringLiteral("Unknown error.");
    }
}

}  // namespace

TRunSession::TRunSession(QObject *parent) : QObject(parent) {
    qRegisterMetaType<std::optional<TPingReply>>();
    qRegisterMetaType<TPingRecord>();
}

TRunSession::~TRunSession() {
    Stop();
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool TRunSession::StartSingle(const TPingRunInput &input) {
    return Begin(TKind::Single, [this, input] { RunSingle(input); });
}

bool TRunSession::StartWatch(const TPingRunInput &input, int interval) {
    return Begin(TKind::Watch, [this, input, interval] { RunWatch(input, interval); });
}

bool TRunSession::StartList(const TPingRunInput &input, const QStringList &addresses,
                            int inFlight) {
    return Begin(TKind::List,
                 [this, input, addresses, inFlight] { RunList(input, addresses, inFlight); });
}

void TRunSession::Stop() {
    if (state_ != TState::Running) {
        return;
    }
    state_ = TState::Stopping;
    {
        const std::lock_guard<std::mutex> lock(pauseMutex_);
        stop_ = true;
    }
    pauseWake_.notify_all();
}

bool TRunSession::Begin(TKind kind, std::function<void()> work) {
    if (state_ != TState::Idle) {
        return false;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    stop_ = false;
    state_ = TState::Running;
    kind_ = kind;
    try {
        worker_ = std::thread([this, work = std::move(work)] {
            work();
            // Queued behind every signal of the run, so the owner hears Finished last.
            QMetaObject::invokeMethod(this, &TRunSession::Finish, Qt::QueuedConnection);
        });
    } catch (...) {
        state_ = TState::Idle;
        kind_ = TKind::None;
        throw;
    }
    return true;
}

void TRunSession::Finish() {
    if (worker_.joinable()) {
        worker_.join();
    }
    state_ = TState::Idle;
    kind_ = TKind::None;
    emit Finished();
}

void TRunSession::Pause(int milliseconds) {
    std::unique_lock<std::mutex> lock(pauseMutex_);
    pauseWake_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                        [this] { return stop_.load(); });
}

std::unique_ptr<TEchoService> TRunSession::Connect() const {
    std::unique_ptr<TEchoService> service = connect_ ? connect_() : ConnectEchoService();
    if (!service) {
        throw TxError(QStringLiteral("The echo service is not available."));
    }
    return service;
}

void TRunSession::RunSingle(const TPingRunInput &input) {
    try {
        const std::unique_ptr<TEchoService> service = Connect();
        const TEchoQuery query = PingQuery(input);
        MakeRequests(
            input.PingRetries, [&] { return service->ExecQuery(query); },
            [this] { return StopRequested(); },
            [this](int index, const std::optional<TPingReply> &reply) {
                emit Replied(index, reply);
            });
        emit Ended(StopRequested());
    } catch (...) {
        emit Failed(FailureText(std::current_exception()));
    }
}

void TRunSession::RunWatch(const TPingRunInput &input, int interval) {
    try {
        const std::unique_ptr<TEchoService> service = Connect();
        const TEchoQuery query = PingQuery(input);
        int sent = 0;
        PaceRequests(
            interval,
            [&] {
                emit Sending(sent++);
                return service->ExecQuery(query);
            },
            [this] { return StopRequested(); }, [this](int milliseconds) { Pause(milliseconds); },
            [this](int index, const std::optional<TPingReply> &reply) {
                emit Replied(index, reply);
            });
        emit Ended(true);
    } catch (...) {
        emit Failed(FailureText(std::current_exception()));
    }
}

void TRunSession::RunList(const TPingRunInput &input, const QStringList &addresses, int inFlight) {
    TListRunInput list;
    list.Addresses = addresses;
    list.BufferSize = input.PingBufferSize;
    list.TimeOut = input.PingTimeOut;
    list.Retries = input.PingRetries;
    list.TimeToLive = input.PingTTL;
    list.InFlight = inFlight;
    list.Connect = [this]() -> std::unique_ptr<TEchoService> {
        if (stop_) {
            throw TRunStopped();
        }
        return std::make_unique<TStoppableService>(Connect(), stop_);
    };
    try {
        RunAddressList(list, [this, &addresses](int index, const TPingRecord &record) {
            if (!record.Failure) {
                emit Recorded(index, addresses.at(index), record);
                return;
            }
            if (WasStopped(record.Failure)) {
                // An address the stop cut short keeps what it sent; one not yet begun is left
                // out.
                if (!record.Replies.empty()) {
                    TPingRecord cut = record;
                    cut.Failure = nullptr;
                    emit Recorded(index, addresses.at(index), cut);
                }
                return;
            }
            emit Recorded(index, addresses.at(index), record);
            throw TListFailed();
        });
    } catch (const TListFailed &) {
        // The failed address's record carries the error to the owner.
    } catch (...) {
        emit Failed(FailureText(std::current_exception()));
    }
}
