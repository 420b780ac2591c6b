#include "ping/RunSession.h"

#include <QTimer>
#include <chrono>
#include <exception>
#include <utility>

#include "common/Errors.h"
#include "common/ThreadHandOver.h"
#include "ping/AddressRuns.h"

namespace {

// The least time between two deliveries of a list watch's outcomes.
constexpr qint64 kListDeliveryMs = 50;

// Milliseconds of the monotonic clock (QElapsedTimer's reference): no wall-clock step can
// hold deliveries back or misdate a request.
qint64 MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

TRunSession::TRunSession(QObject *parent) : QObject(parent) {}

TRunSession::~TRunSession() {
    if (runs_) {
        runs_->Stop();
    }
    if (trace_) {
        trace_->Stop();
    }
}

bool TRunSession::StartSingle(const TPingRunInput &input, TPace pace) {
    TListRunInput run = AddressRunInput(input);
    run.Interval = pace.Interval;
    run.Cadence = pace.Cadence;
    run.Rate = pace.Rate;
    return Begin(TKind::Single, run);
}

bool TRunSession::StartWatch(const TPingRunInput &input, int interval) {
    TListRunInput run = AddressRunInput(input);
    run.UntilStopped = true;
    run.Interval = interval;
    return Begin(TKind::Watch, run);
}

bool TRunSession::StartList(const TPingRunInput &input, const QStringList &addresses, int inFlight,
                            TPace pace, bool stopAtFailure) {
    TListRunInput run = AddressRunInput(input);
    run.Addresses = addresses;
    run.InFlight = inFlight;
    run.Interval = pace.Interval;
    run.Cadence = pace.Cadence;
    run.Rate = pace.Rate;
    return StartList(std::move(run), stopAtFailure);
}

bool TRunSession::StartList(TListRunInput run, bool stopAtFailure) {
    run.UntilStopped = false;
    return Begin(TKind::List, std::move(run), stopAtFailure);
}

bool TRunSession::StartListWatch(const TPingRunInput &input, const QStringList &addresses,
                                 int interval, int rate) {
    TListRunInput run = AddressRunInput(input);
    run.Addresses = addresses;
    run.UntilStopped = true;
    run.Interval = interval;
    run.Rate = rate;
    // Every address stays under way until the stop, so every one is started at once.
    run.InFlight = qMax(1, static_cast<int>(addresses.size()));
    run.Ahead = run.InFlight;
    if (state_ != TState::Idle) {
        return false;
    }
    listCount_ = static_cast<int>(addresses.size());
    listMade_ = std::make_unique<std::atomic<int>[]>(static_cast<std::size_t>(listCount_));
    listSentAt_.assign(static_cast<std::size_t>(listCount_), 0);
    return Begin(TKind::ListWatch, run);
}

bool TRunSession::StartTrace(TTraceInput input) {
    if (state_ != TState::Idle) {
        return false;
    }
    input.Connect = connect_;
    TTraceCallbacks callbacks;
    callbacks.Resolved = [this](const QString &resolved) {
        PostCall(this, [this, resolved] { emit TraceResolved(resolved); });
    };
    callbacks.RoundStarted = [this](int round, int ttls) {
        PostCall(this, [this, round, ttls] { emit TraceRound(round, ttls); });
    };
    callbacks.ProbeSent = [this](int round, int ttl) {
        PostCall(this, [this, round, ttl] { emit TraceSent(round, ttl); });
    };
    callbacks.Probed = [this](int round, int ttl, const TPingReply &reply) {
        PostCall(this, [this, round, ttl, reply] { emit TraceProbed(round, ttl, reply); });
    };
    callbacks.Named = [this](const QString &address, const QString &name) {
        PostCall(this, [this, address, name] { emit TraceNamed(address, name); });
    };
    callbacks.Finished = [this](std::exception_ptr failure) {
        if (failure) {
            PostCall(this, [this, text = FailureText(failure)] { emit Failed(text); });
        } else {
            PostCall(this, [this, stopped = stopped_.load()] { emit Ended(stopped); });
        }
        PostCall(this, [this] { Finish(); });
    };
    stopped_ = false;
    state_ = TState::Running;
    kind_ = TKind::Trace;
    try {
        trace_ = std::make_unique<TTraceRun>(input, std::move(callbacks));
    } catch (...) {
        state_ = TState::Idle;
        kind_ = TKind::None;
        throw;
    }
    return true;
}

void TRunSession::Stop() {
    if (state_ != TState::Running) {
        return;
    }
    state_ = TState::Stopping;
    stopped_ = true;
    if (runs_) {
        runs_->Stop();
    }
    if (trace_) {
        trace_->Stop();
    }
}

void TRunSession::StopNow() {
    if (state_ == TState::Idle) {
        return;
    }
    state_ = TState::Stopping;
    stopped_ = true;
    if (runs_) {
        runs_->StopNow();
    }
    if (trace_) {
        trace_->Stop();
    }
}

bool TRunSession::Begin(TKind kind, TListRunInput run, bool stopAtFailure) {
    if (state_ != TState::Idle) {
        return false;
    }
    run.Connect = connect_;
    stopped_ = false;
    state_ = TState::Running;
    kind_ = kind;
    try {
        runs_ = std::make_unique<TAddressRuns>(run, Callbacks(kind, run.Addresses, stopAtFailure));
    } catch (...) {
        state_ = TState::Idle;
        kind_ = TKind::None;
        throw;
    }
    return true;
}

// Every callback comes on the engine thread; what it tells is posted to the session's thread and
// emitted there, in the order it came.
TAddressRunCallbacks TRunSession::Callbacks(TKind kind, const QStringList &addresses,
                                            bool stopAtFailure) {
    TAddressRunCallbacks callbacks;
    if (kind == TKind::ListWatch) {
        // A request made is only counted: the window reads the counts when it draws, and hears
        // of the request with its outcome.
        callbacks.Sending = [this](int index, int) {
            listMade_[static_cast<std::size_t>(index)].fetch_add(1, std::memory_order_relaxed);
            listSentAt_[static_cast<std::size_t>(index)] = MonotonicMs();
        };
        callbacks.Replied = [this](int index, int, const std::optional<TPingReply> &reply) {
            QueueListOutcome({index, listSentAt_[static_cast<std::size_t>(index)], reply});
        };
        // Every other address goes on until the stop, so an error is told when it comes, not
        // once the addresses before it are done.
        callbacks.Completed = [this](int index, const TPingRecord &record) {
            if (record.Failure) {
                PostCall(this, [this, index, text = FailureText(record.Failure)] {
                    emit ListFailed(index, text);
                });
            }
        };
    } else if (kind != TKind::List) {
        callbacks.Sending = [this](int, int request) {
            PostCall(this, [this, request] { emit Sending(request); });
        };
        callbacks.Replied = [this](int, int request, const std::optional<TPingReply> &reply) {
            PostCall(this, [this, request, reply] { emit Replied(request, reply); });
        };
        callbacks.Done = [this](int, TPingRecord &record) {
            if (record.Failure) {
                PostCall(this, [this, text = FailureText(record.Failure)] { emit Failed(text); });
            } else {
                PostCall(this, [this, stopped = stopped_.load()] { emit Ended(stopped); });
            }
        };
    } else {
        // A failed address ends the list after its record; the engine thread alone reads and
        // writes the flag.
        auto failed = std::make_shared<bool>(false);
        callbacks.Done = [this, addresses, failed, stopAtFailure](int index, TPingRecord &record) {
            // An address the stop caught before its first request was never begun.
            if (*failed || (stopped_ && record.Replies.empty() && !record.Failure)) {
                return;
            }
            PostCall(this, [this, index, address = addresses.at(index), record] {
                emit Recorded(index, address, record);
            });
            if (record.Failure && stopAtFailure) {
                *failed = true;
                // The run belongs to the owner's thread; the stop is asked for there.
                PostCall(this, [this] { runs_->Stop(); });
            }
        };
    }
    callbacks.Notice = [this](const QString &notice) {
        PostCall(this, [this, notice] { emit Notice(notice); });
    };
    // Queued behind every signal of the run, so that the owner hears Finished last.
    callbacks.Finished = [this, kind] {
        if (kind == TKind::ListWatch) {
            // The last outcomes, however long their delivery was to wait, come before the end.
            PostCall(this, [this] {
                DeliverListOutcomes(true);
                emit Ended(stopped_);
                Finish();
            });
            return;
        }
        PostCall(this, [this] { Finish(); });
    };
    return callbacks;
}

void TRunSession::QueueListOutcome(TListOutcome outcome) {
    bool first = false;
    {
        const std::lock_guard<std::mutex> lock(listMutex_);
        first = !listDeliveryDue_;
        listDeliveryDue_ = true;
        listPending_.push_back(std::move(outcome));
    }
    // One delivery is under way for all outcomes kept until it runs.
    if (first) {
        PostCall(this, [this] { DeliverListOutcomes(false); });
    }
}

void TRunSession::DeliverListOutcomes(bool now) {
    const qint64 at = deliveryClock_ ? deliveryClock_() : MonotonicMs();
    // Too soon after the last one: the outcomes wait a little longer, and gather meanwhile.
    if (!now && at - lastListDelivery_ < kListDeliveryMs) {
        QTimer::singleShot(kListDeliveryMs - (at - lastListDelivery_), this,
                           [this] { DeliverListOutcomes(false); });
        return;
    }
    lastListDelivery_ = at;
    std::vector<TListOutcome> outcomes;
    {
        const std::lock_guard<std::mutex> lock(listMutex_);
        outcomes.swap(listPending_);
        listDeliveryDue_ = false;
    }
    for (const TListOutcome &outcome : outcomes) {
        emit ListReplied(outcome.Index, outcome.SentAt, outcome.Reply);
    }
}

int TRunSession::ListRequestsMade(int index) const {
    return index >= 0 && index < listCount_
               ? listMade_[static_cast<std::size_t>(index)].load(std::memory_order_relaxed)
               : 0;
}

void TRunSession::Finish() {
    // Finished has returned on the engine thread by the time this runs, so the run ends at once.
    runs_.reset();
    trace_.reset();
    state_ = TState::Idle;
    kind_ = TKind::None;
    emit Finished();
}
